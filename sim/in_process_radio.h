#pragma once
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "serial/port_backend.h"
#include "sim/radio_model.h"
#include "sim/sim_link.h"

// A simulated radio wired straight to the tool's serial code, without a
// pseudo-terminal: MakeBackend() gives port backends that talk to it.
class InProcessRadio {
public:
    explicit InProcessRadio(RadioModel::Settings settings = {});
    ~InProcessRadio();

    RadioModel& Model() { return m_model; }
    std::unique_ptr<PortBackend> MakeBackend();
    // Bytes the radio sends at any time (stray bytes, for tests).
    void Inject(const std::vector<std::uint8_t>& bytes);
    int Opens() const;

private:
    class Backend;
    void Deliver(const std::uint8_t* data, std::size_t length);
    void DropLine();

    RadioModel m_model;
    mutable std::mutex m_mutex;
    Backend* m_open = nullptr;  // the backend currently open, if any
    int m_opens = 0;
    bool m_hungUp = false;
    std::unique_ptr<SimLink> m_link;
};
