// libFuzzer: the receive dispatch, fed random bytes in random chunks in
// every receive mode.
#include <cstdint>
#include <cstdlib>

#include "dialog/updater_dialog.h"
#include "tests/unit/test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    static ScriptedView view;
    static TestHost host;
    static UpdaterDialog dialog(view, host, FastTiming());
    const std::int32_t mode = data[0] % 6;  // idle, the four modes, and an unknown one
    const std::int32_t expected = (data[1] << 8 | data[2]) % 1200;
    UpdaterDialogTestAccess::Prepare(dialog, static_cast<RadioLink::ReceiveMode>(mode), expected);
    std::size_t at = 3;
    std::int64_t fed = 0;
    bool sawAccept = false, sawRefuse = false, sawContact = false;
    while (at < size) {
        // A chunk: its length from the input, at most what the reader hands over.
        const std::size_t n = std::min<std::size_t>(size - at, 1 + data[at] % 529);
        ++at;
        const std::size_t take = std::min(n, size - at);
        for (std::size_t i = at; i < at + take; ++i) {
            const std::uint8_t b = data[i];
            sawContact |= b == 0x11;
            sawAccept |= (mode == 2 && b == 0x01) || (mode == 3 && b == 0x31);
            sawRefuse |= (mode == 2 && b == 0x02) || (mode == 3 && b == 0x32);
        }
        UpdaterDialogTestAccess::Dispatch(dialog, data + at, static_cast<unsigned>(take));
        fed += static_cast<std::int64_t>(take);
        at += take;
    }
    const bool done = UpdaterDialogTestAccess::ReplyDone(dialog);
    const bool error = UpdaterDialogTestAccess::ReplyError(dialog);
    switch (mode) {
    case 1:
        if (done != sawContact || error)
            std::abort();
        break;
    case 2:
    case 3:
        if (done != (sawAccept || sawRefuse) || error != sawRefuse)
            std::abort();
        break;
    case 4:
        if (UpdaterDialogTestAccess::RxCount(dialog) != fed || done != (fed > 0 && fed >= expected))
            std::abort();
        break;
    default:
        if (done || error)
            std::abort();
    }
    return 0;
}
