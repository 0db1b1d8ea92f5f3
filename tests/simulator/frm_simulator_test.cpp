// The simulator window over a virtual drive, the program compiled in the
// test's own program source: inputs flipped in the window reach the program,
// marked lines pause the run before their statement, Step moves one
// statement, and a program that does not compile never runs. Simulated time
// moves only through AdvanceSlice, never the clock.
#include "simulator/frm_simulator.h"

#include "compiler/compile_hint.h"
#include "compiler/program_compiler.h"
#include "drive/virtual_drive.h"
#include "drivemap/drive_catalogue.h"
#include "platform/scripted_prompts.h"
#include "simulator/lamp.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QSignalSpy>
#include <QSlider>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

using kt::simulator::FrmSimulator;
using State = FrmSimulator::State;
using Speed = FrmSimulator::Speed;

namespace {

// Lines: 1 Do, 2 If, 3 Output on, 4 Else, 5 Output off, 6 End If, 7 Loop.
constexpr int kRunModeBit = 3;

const std::string kFollow = "Do\r\n  If Input.0\r\n    Output.0 = True\r\n  Else\r\n"
                            "    Output.0 = False\r\n  End If\r\nLoop\r\n";

class SimulatorTest : public ::testing::Test {
protected:
    SimulatorTest() {
        m_drive.Interpreter().SetInput(0, false);
        m_window = std::make_unique<FrmSimulator>(
            m_drive, m_prompts,
            [this](std::uint8_t& error, long& lineCount) {
                lineCount = 0;
                error = m_compiler.CompileText(m_text, lineCount);
                const auto& image = m_compiler.ProgramBuffer();
                if (error != 0)
                    return QByteArray();
                QByteArray bytes(reinterpret_cast<const char*>(image.data()),
                                 static_cast<qsizetype>(image.size()));
                if (m_cut) // the second statement alone, the rest erased
                    bytes = bytes.mid(2, 2).leftJustified(bytes.size(), '\xFF');
                return bytes;
            },
            [this] { return m_compiler.StatementLines(); });
        m_window->SetTextSource([this] { return m_text; });
        m_spy = std::make_unique<QSignalSpy>(m_window.get(), &FrmSimulator::statementLine);
    }

    // Every line the window reported, in order.
    std::vector<int> Lines() const {
        std::vector<int> lines;
        for (const QList<QVariant>& call : *m_spy)
            lines.push_back(call.at(0).toInt());
        return lines;
    }

    kt::drive::VirtualDrive m_drive;
    kt::platform::ScriptedPrompts m_prompts;
    kt::compiler::ProgramCompiler m_compiler;
    std::string m_text = kFollow;
    bool m_cut = false;
    std::unique_ptr<FrmSimulator> m_window;
    std::unique_ptr<QSignalSpy> m_spy;
};

TEST_F(SimulatorTest, InputBoxDrivesTheOutputLampAtEverySpeed) {
    for (Speed speed : {Speed::RealTime, Speed::TenTimes, Speed::Fastest}) {
        SCOPED_TRACE(static_cast<int>(speed));
        m_window->SetSpeed(speed);
        m_window->Run();
        ASSERT_EQ(m_window->CurrentState(), State::Running);
        m_window->AdvanceSlice();
        EXPECT_FALSE(m_window->OutputLamp(0)->IsOn());

        m_window->InputBox(0)->click();
        m_window->AdvanceSlice();
        EXPECT_TRUE(m_window->OutputLamp(0)->IsOn());
        EXPECT_TRUE(m_window->StatusLamp(kRunModeBit)->IsOn());

        m_window->InputBox(0)->click();
        m_window->AdvanceSlice();
        EXPECT_FALSE(m_window->OutputLamp(0)->IsOn());
        m_window->Stop();
    }
    EXPECT_TRUE(m_prompts.Shown().empty());
}

TEST_F(SimulatorTest, EachSpeedMovesSimulatedTimeBySliceTimesSpeed) {
    const struct {
        Speed speed;
        std::uint64_t ms;
        const char* shown; // since Run, the drive's earlier time not counted
    } rows[] = {{Speed::RealTime, 20, "t = 0.020 s"},
                {Speed::TenTimes, 200, "t = 0.200 s"},
                {Speed::Fastest, 20000, "t = 20.000 s"}};
    m_drive.RunFor(1234);
    for (const auto& row : rows) {
        m_window->SetSpeed(row.speed);
        m_window->Run();
        EXPECT_EQ(m_window->TimeLabel()->text(), "t = 0.000 s");
        const std::uint64_t before = m_drive.Interpreter().TimeMs();
        m_window->AdvanceSlice();
        EXPECT_EQ(m_drive.Interpreter().TimeMs() - before, row.ms);
        EXPECT_EQ(m_window->TimeLabel()->text(), row.shown);
        m_window->Stop();
        m_drive.RunFor(500); // the drive's own time, after the run
        m_window->AdvanceSlice();
        EXPECT_EQ(m_window->TimeLabel()->text(), row.shown);
    }
}

TEST_F(SimulatorTest, MarkedLinePausesBeforeItsStatementAndRunGoesOnPastIt) {
    m_window->SetBreakLines({5});
    m_window->Run();
    m_window->AdvanceSlice();
    EXPECT_EQ(m_window->CurrentState(), State::Paused);
    EXPECT_EQ(m_window->CurrentLine(), 5);
    EXPECT_EQ(Lines(), (std::vector<int>{1, 5}));

    // With the statement not yet run, a set output stays set until it runs.
    m_drive.SetDataByte(kt::drivemap::Address(kt::drivemap::Id::Outputs), 1);
    m_window->AdvanceSlice(); // paused: nothing moves
    EXPECT_EQ(m_drive.DataByte(kt::drivemap::Address(kt::drivemap::Id::Outputs)), 1);

    m_window->Run();
    m_window->AdvanceSlice();
    EXPECT_EQ(m_drive.DataByte(kt::drivemap::Address(kt::drivemap::Id::Outputs)), 0);
    // Round the loop it meets the mark again.
    EXPECT_EQ(m_window->CurrentState(), State::Paused);
    EXPECT_EQ(m_window->CurrentLine(), 5);
}

TEST_F(SimulatorTest, StepRunsOneStatementAndReportsTheNext) {
    m_window->Step(); // loads, runs nothing
    EXPECT_EQ(m_window->CurrentState(), State::Paused);
    const std::uint64_t start = m_drive.Interpreter().TimeMs();
    for (int i = 0; i < 4; ++i)
        m_window->Step();
    EXPECT_EQ(m_drive.Interpreter().TimeMs() - start, 4u);
    // Do, If (false), Output off, End If, Loop.
    EXPECT_EQ(Lines(), (std::vector<int>{1, 2, 5, 6, 7}));

    m_window->InputBox(0)->click();
    m_window->Step(); // Loop
    m_window->Step(); // Do
    m_window->Step(); // If, now true
    EXPECT_EQ(m_window->CurrentLine(), 3);
    EXPECT_FALSE(m_window->OutputLamp(0)->IsOn());
    m_window->Step();
    EXPECT_TRUE(m_window->OutputLamp(0)->IsOn());
    EXPECT_EQ(m_window->CurrentLine(), 4);
}

TEST_F(SimulatorTest, ProgramThatDoesNotCompileShowsItsLineAndNeverRuns) {
    m_text = "Do\r\n  Output.0 = True\r\n  Nonsense 12\r\nLoop\r\n";
    for (auto start : {&FrmSimulator::Run, &FrmSimulator::Step}) {
        m_prompts.Clear();
        (m_window.get()->*start)();
        EXPECT_EQ(m_prompts.ShownTexts(), (std::vector<QString>{"ProgramError at Line3"}));
        EXPECT_EQ(m_window->CurrentState(), State::Stopped);
        m_window->AdvanceSlice();
        EXPECT_FALSE(m_window->OutputLamp(0)->IsOn());
        EXPECT_FALSE(m_drive.Interpreter().Running());
    }
    EXPECT_TRUE(m_spy->isEmpty());
}

TEST_F(SimulatorTest, StopClearsTheLineFromRunningAndFromPaused) {
    m_window->Run();
    m_window->AdvanceSlice();
    m_window->Stop();
    m_window->Step();
    m_window->Stop();
    EXPECT_EQ(Lines(), (std::vector<int>{1, 0, 1, 0}));
    EXPECT_FALSE(m_drive.Interpreter().Running());
    EXPECT_FALSE(m_window->StatusLamp(kRunModeBit)->IsOn());
}

// What the window says about the run, step by step, and why it stopped.
TEST_F(SimulatorTest, StateLineSaysWhereTheRunIsAndWhyItStopped) {
    const std::string nonsense = "Do\r\n  Output.0 = True\r\n  Nonsense 12\r\nLoop\r\n";
    const std::string hint = kt::compiler::ProgramHint(nonsense, 1, 3);
    const struct {
        const char* what;
        std::function<void()> act;
        QString state;
    } steps[] = {
        {"before any run", [] {}, "Stopped"},
        {"Run",
         [&] {
             m_window->SetBreakLines({5});
             m_window->Run();
         },
         "Running"},
        {"at a mark", [&] { m_window->AdvanceSlice(); }, "Paused at line 5: breakpoint"},
        {"Step", [&] { m_window->Step(); }, "Paused at line 6"},
        {"Run on", [&] { m_window->Run(); }, "Running"},
        {"Pause", [&] { m_window->Pause(); }, "Paused at line 6"},
        {"Stop", [&] { m_window->Stop(); }, "Stopped: Stop"},
        {"edit", [&] { m_window->Run(), m_window->ProgramEdited(); },
         "Stopped: the program was edited"},
        {"closed when stopped", [&] { m_window->Stop(); }, "Stopped: the program was edited"},
        {"compile error", [&] { m_text = nonsense, m_window->Run(); },
         "Stopped: program error at line 3: Error: Statement not identified." +
             (hint.empty() ? QString() : " " + QString::fromStdString(hint))},
        {"run error",
         [&] { m_text = kFollow, m_cut = true, m_window->Run(), m_window->AdvanceSlice(); },
         "Stopped: run error at line 1: 1: Program passed end of buffer."},
    };
    for (const auto& step : steps) {
        step.act();
        EXPECT_EQ(m_window->StateLabel()->text(), step.state) << step.what;
    }
}

// Stop leaves the drive as a stopped program does: the commands cleared and
// the motor slowing at the deceleration rate while the window moves time on,
// then the clock handed back.
TEST_F(SimulatorTest, StopRampsTheMotorDownToRestWithTheCommandsCleared) {
    using kt::drivemap::StatusBit;
    const int enable = kt::drivemap::Place(StatusBit::MotorEnable);
    m_text = "CommandForward = True\r\nDo\r\nLoop\r\n";
    m_drive.SetRealTime(true);
    m_window->SetSpeed(Speed::Fastest);
    m_window->Run();
    m_window->AdvanceSlice(); // 20 s: long at the reference speed
    ASSERT_EQ(m_window->ValueLabel("CurrentSpeed")->text(), "25");

    m_window->SetSpeed(Speed::TenTimes);
    m_window->Stop();
    EXPECT_FALSE(m_window->StatusLamp(kt::drivemap::Place(StatusBit::CommandForward))->IsOn());
    EXPECT_EQ(m_window->ValueLabel("CurrentSpeed")->text(), "25"); // no jump
    m_window->AdvanceSlice();                                      // 200 ms at 5 a second
    EXPECT_EQ(m_window->ValueLabel("CurrentSpeed")->text(), "24");
    EXPECT_TRUE(m_window->StatusLamp(enable)->IsOn());
    EXPECT_EQ(m_window->StateLabel()->text(), "Stopped: Stop (the motor slows to rest)");
    EXPECT_FALSE(m_drive.RealTime());

    for (int slice = 0; slice < 30; ++slice)
        m_window->AdvanceSlice();
    EXPECT_EQ(m_window->ValueLabel("CurrentSpeed")->text(), "0");
    EXPECT_FALSE(m_window->StatusLamp(enable)->IsOn());
    EXPECT_EQ(m_window->StateLabel()->text(), "Stopped: Stop");
    EXPECT_TRUE(m_drive.RealTime());
    EXPECT_EQ(m_window->TimeLabel()->text(), "t = 25.000 s");
    m_drive.SetRealTime(false);
}

TEST_F(SimulatorTest, ProgramRunningPastItsEndStopsWithTheErrorShown) {
    // Output.0 = True alone: nothing after it.
    m_text = "Do\r\n  Output.0 = True\r\nLoop\r\n";
    m_cut = true;
    m_window->Run();
    ASSERT_EQ(m_window->CurrentState(), State::Running);
    m_window->AdvanceSlice();
    EXPECT_EQ(m_window->CurrentState(), State::Stopped);
    EXPECT_EQ(m_window->CurrentLine(), 0);
    EXPECT_TRUE(m_window->OutputLamp(0)->IsOn());
    EXPECT_EQ(m_window->ValueLabel("Error")->text(), "1: Program passed end of buffer.");
}

TEST_F(SimulatorTest, RunTakesTheDriveOffTheClockUntilStopped) {
    m_drive.SetRealTime(true);
    m_window->Run();
    EXPECT_FALSE(m_drive.RealTime());
    m_window->Pause();
    EXPECT_FALSE(m_drive.RealTime());
    m_window->Stop();
    EXPECT_TRUE(m_drive.RealTime());
    m_drive.SetRealTime(false);
}

TEST_F(SimulatorTest, ShowsTheDriveValuesAndSendsTheAnalogInputs) {
    m_drive.SetDataByte(kt::drivemap::Address(kt::drivemap::Id::Counter) + 3, 9);
    m_drive.SetDataWord(kt::drivemap::Address(kt::drivemap::Id::Counter) + 2 * 2, 1234);
    m_drive.SetDataByte(kt::drivemap::Address(kt::drivemap::Id::Timer) + 1, 7);
    m_drive.SetDataWord(kt::drivemap::Address(kt::drivemap::Id::ReferenceSpeed), 505);
    m_drive.SetDataByte(kt::drivemap::Address(kt::drivemap::Id::Flags), 0x40);
    m_drive.SetDataByte(kt::drivemap::Address(kt::drivemap::Id::Error), 3);
    m_drive.SetDataWord(kt::drivemap::Address(kt::drivemap::Id::BusVolt), 446);
    m_window->Stop(); // shows the values
    // Under the names and in the format the command line uses, any
    // spelling the catalogue knows.
    const std::pair<const char*, const char*> shown[] = {
        {"Counter.3", "9"},
        {"counter 3", "9"},
        {"WordCounter.2", "1234"},
        {"Timer.1", "7"},
        {"Timer 1", "7"},
        {"ReferenceSpeed", "50.5"},
        {"RefrenceSpeed", "50.5"},
        {"BusVolt", "47.96733"},
        {"Error", "3: Fault in motor power stage."},
        {"AccelerationRate", "5"},
    };
    for (const auto& [name, text] : shown) {
        ASSERT_NE(m_window->ValueLabel(name), nullptr) << name;
        EXPECT_EQ(m_window->ValueLabel(name)->text(), text) << name;
    }
    // Every number of the catalogue has its label, and every label its
    // caption with the catalogue's unit.
    for (const kt::drivemap::DriveValue& value : kt::drivemap::Values()) {
        if (value.kind == kt::drivemap::Kind::Bits || value.id == kt::drivemap::Id::Identification)
            continue;
        for (int channel = 0; channel < std::max<int>(value.channels, 1); ++channel) {
            const kt::drivemap::ValueRef ref{&value, value.channels > 0 ? channel : -1};
            const QString name = QString::fromStdString(kt::drivemap::Name(ref));
            QLabel* label = m_window->ValueLabel(name);
            ASSERT_NE(label, nullptr) << name.toStdString();
            EXPECT_EQ(label->text().toStdString(),
                      kt::drivemap::Text(ref, m_drive.Interpreter().Memory()));
            const QString unit = QLatin1String(value.unit);
            const QString caption =
                unit.isEmpty() ? name : name + QStringLiteral(" [%1]").arg(unit);
            const QList<QLabel*> labels = m_window->findChildren<QLabel*>();
            EXPECT_EQ(std::count_if(labels.begin(), labels.end(),
                                    [&](QLabel* shown) { return shown->text() == caption; }),
                      1)
                << caption.toStdString();
        }
    }
    EXPECT_TRUE(m_window->FlagLamp(6)->IsOn());
    EXPECT_EQ(m_window->InputBox(2)->text(), "Input.2");
    // Lamps are read, not ticked: named for screen readers, never focused,
    // and nothing but the four buttons and eight inputs takes a click.
    const std::pair<kt::simulator::Lamp*, const char*> lamps[] = {
        {m_window->FlagLamp(6), "Flag.6"},
        {m_window->StatusLamp(kRunModeBit), "ProgramRunMode"},
        {m_window->OutputLamp(1), "Output.1"},
        {m_window->TimerFlagLamp(2), "TimerFlag.2"},
    };
    for (const auto& [lamp, name] : lamps) {
        EXPECT_EQ(lamp->accessibleName(), name);
        EXPECT_EQ(lamp->focusPolicy(), Qt::NoFocus) << name;
    }
    EXPECT_EQ(m_window->findChildren<QAbstractButton*>().size(), 4 + 8);
    for (int n = 0; n < kt::drivemap::Channels(kt::drivemap::Id::Analog); ++n)
        EXPECT_EQ(m_window->AnalogSlider(n)->accessibleName().toStdString(),
                  kt::drivemap::Name({&kt::drivemap::At(kt::drivemap::Id::Analog), n}));

    m_window->AnalogSlider(4)->setValue(1000);
    EXPECT_EQ(m_drive.DataWord(kt::drivemap::Address(kt::drivemap::Id::Analog) + 2 * 4), 1000);
    EXPECT_EQ(m_window->ValueLabel("Analog.4")->text(), "1000");
}

} // namespace
