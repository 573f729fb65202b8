#pragma once
#include <string>

// How long the USB serial adapter behind a port holds a partial packet
// before passing it on (its latency timer). An adapter that waits 16 ms
// delays every short reply of the radio by up to that much.
struct AdapterLatency {
    enum class Kind {
        NotUsb,    // a native port or a pseudo-terminal: no adapter in the way
        Unknown,   // a USB adapter, or a device the system tells nothing of, without a published timer
        Known,     // `ms` holds the adapter's timer
    };
    Kind kind = Kind::Unknown;
    int ms = 0;
};

// Above this an adapter's timer costs an update noticeable time.
constexpr int kHighAdapterLatencyMs = 2;

// What the system publishes for the device of `port` (a device path on
// POSIX, a COM name on Windows). Reads only; never changes a setting.
AdapterLatency ReadAdapterLatency(const std::string& port);

// "latency timer 16 ms", "latency timer unknown", "not a USB adapter".
std::string DescribeLatency(const AdapterLatency& latency);

// For a timer above kHighAdapterLatencyMs: what it costs and how the
// technician lowers it on this platform; empty otherwise.
std::string LatencyAdviceText(const std::string& port, const AdapterLatency& latency);
