// Bytes into the virtual drive, with and without the parity bit: it never
// answers unless a request with a correct checksum is among them.
#include "drive/virtual_drive.h"
#include "fuzz_check.h"

#include <QCoreApplication>

#include <cstdint>

namespace {

// Whether any stretch of the bytes is a whole request with a good checksum.
bool HoldsValidRequest(const QByteArray& bytes) {
    const auto at = [&](qsizetype i) { return static_cast<std::uint8_t>(bytes[i]); };
    for (qsizetype i = 0; i + 7 <= bytes.size(); ++i) {
        if (at(i) != 0x00 && at(i) != 0x80)
            continue;
        const qsizetype length = 7 + (at(i) == 0x80 ? at(i + 4) : 0);
        if (i + length > bytes.size())
            continue;
        std::uint32_t sum = 0;
        for (qsizetype k = 0; k < length - 2; ++k)
            sum += at(i + k);
        const std::uint32_t checksum = at(i + length - 2) | (at(i + length - 1) << 8);
        if (((sum + checksum) & 0xFFFF) == 0)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    EnsureApplication();
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1),
                           static_cast<qsizetype>(size - 1));
    kt::drive::VirtualDrive drive;
    drive.SetStaleGap(0);
    QByteArray replies;
    QObject::connect(&drive, &kt::drive::VirtualDrive::Reply, &drive,
                     [&replies](const QByteArray& reply) { replies += reply; });
    if (data[0] & 1) {
        // With the parity bit: the first byte marked, the rest not.
        drive.Receive(bytes.left(1), true);
        drive.Receive(bytes.mid(1), false);
    } else {
        // A pseudo-terminal: cut into two deliveries at a fuzzed place.
        const qsizetype cut = bytes.isEmpty() ? 0 : data[0] % (bytes.size() + 1);
        drive.ReceiveUnframed(bytes.left(cut));
        drive.ReceiveUnframed(bytes.mid(cut));
        QCoreApplication::processEvents(); // the stale gap passes
    }
    if (!replies.isEmpty())
        KT_FUZZ_CHECK(HoldsValidRequest(bytes));
    return 0;
}
