// The Monitor window named by the catalogue: every value, channel and bit
// the drive has is a channel under its canonical name and its unit, found by
// any name the catalogue accepts, read in the cursor and the chooser as
// `ktmotor-cli read` prints it, and exported with the header
// `ktmotor-cli monitor --csv` writes.
#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"
#include "drivemap/drive_catalogue.h"
#include "drivemap/recording_csv.h"
#include "link/frm_motor_com.h"
#include "link/port_directory.h"
#include "monitor/frm_monitor.h"
#include "monitor/monitor_session.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <string>
#include <vector>

using kt::drivemap::ValueRef;
using kt::monitor::MonitorSession;

namespace {

// Every value, each channel of a numbered one and each bit of a bit group.
std::vector<ValueRef> Watchable() {
    std::vector<ValueRef> refs;
    for (const kt::drivemap::DriveValue& value : kt::drivemap::Values()) {
        if (value.channels > 0)
            for (int channel = 0; channel < value.channels; ++channel)
                refs.push_back({&value, channel, ValueRef::kWhole});
        else if (!value.bits.empty())
            for (const kt::drivemap::Bit& bit : value.bits)
                refs.push_back({&value, ValueRef::kWhole, bit.index});
        else
            refs.push_back({&value, ValueRef::kWhole, ValueRef::kWhole});
    }
    return refs;
}

std::vector<std::string> Names(const std::vector<int>& channels) {
    std::vector<std::string> names;
    for (const int channel : channels)
        names.push_back(
            MonitorSession::Channels()[static_cast<std::size_t>(channel)].name.toStdString());
    return names;
}

TEST(MonitorCatalogueTest, EveryValueChannelAndBitIsAChannelUnderItsNameAndUnit) {
    const auto& channels = MonitorSession::Channels();
    std::size_t watched = 0;
    for (const ValueRef& ref : Watchable()) {
        const std::string name = kt::drivemap::Name(ref);
        SCOPED_TRACE(name);
        // The command set has no read for it, and it never changes.
        const bool monitored = ref.value->id != kt::drivemap::Id::Identification;
        std::vector<int> found;
        for (std::size_t i = 0; i < channels.size(); ++i)
            if (channels[i].name.toStdString() == name)
                found.push_back(static_cast<int>(i));
        EXPECT_EQ(found.size(), monitored ? 1u : 0u);
        EXPECT_EQ(MonitorSession::ChannelsNamed(name), found);
        if (found.size() != 1)
            continue;
        ++watched;
        const kt::monitor::MonitorChannel& channel = channels[static_cast<std::size_t>(found[0])];
        EXPECT_TRUE(channel.ref == ref);
        const std::string unit = channel.unit.toStdString();
        EXPECT_EQ(unit, kt::drivemap::UnitOrName(*ref.value));
        // A real unit or the value's own name, never a word of the window's.
        EXPECT_TRUE(unit == ref.value->unit || unit == ref.value->name) << unit;
        EXPECT_EQ(channel.ReadingUnit().toStdString(), ref.value->unit);
    }
    EXPECT_EQ(channels.size(), watched);
}

TEST(MonitorCatalogueTest, AnyNameTheCatalogueAcceptsFindsItsChannels) {
    struct Case {
        const char* name;
        std::vector<std::string> channels;
    };
    const std::vector<Case> cases = {
        {"Input0", {"Input.0"}},
        {"in3", {"Input.3"}},
        {"Op1", {"Output.1"}},
        {"ReferenceVolt%", {"ReferenceVolt"}},
        {"volt%", {"ReferenceVolt"}},
        {"bus-volt", {"BusVolt"}},
        {" MOTORENABLE ", {"MotorEnable"}},
        {"status.Fault", {"Fault"}},
        {"Timer 0", {"Timer.0"}},
        {"counter 3", {"Counter.3"}},
        {"WordCounter2", {"WordCounter.2"}},
        {"AccelerateRate", {"AccelerationRate"}},
        // A numbered value stands for its channel 0, a bit group for its bits.
        {"Counter", {"Counter.0"}},
        {"Outputs", {"Output.0", "Output.1"}},
        // Known but not watched, or not known.
        {"Identification", {}},
        {"Counter.8", {}},
        {"Speed", {}},
        {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Names(MonitorSession::ChannelsNamed(c.name)), c.channels) << c.name;
}

class MonitorWindowCatalogueTest : public ::testing::Test {
protected:
    MonitorWindowCatalogueTest() {
        m_drive.SetMotorModel(false);
        m_ports.AddPort(QStringLiteral("drive"), [this] {
            return std::make_unique<kt::drive::VirtualDriveTransport>(m_drive);
        });
    }

    kt::drive::VirtualDrive m_drive;
    kt::link::PortDirectory m_ports{QStringList{QStringLiteral("/nonexistent/kt-no-port")}};
    kt::platform::ScriptedPrompts m_prompts;
    kt::link::FrmMotorCom m_link{m_prompts, [this](int n) { return m_ports.Create(n); }};
    kt::monitor::FrmMonitor m_window{m_link, m_ports, m_prompts};
};

TEST_F(MonitorWindowCatalogueTest, ChoosesByAnyNameAndSaysWhenOneNamesNothing) {
    EXPECT_TRUE(m_window.Choose(QStringList{"bus-volt", "in0", "Outputs"}));
    EXPECT_EQ(Names(m_window.Session().Chosen()),
              (std::vector<std::string>{"BusVolt", "Input.0", "Output.0", "Output.1"}));
    EXPECT_FALSE(m_window.Choose(QStringList{"Timer.1", "Speed"}));
    EXPECT_EQ(Names(m_window.Session().Chosen()), std::vector<std::string>{"Timer.1"});
}

TEST_F(MonitorWindowCatalogueTest, AValueReadsAsTheCommandLinePrintsItWithItsUnit) {
    m_drive.SetDataWord(12, 500);     // CurrentSpeed 50
    m_drive.SetDataByte(270, 10);     // MotorCurrent: 10 steps of 0.255 A
    m_drive.SetDataWord(260, 1023);   // Analog.2
    m_drive.SetDataWord(290, 0x0701); // WordCounter.1: Counter.2 1, Counter.3 7
    m_drive.SetDataByte(6, 0x01);     // Input.0
    m_drive.SetDataByte(62, 0xA5);    // Fault, MotorEnable, AutoTorque, CommandForward
    m_drive.SetDataByte(75, 3);       // Error
    struct Row {
        QString name;
        std::string chooser; // the value's line in the chooser, and its last reading
        std::string reading;
        std::string cursor;
    };
    // BusVolt and ReferenceVolt at their power-up counts, 446 and 128.
    const std::vector<Row> rows = {
        {"CurrentSpeed", "CurrentSpeed", "50", "CurrentSpeed = 50"},
        {"BusVolt", "BusVolt [V]", "47.96733", "BusVolt = 47.96733 V"},
        {"MotorCurrent", "MotorCurrent [A]", "2.55", "MotorCurrent = 2.55 A"},
        {"ReferenceVolt", "ReferenceVolt [%]", "50", "ReferenceVolt = 50 %"},
        {"Analog.2", "Analog.2", "1023", "Analog.2 = 1023"},
        {"Counter.3", "Counter.3", "7", "Counter.3 = 7"},
        {"WordCounter.1", "WordCounter.1", "1793", "WordCounter.1 = 1793"},
        {"CommandForward", "CommandForward", "1", "CommandForward = 1"},
        {"CommandReverse", "CommandReverse", "0", "CommandReverse = 0"},
        {"AutoTorque", "AutoTorque", "1", "AutoTorque = 1"},
        {"ProgramRunMode", "ProgramRunMode", "0", "ProgramRunMode = 0"},
        {"MotorForward", "MotorForward", "0", "MotorForward = 0"},
        {"MotorEnable", "MotorEnable", "1", "MotorEnable = 1"},
        {"Fault", "Fault", "1", "Fault = 1"},
        {"Error", "Error", "3: Fault in motor power stage.",
         "Error = 3: Fault in motor power stage."},
        {"Input.0", "Input.0", "1", "Input.0 = 1"},
        {"Input.1", "Input.1", "0", "Input.1 = 0"},
    };
    QStringList names;
    for (const Row& row : rows)
        names << row.name;
    ASSERT_TRUE(m_window.Choose(names));
    m_window.Start();
    ASSERT_TRUE(m_window.Session().Running()) << m_window.StatusText().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_window.Session().Reads() >= 20; }, 5000));
    m_window.Pause();
    QTest::qWait(2 * kt::monitor::FrmMonitor::kRepaintMs);
    // In the order chosen, which is the chooser's.
    const QStringList cursor = m_window.Plot().CursorValues(m_window.Session().Now());
    ASSERT_EQ(cursor.size(), static_cast<int>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(row.name.toStdString());
        const int channel = m_window.Session().Chosen()[i];
        EXPECT_EQ(m_window.ChooserText(channel).toStdString(), row.chooser);
        EXPECT_EQ(m_window.ChooserText(channel, 1).toStdString(), row.reading);
        EXPECT_EQ(cursor[static_cast<int>(i)].toStdString(), row.cursor);
    }
}

} // namespace

namespace {

QString ExportHeader(kt::monitor::FrmMonitor& window, kt::platform::ScriptedPrompts& prompts) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("run.csv"));
    prompts.PushFile(path);
    EXPECT_TRUE(window.ExportCsv());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return QString::fromUtf8(file.readLine());
}

TEST_F(MonitorWindowCatalogueTest, TheExportNamesEachValueAsTheCommandLineDoes) {
    // `ktmotor-cli monitor bus-volt current-speed status --csv`: a status
    // column per bit. The window lists speeds first.
    ASSERT_TRUE(m_window.Choose(QStringList{"bus-volt", "current-speed", "status"}));
    const std::string header = ExportHeader(m_window, m_prompts).toStdString();
    EXPECT_EQ(header, "time [s],CurrentSpeed,BusVolt [V],CommandForward,CommandReverse,AutoTorque,"
                      "ProgramRunMode,MotorForward,MotorEnable,Fault\r\n");
    EXPECT_EQ(header, kt::drivemap::RecordingCsv({*kt::drivemap::Find("current-speed"),
                                                  *kt::drivemap::Find("bus-volt"),
                                                  *kt::drivemap::Find("status")})
                          .Header());

    // Everything: each value's column once, titled as the writer titles it.
    QStringList names;
    std::vector<std::string> titles = {std::string(kt::drivemap::RecordingCsv::kTimeTitle)};
    for (const ValueRef& ref : Watchable()) {
        if (ref.value->id == kt::drivemap::Id::Identification)
            continue;
        names << QString::fromStdString(kt::drivemap::Name(ref));
        titles.push_back(kt::drivemap::RecordingCsv::Title(ref));
    }
    ASSERT_TRUE(m_window.Choose(names));
    QStringList columns = ExportHeader(m_window, m_prompts).chopped(2).split(u',');
    std::vector<std::string> exported;
    for (const QString& column : columns)
        exported.push_back(column.toStdString());
    std::sort(titles.begin() + 1, titles.end());
    std::sort(exported.begin() + 1, exported.end());
    EXPECT_EQ(exported, titles);
}

} // namespace
