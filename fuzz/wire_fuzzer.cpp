// Bytes from the wire as the reply to one exchange: the link always ends it
// with a defined code, hands out data only for a good reply, and is usable
// for the next exchange.
#include "fuzz_check.h"
#include "link/frm_motor_com.h"
#include "link/packet.h"
#include "platform/scripted_prompts.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdint>

namespace {

using kt::link::Transport;

// Answers every request with the scripted bytes, or, once good, as a drive.
class ScriptedLine : public Transport {
public:
    ScriptedLine(const QByteArray& reply, const bool& scripted)
        : m_reply(reply), m_scripted(scripted) {}
    bool Open() override { return m_open = true; }
    void Close() override { m_open = false; }
    bool IsOpen() const override { return m_open; }
    void SetParity(Parity parity) override { m_parity = parity; }
    void Write(const QByteArray& bytes) override {
        if (m_parity == Parity::Mark) {
            m_request = bytes;
        } else {
            m_request += bytes;
            const QByteArray reply = m_scripted ? m_reply : GoodReply();
            QTimer::singleShot(0, this, [this, reply] {
                m_input += reply;
                emit Received();
            });
        }
        QTimer::singleShot(0, this, &Transport::Sent);
    }
    qint64 BytesAvailable() const override { return m_input.size(); }
    QByteArray ReadAll() override { return std::exchange(m_input, {}); }

private:
    QByteArray GoodReply() const {
        if (static_cast<std::uint8_t>(m_request[0]) == kt::link::Packet::kWriteStart)
            return QByteArray(1, '\x06');
        QByteArray data(static_cast<std::uint8_t>(m_request[4]), '\0');
        data[0] = 7; // the identification, should the search ask
        return kt::link::Packet::ReadReply(data);
    }

    const QByteArray& m_reply;
    const bool& m_scripted;
    Parity m_parity = Parity::Space;
    QByteArray m_request;
    QByteArray m_input;
    bool m_open = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    EnsureApplication();
    const bool write = data[0] & 1;
    const auto count = static_cast<std::uint8_t>((data[0] >> 1) % 8);
    const QByteArray reply(reinterpret_cast<const char*>(data + 1),
                           static_cast<qsizetype>(size - 1));

    kt::platform::ScriptedPrompts prompts;
    prompts.Push(kt::platform::Answer::Cancel); // to the retry question
    bool scripted = false;
    kt::link::FrmMotorCom link(prompts, [&](int port) -> std::unique_ptr<Transport> {
        if (port != 1)
            return nullptr;
        return std::make_unique<ScriptedLine>(reply, scripted);
    });
    link.SetReplyTimeout([](int) { return 0; });
    KT_FUZZ_CHECK(link.OpenPort() == 1);

    // The fuzzed exchange: the port answers with the fuzzed bytes.
    scripted = true;
    QByteArray comData = write ? QByteArray(count, '\x55') : QByteArray("keep");
    const std::uint8_t result = link.SendPacket(0, 300, count, comData, write);
    KT_FUZZ_CHECK(result <= 3);
    if (!write && result == 0) {
        KT_FUZZ_CHECK(comData.size() == count);
        KT_FUZZ_CHECK(kt::link::Packet::ReadReply(comData) == reply);
    }
    if (!write && result != 0)
        KT_FUZZ_CHECK(comData == "keep");
    KT_FUZZ_CHECK(!link.Busy());

    // And the next exchange, on a well-behaved port, works.
    scripted = false;
    QByteArray next;
    const std::uint8_t again = link.SendPacket(0, 62, 1, next);
    KT_FUZZ_CHECK(again == 0 || (again == 1 && link.PortNumber() == 0));
    return 0;
}
