// What the link tells an observer about each exchange: the request as it
// went out, every resend, the reply as it came in, time-outs, line errors
// and the outcome, each with the time since the link was made. For logs and
// the communication view; an observer only watches and never changes an
// exchange. The link builds no event while nobody observes.
#pragma once

#include <QByteArray>

#include <cstdint>

namespace kt::link {

struct LinkEvent {
    enum class Kind {
        Request,   // bytes: start byte and body, first sending
        Resend,    // bytes: as Request; attempt numbers the sending (1 the first resend)
        Reply,     // bytes: the reply as received, checksum included
        Timeout,   // bytes: whatever had arrived when the time ran out
        LineError, // code: the port's error code
        Ended,     // code: the exchange's result (0 sent, 1 failed)
    };
    Kind kind = Kind::Request;
    qint64 msecs = 0;
    int portNumber = 0; // 0 while the port search probes a candidate
    std::uint8_t function = 0;
    std::uint16_t address = 0;
    std::uint8_t dataCount = 0;
    bool write = false;
    bool background = false; // a background request's exchange
    int attempt = 0;         // 0 the first sending, then 1, 2, ...
    int code = 0;
    QByteArray bytes;
};

class LinkObserver {
public:
    virtual ~LinkObserver() = default;
    virtual void Observe(const LinkEvent& event) = 0;
};

} // namespace kt::link
