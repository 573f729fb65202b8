#include <sys/ioctl.h>
#ifdef __linux__
#include <linux/serial.h>
#endif

#include "serial/line_tuning.h"

namespace {

class SystemLineTuning : public LineTuning {
public:
#ifdef __linux__
    bool GetLowLatency(int fd, bool& on) override
    {
        serial_struct s{};
        if (::ioctl(fd, TIOCGSERIAL, &s) != 0)
            return false;
        on = (s.flags & ASYNC_LOW_LATENCY) != 0;
        return true;
    }

    // Read, change one flag, write back: the driver's other settings stay.
    bool SetLowLatency(int fd, bool on) override
    {
        serial_struct s{};
        if (::ioctl(fd, TIOCGSERIAL, &s) != 0)
            return false;
        if (on)
            s.flags |= ASYNC_LOW_LATENCY;
        else
            s.flags &= ~ASYNC_LOW_LATENCY;
        return ::ioctl(fd, TIOCSSERIAL, &s) == 0;
    }
#else
    // Other systems have no such flag: the adapter keeps its timer.
    bool GetLowLatency(int, bool&) override { return false; }
    bool SetLowLatency(int, bool) override { return false; }
#endif

    AdapterLatency ReadLatency(const std::string& port) override { return ReadAdapterLatency(port); }
};

}  // namespace

std::unique_ptr<LineTuning> MakeSystemLineTuning()
{
    return std::make_unique<SystemLineTuning>();
}
