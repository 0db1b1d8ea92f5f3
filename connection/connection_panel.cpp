#include "connection/connection_panel.h"

#include "link/frm_motor_com.h"
#include "link/port_directory.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

namespace kt::connection {

ConnectionPanel::ConnectionPanel(link::FrmMotorCom& link, link::PortDirectory& ports,
                                 QWidget* parent)
    : QWidget(parent), m_link(link), m_ports(ports), m_chooser(new QComboBox(this)),
      m_rescan(new QPushButton(tr("Resc&an"), this)), m_found(new QLabel(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(tr("&Port:"), this);
    label->setBuddy(m_chooser);
    m_chooser->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_chooser->setAccessibleName(tr("Port"));
    m_chooser->setToolTip(tr("The port searched first for the drive"));
    m_rescan->setToolTip(tr("List the system's serial ports again"));
    layout->addWidget(label);
    layout->addWidget(m_chooser);
    layout->addWidget(m_rescan);
    layout->addWidget(m_found);
    connect(m_rescan, &QPushButton::clicked, this, &ConnectionPanel::Rescan);
    connect(m_chooser, &QComboBox::activated, this, &ConnectionPanel::Choose);
    connect(&m_link, &link::FrmMotorCom::portFound, this, &ConnectionPanel::ShowFound);
    Fill();
}

void ConnectionPanel::Fill() {
    const QSignalBlocker blocker(m_chooser);
    m_chooser->clear();
    m_chooser->addItem(tr("Any port (1 to %1 in turn)").arg(link::FrmMotorCom::kMaxPort), 0);
    for (int n = 1; n <= m_ports.Count(); ++n) {
        const QString description = m_ports.Description(n);
        QString text = QStringLiteral("%1: %2").arg(n).arg(m_ports.DeviceName(n));
        if (!description.isEmpty())
            text += QStringLiteral(" (%1)").arg(description);
        m_chooser->addItem(text, n);
    }
    const int index = m_chooser->findData(m_link.PreferredPort());
    m_chooser->setCurrentIndex(index < 0 ? 0 : index);
    ShowFound();
}

void ConnectionPanel::Rescan() {
    const QString open = m_ports.DeviceName(m_link.PortNumber());
    const QString preferred = m_ports.DeviceName(m_link.PreferredPort());
    if (m_ports.Rescan()) {
        // Numbers may now name other devices: follow the devices by name.
        m_link.SetPreferredPort(m_ports.PortNumberOf(preferred));
        if (m_link.PortNumber() != 0 && m_ports.PortNumberOf(open) != m_link.PortNumber())
            m_link.ForgetPort();
    }
    Fill();
}

void ConnectionPanel::Choose(int index) {
    const int port = m_chooser->itemData(index).toInt();
    m_link.SetPreferredPort(port);
    // A drive already found elsewhere is left for the chosen port; while a
    // command holds the link the choice counts from the next search.
    if (port != 0 && m_link.PortNumber() != 0 && m_link.PortNumber() != port)
        m_link.ForgetPort();
    ShowFound();
    emit portChosen(port);
}

QString ConnectionPanel::FoundText() const {
    return m_found->text();
}

void ConnectionPanel::ShowFound() {
    const int port = m_link.PortNumber();
    m_found->setText(port == 0
                         ? tr("not connected")
                         : tr("drive on %1 (port %2)").arg(m_ports.DeviceName(port)).arg(port));
}

} // namespace kt::connection
