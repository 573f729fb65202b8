#pragma once
#include <memory>
#include <string>

#include "serial/adapter_latency.h"

// The driver calls behind a POSIX port's low latency, apart from the
// backend so that a test can watch what is set and what is put back.
class LineTuning {
public:
    virtual ~LineTuning() = default;
    // The driver's low-latency flag of the open port `fd`; false when the
    // driver refuses the question (a pseudo-terminal does).
    virtual bool GetLowLatency(int fd, bool& on) = 0;
    virtual bool SetLowLatency(int fd, bool on) = 0;
    // What the system publishes of the adapter behind `port`.
    virtual AdapterLatency ReadLatency(const std::string& port) = 0;
};

// TIOCGSERIAL/TIOCSSERIAL and sysfs.
std::unique_ptr<LineTuning> MakeSystemLineTuning();
