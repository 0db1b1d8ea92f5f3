// The virtual drive's motor seen from the far end of a line: a command
// written over a pseudo-terminal starts the ramp a program's statement would,
// and nothing read during it lies ahead of where the ramp can be.
#include "drive/pty_drive_server.h"
#include "drive/virtual_drive.h"
#include "link/cls_kt_motor.h"
#include "link/frm_motor_com.h"
#include "link/port_directory.h"
#include "platform/scripted_prompts.h"
#include "sim/motor_model.h"
#include "sim/program_interpreter.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <algorithm>

using namespace kt::link;
using kt::drive::PtyDriveServer;
using kt::drive::VirtualDrive;

#ifdef Q_OS_UNIX

TEST(MotorRamp, CommandForwardOverTheLineStartsTheRampFromRest) {
    VirtualDrive drive;
    drive.SetRealTime(true);
    PtyDriveServer server(drive);
    QString error;
    ASSERT_TRUE(server.Start(&error)) << error.toStdString();
    kt::platform::ScriptedPrompts prompts;
    PortDirectory ports(QStringList{server.DevicePath()});
    FrmMotorCom link(prompts, [&ports](int n) { return ports.Create(n); });
    ClsKtMotor motor(link, prompts);
    ASSERT_EQ(motor.OpenPort(), 1);

    float reference = 50;
    ASSERT_EQ(motor.WriteReferenceSpeed(reference), kSent);
    float rate = 0;
    float limit = 0;
    ASSERT_EQ(motor.ReadAccelerationRate(rate), kSent); // speed gained per second
    ASSERT_EQ(motor.ReadCurrentLimit(limit), kSent);
    ASSERT_GT(rate, 0);
    const float rampCurrent =
        std::min(static_cast<float>(kt::sim::MotorModel::kRampCurrent * 0.255), limit);
    constexpr double kMotorPeriod = kt::sim::ProgramInterpreter::kMotorPeriodMs / 1000.0;

    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(motor.WriteCommandForward(true), kSent);
    int reads = 0;
    float last = 0;
    while (clock.elapsed() < 300) {
        float speed = -1;
        float current = -1;
        ASSERT_EQ(motor.ReadCurrentSpeed(speed), kSent);
        ASSERT_EQ(motor.ReadMotorCurrent(current), kSent);
        const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        // The model moves on a whole period at a time.
        const double reach = rate * (seconds + kMotorPeriod);
        ASSERT_LE(speed, reach) << "read " << reads << ", " << seconds << " s after the command";
        ASSERT_GE(speed, last) << "read " << reads;
        ASSERT_TRUE(current == 0 || current == rampCurrent)
            << current << " A at read " << reads << ", " << seconds << " s after the command";
        last = speed;
        ++reads;
    }
    EXPECT_GT(reads, 10);
    EXPECT_GT(last, 0) << "the ramp has begun";
    EXPECT_EQ(prompts.Unscripted().join(u'|').toStdString(), "");
}

#endif
