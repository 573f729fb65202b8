#include "serial/adapter_latency.h"

std::string DescribeLatency(const AdapterLatency& latency)
{
    switch (latency.kind) {
    case AdapterLatency::Kind::NotUsb:
        return "not a USB adapter";
    case AdapterLatency::Kind::Known:
        return "latency timer " + std::to_string(latency.ms) + " ms";
    case AdapterLatency::Kind::Unknown:
        break;
    }
    return "latency timer unknown";
}
