// The communication window fed link events directly: the rows it shows and
// colours, replies' values, Pause dropping and counting, Clear, Copy and
// Save in the link log's lines, the row bound; and a window destroyed
// before its link.
#include "monitor/frm_communication.h"

#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"
#include "drivemap/drive_catalogue.h"
#include "link/frm_motor_com.h"
#include "link/link_log.h"
#include "monitor/communication_model.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using kt::link::LinkEvent;
using kt::link::LinkLog;
using kt::monitor::CommunicationModel;
using kt::monitor::FrmCommunication;
using Kind = LinkEvent::Kind;
using Mark = CommunicationModel::Mark;

namespace {

LinkEvent Event(Kind kind, qint64 msecs, QByteArray bytes = {}, int code = 0, int attempt = 0) {
    LinkEvent event;
    event.kind = kind;
    event.msecs = msecs;
    event.portNumber = 1;
    event.function = kt::drivemap::kAccess;
    event.address = kt::drivemap::Address(kt::drivemap::Id::Identification);
    event.dataCount = 2;
    event.code = code;
    event.attempt = attempt;
    event.bytes = std::move(bytes);
    return event;
}

class CommunicationTest : public ::testing::Test {
protected:
    QStringList Row(int row) const {
        QStringList cells;
        for (int column = 0; column < CommunicationModel::kColumnCount; ++column)
            cells.append(
                m_window.Model().Cell(row, static_cast<CommunicationModel::Column>(column)));
        return cells;
    }
    int Rows() const { return m_window.Model().rowCount(); }
    void Feed(int count) {
        for (int i = 0; i < count; ++i)
            m_window.Observe(Event(Kind::Request, i, "\x80\x01"));
    }

    kt::platform::ScriptedPrompts m_prompts;
    FrmCommunication m_window{m_prompts};
};

const QString kRead = QStringLiteral("read Identification (282), 2 bytes");

struct RowCase {
    LinkEvent event;
    QStringList cells;
    Mark mark;
};

TEST_F(CommunicationTest, EachKindOfEventBecomesItsRowAndFailuresAreMarked) {
    LinkEvent searching = Event(Kind::Request, 125, QByteArray::fromHex("80001A"));
    searching.portNumber = 0;
    LinkEvent write = Event(Kind::Request, 126, QByteArray::fromHex("8000"));
    write.write = true;
    write.address = kt::drivemap::Address(kt::drivemap::Id::BusVolt);
    // Replies of other values: the catalogue's value in its unit, a byte
    // counted as one.
    auto reply = [](qint64 msecs, kt::drivemap::Id id, int channel, const char* hex) {
        LinkEvent event = Event(Kind::Reply, msecs, QByteArray::fromHex(hex));
        event.address = kt::drivemap::Address(id, channel);
        event.dataCount = static_cast<std::uint8_t>(kt::drivemap::At(id).size);
        return event;
    };
    using kt::drivemap::Id;
    const std::vector<RowCase> cases = {
        {Event(Kind::Request, 123, QByteArray::fromHex("80001A0102E3FE")),
         {"0.000 s", "1", ">", "80 00 1A 01 02 E3 FE", kRead},
         Mark::None},
        {searching, {"0.002 s", "search", ">", "80 00 1A", kRead}, Mark::None},
        {write, {"0.003 s", "1", ">", "80 00", "write BusVolt (268), 2 bytes"}, Mark::None},
        {Event(Kind::Resend, 200, "\x80\x01", 0, 2),
         {"0.077 s", "1", ">", "80 01", "resend 2: " + kRead},
         Mark::Resend},
        {Event(Kind::Reply, 210, QByteArray::fromHex("0700F9FF")),
         {"0.087 s", "1", "<", "07 00 F9 FF", kRead + " = 7"},
         Mark::None},
        {reply(211, Id::BusVolt, 0, "BE0141FF"),
         {"0.088 s", "1", "<", "BE 01 41 FF", "read BusVolt (268), 2 bytes = 47.96733 V"},
         Mark::None},
        {reply(212, Id::Counter, 3, "05FBFF"),
         {"0.089 s", "1", "<", "05 FB FF", "read Counter.3 (291), 1 byte = 5"},
         Mark::None},
        {reply(213, Id::Error, 0, "03FDFF"),
         {"0.090 s", "1", "<", "03 FD FF",
          "read Error (75), 1 byte = 3: Fault in motor power stage."},
         Mark::None},
        {reply(214, Id::Counter, 3, "050000"),
         {"0.091 s", "1", "<", "05 00 00", "read Counter.3 (291), 1 byte, wrong checksum"},
         Mark::None},
        {Event(Kind::Timeout, 300),
         {"0.177 s", "1", "!", "", "time-out, nothing received: " + kRead},
         Mark::Failure},
        {Event(Kind::LineError, 310, {}, 4),
         {"0.187 s", "1", "!", "", "line error 4: " + kRead},
         Mark::Failure},
        {Event(Kind::Ended, 320, {}, kt::link::kSent),
         {"0.197 s", "1", "=", "", "done: " + kRead},
         Mark::None},
        {Event(Kind::Ended, 12468, {}, kt::link::kFailed),
         {"12.345 s", "1", "!", "", "failed: " + kRead},
         Mark::Failure},
    };
    for (const RowCase& c : cases)
        m_window.Observe(c.event);

    ASSERT_EQ(Rows(), static_cast<int>(cases.size()));
    const CommunicationModel& model = m_window.Model();
    for (int row = 0; row < Rows(); ++row) {
        const RowCase& c = cases[static_cast<std::size_t>(row)];
        SCOPED_TRACE(row);
        EXPECT_EQ(Row(row), c.cells);
        EXPECT_EQ(model.RowMark(row), c.mark);
        EXPECT_EQ(model.Line(row), QString::fromStdString(LinkLog::Line(c.event)));
        const QVariant background = model.data(model.index(row, 0), Qt::BackgroundRole);
        if (c.mark == Mark::None)
            EXPECT_FALSE(background.isValid());
        else
            EXPECT_EQ(background.value<QColor>(), CommunicationModel::Tint(c.mark));
    }
    EXPECT_NE(CommunicationModel::Tint(Mark::Resend), CommunicationModel::Tint(Mark::Failure));
}

// The window names no value itself: every value and channel of the
// catalogue, read or written, under the name the link log gives, which is
// the catalogue's.
TEST_F(CommunicationTest, TheMeaningNamesEachValueAsTheCatalogueDoes) {
    std::vector<std::pair<LinkEvent, std::string>> cases;
    for (const kt::drivemap::DriveValue& value : kt::drivemap::Values()) {
        for (int channel = 0; channel < std::max<int>(value.channels, 1); ++channel) {
            const kt::drivemap::ValueRef ref{
                &value, value.channels > 0 ? channel : kt::drivemap::ValueRef::kWhole,
                kt::drivemap::ValueRef::kWhole};
            LinkEvent event = Event(Kind::Request, 1);
            event.address = ref.Address();
            event.dataCount = value.size;
            event.write = value.writable;
            cases.emplace_back(
                event, std::string(value.writable ? "write " : "read ") + kt::drivemap::Name(ref) +
                           " (" + std::to_string(ref.Address()) + "), " +
                           std::to_string(value.size) + (value.size == 1 ? " byte" : " bytes"));
        }
    }
    LinkEvent unknown = Event(Kind::Request, 1);
    unknown.address = 1000;
    cases.emplace_back(unknown, "read address 1000 (1000), 2 bytes");
    for (const auto& [event, meaning] : cases)
        m_window.Observe(event);
    ASSERT_EQ(Rows(), static_cast<int>(cases.size()));
    for (int row = 0; row < Rows(); ++row)
        EXPECT_EQ(m_window.Model().Cell(row, CommunicationModel::kMeaning).toStdString(),
                  cases[static_cast<std::size_t>(row)].second);
}

TEST_F(CommunicationTest, PausedEventsAreDroppedAndCountedUntilCleared) {
    Feed(2);
    m_window.findChild<QPushButton*>(QStringLiteral("pause"))->click();
    ASSERT_TRUE(m_window.Paused());
    Feed(3);
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(m_window.Dropped(), 3);
    EXPECT_TRUE(m_window.StatusText().contains(QStringLiteral("paused: 3 dropped")))
        << m_window.StatusText().toStdString();

    m_window.SetPaused(false);
    Feed(1);
    EXPECT_EQ(Rows(), 3);
    EXPECT_TRUE(m_window.StatusText().contains(QStringLiteral("3 dropped while paused")));

    m_window.findChild<QPushButton*>(QStringLiteral("clear"))->click();
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(m_window.Dropped(), 0);
    EXPECT_FALSE(m_window.StatusText().contains(QStringLiteral("dropped")));
}

TEST_F(CommunicationTest, CopyPutsTheSelectedRowsOrAllAsLogLines) {
    const std::vector<LinkEvent> events = {Event(Kind::Request, 1, "\x80"), Event(Kind::Timeout, 2),
                                           Event(Kind::Ended, 3, {}, kt::link::kFailed)};
    for (const LinkEvent& event : events)
        m_window.Observe(event);
    auto line = [&](int i) { return QString::fromStdString(LinkLog::Line(events[i])); };

    m_window.Copy();
    EXPECT_EQ(QApplication::clipboard()->text(), line(0) + '\n' + line(1) + '\n' + line(2) + '\n');

    QTableView& table = m_window.Table();
    // Selected out of order: the copy keeps the table's order.
    table.selectionModel()->select(table.model()->index(2, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    table.selectionModel()->select(table.model()->index(0, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    m_window.Copy();
    EXPECT_EQ(QApplication::clipboard()->text(), line(0) + '\n' + line(2) + '\n');
}

TEST_F(CommunicationTest, SaveWritesTheLogLinesAndARefusalIsTold) {
    Feed(2);
    const QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("log.txt"));

    m_prompts.PushFile(path);
    ASSERT_TRUE(m_window.SaveAs());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), m_window.Model().Lines().join('\n') + '\n');
    EXPECT_TRUE(m_prompts.Shown().empty());

    m_prompts.PushFile(QString()); // cancelled
    EXPECT_FALSE(m_window.SaveAs());
    EXPECT_TRUE(m_prompts.Shown().empty());

    m_prompts.PushFile(folder.filePath(QStringLiteral("missing/log.txt")));
    EXPECT_FALSE(m_window.SaveAs());
    ASSERT_EQ(m_prompts.Shown().size(), 1u);
    EXPECT_EQ(m_prompts.Shown()[0].icon, kt::platform::Icon::Critical);
    EXPECT_TRUE(m_prompts.Shown()[0].text.contains(QStringLiteral("missing/log.txt")));
}

TEST_F(CommunicationTest, KeepsTheNewestRowsOnly) {
    Feed(CommunicationModel::kMaxRows + 5);
    ASSERT_EQ(Rows(), CommunicationModel::kMaxRows);
    EXPECT_EQ(m_window.Model().Cell(0, CommunicationModel::kTime), QStringLiteral("0.005 s"));
    EXPECT_EQ(m_window.Model().Cell(Rows() - 1, CommunicationModel::kTime),
              QStringLiteral("10.004 s"));
}

class CommunicationLinkTest : public CommunicationTest {
protected:
    CommunicationLinkTest()
        : m_link(m_prompts, [this](int n) {
              std::unique_ptr<kt::drive::VirtualDriveTransport> port;
              if (n == 1)
                  port = std::make_unique<kt::drive::VirtualDriveTransport>(m_drive);
              return port;
          }) {}

    std::uint8_t ReadIdentification() {
        QByteArray data;
        return m_link.SendPacket(kt::drivemap::kAccess,
                                 kt::drivemap::Address(kt::drivemap::Id::Identification), 1, data);
    }

    kt::drive::VirtualDrive m_drive;
    kt::link::FrmMotorCom m_link;
};

// What a real exchange shows is the application test's business; here only
// that a window gone first is no longer told.
TEST_F(CommunicationLinkTest, AWindowGoneBeforeTheLinkIsNoLongerTold) {
    ASSERT_EQ(m_link.OpenPort(), 1);
    auto window = std::make_unique<FrmCommunication>(m_prompts);
    window->Attach(m_link);
    window.reset();
    EXPECT_EQ(ReadIdentification(), kt::link::kSent);
}

} // namespace
