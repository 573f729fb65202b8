#pragma once
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "sim/radio_model.h"

// Carries bytes between the tool and a RadioModel: the tool's bytes go in
// at once, the radio's answers come out at their due times, paced byte by
// byte when the model keeps wire timing.
class SimLink {
public:
    using Deliver = std::function<void(const std::uint8_t* data, std::size_t length)>;
    using HangUp = std::function<void()>;

    SimLink(RadioModel& model, Deliver deliver, HangUp hangUp);
    ~SimLink();
    SimLink(const SimLink&) = delete;
    SimLink& operator=(const SimLink&) = delete;

    // Bytes from the tool, arriving now; `quietSince` as RadioModel::Feed.
    void FromTool(const std::uint8_t* data, std::size_t length,
                  RadioModel::Clock::time_point quietSince = RadioModel::Clock::time_point{});

private:
    struct Chunk {
        std::vector<std::uint8_t> bytes;
        bool hangUp = false;
    };
    void Run();

    static constexpr std::size_t kUsbPacket = 62;  // data bytes of one USB packet

    RadioModel& m_model;
    const Deliver m_deliver;
    const HangUp m_hangUp;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::multimap<RadioModel::Clock::time_point, Chunk> m_due;
    RadioModel::Clock::time_point m_lastDue{};
    bool m_stop = false;
    std::thread m_thread;
};
