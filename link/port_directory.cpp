#include "link/port_directory.h"

#include "link/frm_motor_com.h"
#include "link/serial_transport.h"

#include <QSerialPortInfo>

#include <algorithm>

namespace kt::link {

PortDirectory::PortDirectory(const QStringList& explicitDevices)
    : m_explicit(!explicitDevices.isEmpty()) {
    for (const QString& device : explicitDevices.isEmpty() ? PlatformDevices() : explicitDevices)
        m_entries.push_back({device, {}});
}

QStringList PortDirectory::PlatformDevices() {
    QStringList devices;
#ifdef Q_OS_WIN
    for (int n = 1; n <= FrmMotorCom::kMaxPort; ++n)
        devices << QStringLiteral("COM%1").arg(n);
#else
    std::vector<std::pair<QString, QString>> ports;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts())
        ports.emplace_back(port.portName(), port.systemLocation());
    devices = InPortOrder(std::move(ports));
#endif
    return devices;
}

QStringList PortDirectory::InPortOrder(std::vector<std::pair<QString, QString>> ports) {
    std::sort(ports.begin(), ports.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList devices;
    for (const auto& port : ports)
        devices << port.second;
    return devices;
}

void PortDirectory::AddPort(const QString& name, Maker make, bool first) {
    if (first)
        m_entries.insert(m_entries.begin(), {name, std::move(make)});
    else
        m_entries.push_back({name, std::move(make)});
}

int PortDirectory::Count() const {
    return std::min(static_cast<int>(m_entries.size()), FrmMotorCom::kMaxPort);
}

QString PortDirectory::DeviceName(int portNumber) const {
    if (portNumber < 1 || portNumber > Count())
        return {};
    return m_entries[static_cast<std::size_t>(portNumber - 1)].name;
}

int PortDirectory::PortNumberOf(const QString& deviceName) const {
    for (int n = 1; n <= Count(); ++n)
        if (DeviceName(n) == deviceName)
            return n;
    return 0;
}

QString PortDirectory::Description(int portNumber) const {
    const QString name = DeviceName(portNumber);
    if (name.isEmpty() || m_entries[static_cast<std::size_t>(portNumber - 1)].make)
        return {};
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        if (port.systemLocation() != name && port.portName() != name)
            continue;
        QString text = port.description();
        if (port.hasVendorIdentifier() && port.hasProductIdentifier())
            text += QStringLiteral(" [%1:%2]")
                        .arg(port.vendorIdentifier(), 4, 16, QChar(u'0'))
                        .arg(port.productIdentifier(), 4, 16, QChar(u'0'));
        return text.trimmed();
    }
    return {};
}

bool PortDirectory::Rescan() {
    if (m_explicit)
        return false;
    std::vector<Entry> entries;
    for (const QString& device : PlatformDevices())
        entries.push_back({device, {}});
    // Ports of our own stay where they were: first, or after the others.
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (!m_entries[i].make)
            continue;
        if (i == 0)
            entries.insert(entries.begin(), m_entries[i]);
        else
            entries.push_back(m_entries[i]);
    }
    bool changed = entries.size() != m_entries.size();
    for (std::size_t i = 0; !changed && i < entries.size(); ++i)
        changed = entries[i].name != m_entries[i].name;
    m_entries = std::move(entries);
    return changed;
}

std::unique_ptr<Transport> PortDirectory::Create(int portNumber) const {
    if (portNumber < 1 || portNumber > Count())
        return nullptr;
    const Entry& entry = m_entries[static_cast<std::size_t>(portNumber - 1)];
    if (entry.make)
        return entry.make();
    return std::make_unique<SerialTransport>(entry.name);
}

} // namespace kt::link
