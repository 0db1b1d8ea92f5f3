// The Connection panel over a port list of its own: what it lists, that a
// chosen port is searched first and a drive found elsewhere is let go, and
// that it follows the link's searches.
#include "connection/connection_panel.h"

#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"
#include "link/frm_motor_com.h"
#include "link/port_directory.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QComboBox>

using kt::connection::ConnectionPanel;

namespace {

class ConnectionPanelTest : public ::testing::Test {
protected:
    ConnectionPanelTest() {
        // Port 1 opens nothing; drives answer on ports 2 and 3.
        for (const QString& name : {QStringLiteral("drive-a"), QStringLiteral("drive-b")})
            m_ports.AddPort(name, [this] {
                return std::make_unique<kt::drive::VirtualDriveTransport>(m_drive);
            });
        // The panel listed the ports when it was made: Rescan lists them anew.
        m_panel.Rescan();
    }
    void Pick(int port) {
        const int index = m_panel.Chooser()->findData(port);
        ASSERT_GE(index, 0) << port;
        m_panel.Chooser()->setCurrentIndex(index);
        emit m_panel.Chooser()->activated(index);
    }

    kt::drive::VirtualDrive m_drive;
    kt::link::PortDirectory m_ports{QStringList{QStringLiteral("/nonexistent/kt-no-port")}};
    kt::platform::ScriptedPrompts m_prompts;
    kt::link::FrmMotorCom m_link{m_prompts, [this](int n) { return m_ports.Create(n); }};
    ConnectionPanel m_panel{m_link, m_ports};
};

TEST_F(ConnectionPanelTest, AChosenPortIsSearchedFirstAndTheFoundOneFollows) {
    QStringList items; // every port, after the usual order
    for (int i = 0; i < m_panel.Chooser()->count(); ++i)
        items << m_panel.Chooser()->itemText(i);
    EXPECT_EQ(items.join(u'|').toStdString(),
              "Any port (1 to 31 in turn)|1: /nonexistent/kt-no-port|2: drive-a|3: drive-b");
    // Each step: the port picked (none: a search only), then where the
    // drive is and what the panel says.
    struct Step {
        int picked;
        bool search;
        int found;
        QString text;
    };
    const std::vector<Step> steps = {
        {-1, false, 0, "not connected"},
        {-1, true, 2, "drive on drive-a (port 2)"},
        {3, false, 0, "not connected"}, // let go: the next search tries 3 first
        {-1, true, 3, "drive on drive-b (port 3)"},
        {3, false, 3, "drive on drive-b (port 3)"}, // already there: kept
        {0, false, 3, "drive on drive-b (port 3)"}, // the usual order keeps it too
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& step = steps[i];
        SCOPED_TRACE(i);
        if (step.picked >= 0)
            Pick(step.picked);
        if (step.search) {
            EXPECT_EQ(m_link.OpenPort(), step.found);
        }
        EXPECT_EQ(m_link.PortNumber(), step.found);
        EXPECT_EQ(m_panel.FoundText().toStdString(), step.text.toStdString());
        if (step.picked >= 0) {
            EXPECT_EQ(m_link.PreferredPort(), step.picked);
        }
    }
}

} // namespace
