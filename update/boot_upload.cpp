// Upload of the boot program to the radio's resident loader, one frame per
// record, each acknowledged before the next goes out.
#include "image/hex_field.h"
#include "res/resource.h"
#include "update/exchange.h"
#include "update/protocol.h"
#include "update/update_steps.h"

// One record as a frame: 24-bit address and 16-bit length, most significant
// byte first, the data, and the low byte of the plain sum of all before it.
static bool SendBootRecord(UpdateContext& u, const std::string& r, int index)
{
    const int count = ParseHexField(r.substr(0, 2));
    const int n = count - 3;  // the count covers two address bytes and the checksum
    u.m_link.TxBuf()[0] = protocol::kBootFrameStart;
    u.m_link.TxBuf()[1] = static_cast<std::uint8_t>(ParseHexField(r.substr(2, 2)));
    u.m_link.TxBuf()[2] = static_cast<std::uint8_t>(ParseHexField(r.substr(4, 2)));
    u.m_link.TxBuf()[3] = 0x00;  // length bits 8-15: a record carries fewer than 256 bytes
    u.m_link.TxBuf()[4] = static_cast<std::uint8_t>(n);
    for (int k = 0; k < n; ++k)
        u.m_link.TxBuf()[5 + static_cast<std::size_t>(k)] =
            static_cast<std::uint8_t>(ParseHexField(r.substr(6 + 2 * static_cast<std::size_t>(k), 2)));
    std::uint8_t checksum = 0;
    for (int k = 0; k < 5 + n; ++k)
        checksum = static_cast<std::uint8_t>(checksum + u.m_link.TxBuf()[static_cast<std::size_t>(k)]);
    u.m_link.TxBuf()[5 + static_cast<std::size_t>(n)] = checksum;

    Exchange x;
    x.mode = RadioLink::kModeBootRecord;
    x.pieces = {{&u.m_link.TxBuf()[0], 3},
                {&u.m_link.TxBuf()[3], 2},
                {&u.m_link.TxBuf()[5], static_cast<std::uint32_t>(n)},
                {&u.m_link.TxBuf()[5 + static_cast<std::size_t>(n)], 1}};
    x.period = u.m_link.Times().bootRecordTimeout;
    x.armAfterWrite = true;
    x.timeOutMessage = TXT_TIME_OUT;
    x.silence = "no answer to boot record " + std::to_string(index);
    x.refusal = "the loader refused boot record " + std::to_string(index);
    // The record number shows while its answer is awaited.
    u.Transient(TXT_LINE_PREFIX + std::to_string(index));
    return u.Exchange(x) == ExchangeResult::Reply;
}

bool UploadBootProgram(UpdateContext& u)
{
    // The boot program was read and checked before the port opened; without
    // one nothing is sent.
    const std::vector<std::string>& records = u.m_bootImage.Records();
    if (records.empty()) {
        u.SetDetail("no boot program has been read");
        return false;
    }
    const int total = static_cast<int>(records.size());

    u.Progress(0, static_cast<std::uint64_t>(total), "records");
    for (int i = 0; i < total; ++i) {
        if (!SendBootRecord(u, records[static_cast<std::size_t>(i)], i))
            return false;
        u.Progress(static_cast<std::uint64_t>(i) + 1, static_cast<std::uint64_t>(total), "records");
    }
    return true;
}
