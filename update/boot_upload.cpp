// Upload of the boot program to the radio's resident loader, one frame per
// record, each acknowledged before the next goes out.
#include "image/hex_field.h"
#include "res/resource.h"
#include "update/exchange.h"
#include "update/protocol.h"

// One record as a frame: 24-bit address and 16-bit length, most significant
// byte first, the data, and the low byte of the plain sum of all before it.
bool UpdaterDialog::SendBootRecord(const std::string& r, int index)
{
    const int count = ParseHexField(r.substr(0, 2));
    const int n = count - 3;  // the count covers two address bytes and the checksum
    m_txBuf[0] = protocol::kBootFrameStart;
    m_txBuf[1] = static_cast<std::uint8_t>(ParseHexField(r.substr(2, 2)));
    m_txBuf[2] = static_cast<std::uint8_t>(ParseHexField(r.substr(4, 2)));
    m_txBuf[3] = 0x00;  // length bits 8-15: a record carries fewer than 256 bytes
    m_txBuf[4] = static_cast<std::uint8_t>(n);
    for (int k = 0; k < n; ++k)
        m_txBuf[5 + static_cast<std::size_t>(k)] =
            static_cast<std::uint8_t>(ParseHexField(r.substr(6 + 2 * static_cast<std::size_t>(k), 2)));
    std::uint8_t checksum = 0;
    for (int k = 0; k < 5 + n; ++k)
        checksum = static_cast<std::uint8_t>(checksum + m_txBuf[static_cast<std::size_t>(k)]);
    m_txBuf[5 + static_cast<std::size_t>(n)] = checksum;

    Exchange x;
    x.mode = kModeBootRecord;
    x.pieces = {{&m_txBuf[0], 3},
                {&m_txBuf[3], 2},
                {&m_txBuf[5], static_cast<std::uint32_t>(n)},
                {&m_txBuf[5 + static_cast<std::size_t>(n)], 1}};
    x.period = m_timing.bootRecordTimeout;
    x.armAfterWrite = true;
    x.timeOutMessage = TXT_TIME_OUT;
    x.silence = "no answer to boot record " + std::to_string(index);
    x.refusal = "the loader refused boot record " + std::to_string(index);
    // The record number shows while its answer is awaited.
    ShowTransient(TXT_LINE_PREFIX + std::to_string(index));
    return RunExchange(x) == ExchangeResult::Reply;
}

bool UpdaterDialog::UploadBootProgram()
{
    // The boot program was read and checked before the port opened; without
    // one nothing is sent.
    const std::vector<std::string>& records = m_bootImage.Records();
    if (records.empty()) {
        SetDetail("no boot program has been read");
        return false;
    }
    const int total = static_cast<int>(records.size());

    m_view.SetProgressRange(0, total);
    for (int i = 0; i < total; ++i) {
        m_view.SetProgressPos(i);
        if (!SendBootRecord(records[static_cast<std::size_t>(i)], i))
            return false;
        Progress(static_cast<std::uint64_t>(i) + 1, static_cast<std::uint64_t>(total), "records");
    }
    m_view.SetProgressPos(0);
    return true;
}
