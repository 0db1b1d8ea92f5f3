// The link's exchanges as lines of text, one per event: time stamp, port,
// direction, the bytes in hex, and what they mean (function, address and the
// value's name), with resends and failures marked. For the command line's
// --log and anyone else who keeps a text record; not a window.
#pragma once

#include "link/link_observer.h"

#include <functional>
#include <string>

namespace kt::link {

class LinkLog : public LinkObserver {
public:
    using Sink = std::function<void(const std::string& line)>;
    explicit LinkLog(Sink sink) : m_sink(std::move(sink)) {}

    void Observe(const LinkEvent& event) override { m_sink(Line(event)); }

    // "   123 ms port 1 > 80 00 1A 01 02 E3 FE  read Identification (282), 2 bytes"
    static std::string Line(const LinkEvent& event);
    // The value at address by its catalogue name ("BusVolt", "Timer.2");
    // "address N" for one the catalogue does not know.
    static std::string AddressName(std::uint8_t function, int address, int dataCount);
    static std::string Hex(const QByteArray& bytes);

private:
    Sink m_sink;
};

} // namespace kt::link
