// The drive served on a pseudo-terminal, reached as a client would: through
// its link, with the link and command set of the programs. A command written
// over the line starts the ramp a program's statement would; simulated time
// moves only when the test says.
#include "drive/pty_drive_server.h"
#include "drive/virtual_drive.h"
#include "link/cls_kt_motor.h"
#include "link/frm_motor_com.h"
#include "link/port_directory.h"
#include "platform/scripted_prompts.h"
#include "sim/motor_model.h"
#include "sim/program_interpreter.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>

using namespace kt::link;
using kt::drive::PtyDriveServer;
using kt::drive::VirtualDrive;

#ifdef Q_OS_UNIX

TEST(PtyDrive, ServesOnItsLinkAndCommandForwardStartsTheRamp) {
    QTemporaryDir dir;
    const QString path = dir.filePath("drive");
    ASSERT_TRUE(QFile::link("/nonexistent", path)) << "an old link is replaced";
    VirtualDrive drive;
    {
        PtyDriveServer server(drive, path);
        QString error;
        ASSERT_TRUE(server.Start(&error)) << error.toStdString();
        EXPECT_EQ(QFileInfo(server.LinkPath()).symLinkTarget(), server.DevicePath());
        kt::platform::ScriptedPrompts prompts;
        PortDirectory ports(QStringList{path});
        FrmMotorCom link(prompts, [&ports](int n) { return ports.Create(n); });
        ClsKtMotor motor(link, prompts);
        ASSERT_EQ(motor.OpenPort(), 1);

        float reference = 50;
        float rate = 0;
        float limit = 0;
        ASSERT_EQ(motor.WriteReferenceSpeed(reference), kSent);
        ASSERT_EQ(motor.ReadAccelerationRate(rate), kSent); // speed gained per second
        ASSERT_EQ(motor.ReadCurrentLimit(limit), kSent);
        ASSERT_GT(rate, 0);
        const float rampCurrent =
            std::min(static_cast<float>(kt::sim::MotorModel::kRampCurrent * 0.255), limit);
        constexpr int kPeriodMs = kt::sim::ProgramInterpreter::kMotorPeriodMs;
        ASSERT_EQ(motor.WriteCommandForward(true), kSent);
        for (int ms = 0; ms <= 300; ms += 3 * kPeriodMs) {
            float speed = -1;
            float current = -1;
            ASSERT_EQ(motor.ReadCurrentSpeed(speed), kSent);
            ASSERT_EQ(motor.ReadMotorCurrent(current), kSent);
            // Never ahead of the ramp, shown in tenths rounded down.
            const float reach = rate * static_cast<float>(ms) / 1000;
            EXPECT_TRUE(speed <= reach + 1e-4 && speed > reach - 0.1f) << speed << " at " << ms;
            EXPECT_EQ(current, ms == 0 ? 0 : rampCurrent) << ms << " ms";
            drive.RunFor(3 * kPeriodMs);
        }
        EXPECT_EQ(prompts.Unscripted().join(u'|').toStdString(), "");
    }
    EXPECT_FALSE(QFileInfo(path).isSymLink()) << "the link goes with the server";
}

#else

TEST(PtyDrive, NotSupported) {
    VirtualDrive drive;
    QString error;
    EXPECT_FALSE(PtyDriveServer(drive).Start(&error));
    EXPECT_FALSE(error.isEmpty());
}

#endif
