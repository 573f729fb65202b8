#pragma once
#include <string>

#include "serial/adapter_latency.h"

// ReadAdapterLatency with sysfs mounted at `sysRoot` ("/sys" on a running
// system).
AdapterLatency ReadAdapterLatencyIn(const std::string& sysRoot, const std::string& port);
// Where the driver of `port`'s adapter publishes its latency timer.
std::string LatencyTimerPath(const std::string& sysRoot, const std::string& port);
