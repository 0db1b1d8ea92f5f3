// The drive served on a pseudo-terminal, reached through the programs' link
// and command set: an old link is replaced and goes with the server, and a
// command written over the line starts the ramp as simulated time moves.
#include "drive/pty_drive_server.h"
#include "drive/virtual_drive.h"
#include "link/cls_kt_motor.h"
#include "link/frm_motor_com.h"
#include "link/port_directory.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace kt::link;

#ifdef Q_OS_UNIX

TEST(PtyDrive, ServesOnItsLinkAndCommandForwardStartsTheRamp) {
    QTemporaryDir dir;
    const QString path = dir.filePath("drive");
    ASSERT_TRUE(QFile::link("/nonexistent", path)) << "an old link is replaced";
    kt::drive::VirtualDrive drive;
    {
        kt::drive::PtyDriveServer server(drive, path);
        QString error;
        ASSERT_TRUE(server.Start(&error)) << error.toStdString();
        EXPECT_EQ(QFileInfo(server.LinkPath()).symLinkTarget(), server.DevicePath());
        kt::platform::ScriptedPrompts prompts;
        PortDirectory ports(QStringList{path});
        FrmMotorCom link(prompts, [&ports](int n) { return ports.Create(n); });
        ClsKtMotor motor(link, prompts);
        ASSERT_EQ(motor.OpenPort(), 1);
        float reference = 50, rate = 0, speed = -1;
        ASSERT_EQ(motor.WriteReferenceSpeed(reference), kSent);
        ASSERT_EQ(motor.ReadAccelerationRate(rate), kSent); // speed gained per second
        ASSERT_EQ(motor.WriteCommandForward(true), kSent);
        drive.RunFor(300);
        ASSERT_EQ(motor.ReadCurrentSpeed(speed), kSent);
        // On the ramp, in tenths rounded down.
        EXPECT_TRUE(speed <= rate * 0.3f + 1e-4f && speed > rate * 0.3f - 0.1f) << speed;
        EXPECT_EQ(prompts.Unscripted().join(u'|').toStdString(), "");
    }
    EXPECT_FALSE(QFileInfo(path).isSymLink()) << "the link goes with the server";
}

#endif
