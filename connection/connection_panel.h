// The Connection panel: the system's serial ports with what it says of
// them, the port the drive was found on, Rescan, and a port to search first.
// It changes only the order of the link's search, never the search itself;
// remembering the last port that answered is the application's.
#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;

namespace kt::link {
class FrmMotorCom;
class PortDirectory;
} // namespace kt::link

namespace kt::connection {

class ConnectionPanel : public QWidget {
    Q_OBJECT

public:
    explicit ConnectionPanel(link::FrmMotorCom& link, link::PortDirectory& ports,
                             QWidget* parent = nullptr);

    // Lists the ports again as the system has them now.
    void Rescan();
    // The text of where the drive is, "not connected" when nowhere.
    QString FoundText() const;
    QComboBox* Chooser() const { return m_chooser; }
    QPushButton* RescanButton() const { return m_rescan; }
    // Shows where the drive is now; the link says when it finds one, not
    // when it loses one.
    void ShowFound();

signals:
    // The user chose a port to search first (0: the usual order).
    void portChosen(int portNumber);

private:
    void Fill();
    void Choose(int index);

    link::FrmMotorCom& m_link;
    link::PortDirectory& m_ports;
    QComboBox* m_chooser;
    QPushButton* m_rescan;
    QLabel* m_found;
};

} // namespace kt::connection
