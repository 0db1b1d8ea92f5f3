// Port numbers 1 to 31 and the devices behind them: on Windows port n is
// COMn; elsewhere the n-th serial port of the platform sorted by name. A list
// given explicitly replaces the platform's, and extra ports (a virtual drive)
// follow the others. It opens nothing itself; it makes transports.
#pragma once

#include "link/transport.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace kt::link {

class PortDirectory {
public:
    using Maker = std::function<std::unique_ptr<Transport>()>;

    // explicitDevices, when not empty, stands in for the platform's ports.
    explicit PortDirectory(const QStringList& explicitDevices = {});

    // A port of our own, such as an in-process drive: after the others, or
    // as port 1 when first.
    void AddPort(const QString& name, Maker make, bool first = false);

    int Count() const;                        // at most 31
    QString DeviceName(int portNumber) const; // empty for no such port
    // The port number of a device name, 0 when it has none.
    int PortNumberOf(const QString& deviceName) const;
    // What the system says of the port: its description and USB ids, when
    // it is a serial port it knows ("USB Serial [0403:6001]"); may be empty.
    QString Description(int portNumber) const;
    // Lists the platform's ports again (a list given explicitly stays); the
    // ports of our own keep their places. True when any number changed.
    bool Rescan();
    std::unique_ptr<Transport> Create(int portNumber) const;

    static QStringList PlatformDevices();
    // Ports given as (name, device) in port order: sorted by name.
    static QStringList InPortOrder(std::vector<std::pair<QString, QString>> ports);

private:
    struct Entry {
        QString name;
        Maker make; // empty: a serial port of that name
    };
    std::vector<Entry> m_entries;
    bool m_explicit = false;
};

} // namespace kt::link
