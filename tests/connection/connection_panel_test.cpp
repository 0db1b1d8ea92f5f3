// The Connection panel over a port list of its own: what it lists, that a chosen port is
// searched first and a drive found elsewhere is let go, and that it follows the link's searches.
#include "connection/connection_panel.h"

#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"
#include "link/frm_motor_com.h"
#include "link/port_directory.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QComboBox>

#include <tuple>

TEST(ConnectionPanelTest, AChosenPortIsSearchedFirstAndTheFoundOneFollows) {
    kt::drive::VirtualDrive drive;
    kt::link::PortDirectory ports{QStringList{QStringLiteral("/nonexistent/kt-no-port")}};
    kt::platform::ScriptedPrompts prompts;
    kt::link::FrmMotorCom link{prompts, [&ports](int n) { return ports.Create(n); }};
    kt::connection::ConnectionPanel panel{link, ports};
    // Port 1 opens nothing; drives answer on ports 2 and 3, added after the panel listed the
    // ports: Rescan lists them anew.
    for (const QString& name : {QStringLiteral("drive-a"), QStringLiteral("drive-b")})
        ports.AddPort(
            name, [&drive] { return std::make_unique<kt::drive::VirtualDriveTransport>(drive); });
    panel.Rescan();
    QStringList items; // every port, after the usual order
    for (int i = 0; i < panel.Chooser()->count(); ++i)
        items << panel.Chooser()->itemText(i);
    EXPECT_EQ(items.join(u'|').toStdString(),
              "Any port (1 to 31 in turn)|1: /nonexistent/kt-no-port|2: drive-a|3: drive-b");
    // The port picked (-1: none), whether a search runs, where the drive is and what the panel
    // says. Picking 3 lets go of the drive on 2, so the next search tries 3 first; picking the
    // port in use, or the usual order (0), keeps it.
    const std::vector<std::tuple<int, bool, int, std::string>> steps = {
        {-1, false, 0, "not connected"},
        {-1, true, 2, "drive on drive-a (port 2)"},
        {3, false, 0, "not connected"},
        {-1, true, 3, "drive on drive-b (port 3)"},
        {3, false, 3, "drive on drive-b (port 3)"},
        {0, false, 3, "drive on drive-b (port 3)"}};
    int preferred = link.PreferredPort();
    for (const auto& [picked, search, found, text] : steps) {
        SCOPED_TRACE(std::to_string(picked) + " " + text);
        if (picked >= 0) {
            const int index = panel.Chooser()->findData(preferred = picked);
            panel.Chooser()->setCurrentIndex(index);
            emit panel.Chooser()->activated(index);
        }
        EXPECT_EQ(search ? link.OpenPort() : link.PortNumber(), found);
        EXPECT_EQ(link.PortNumber(), found);
        EXPECT_EQ(panel.FoundText().toStdString(), text);
        EXPECT_EQ(link.PreferredPort(), preferred);
    }
}
