#pragma once
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "sim/radio_model.h"
#include "sim/sim_link.h"

// Serves a RadioModel on a pseudo-terminal. The tool opens SlavePath() as
// its serial port; the host keeps the line up while the tool closes and
// reopens it.
class PtyHost {
public:
    explicit PtyHost(RadioModel& model);
    ~PtyHost();
    PtyHost(const PtyHost&) = delete;
    PtyHost& operator=(const PtyHost&) = delete;

    bool Start(std::string& error);
    const std::string& SlavePath() const { return m_slavePath; }
    // True once the model has dropped the line (a hang-up fault).
    bool HungUp() const { return m_hungUp; }
    void Stop();

private:
    void ReadLoop();
    void Deliver(const std::uint8_t* data, std::size_t length);
    void HangUp();

    RadioModel& m_model;
    int m_master = -1;
    int m_slaveKeep = -1;  // keeps the line up between the tool's opens
    int m_stopFd = -1;
    std::string m_slavePath;
    std::atomic<bool> m_hungUp{false};
    std::unique_ptr<SimLink> m_link;
    std::thread m_reader;
};
