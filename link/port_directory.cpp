#include "link/port_directory.h"

#include "link/frm_motor_com.h"
#include "link/serial_transport.h"

#include <QSerialPortInfo>

#include <algorithm>

namespace kt::link {

PortDirectory::PortDirectory(const QStringList& explicitDevices) {
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

std::unique_ptr<Transport> PortDirectory::Create(int portNumber) const {
    if (portNumber < 1 || portNumber > Count())
        return nullptr;
    const Entry& entry = m_entries[static_cast<std::size_t>(portNumber - 1)];
    if (entry.make)
        return entry.make();
    return std::make_unique<SerialTransport>(entry.name);
}

} // namespace kt::link
