// The communication window fed link events directly; on a link, its times
// and a window destroyed before its link.
#include "monitor/frm_communication.h"

#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"
#include "drivemap/drive_catalogue.h"
#include "link/frm_motor_com.h"
#include "link/link_log.h"
#include "monitor/communication_model.h"
#include "platform/scripted_prompts.h"
#include "platform/text_zoom.h"
#include "tests/accessible_walk.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

using kt::link::LinkEvent;
using kt::monitor::CommunicationModel;
using kt::monitor::FrmCommunication;
using Kind = LinkEvent::Kind;
using Mark = CommunicationModel::Mark;

namespace {

// An event of a read of Identification (or of id's channel) on port 1.
LinkEvent Event(Kind kind, qint64 msecs, const char* hex = "", int code = 0,
                kt::drivemap::Id id = kt::drivemap::Id::Identification, int channel = 0) {
    LinkEvent event;
    event.kind = kind;
    event.msecs = msecs;
    event.portNumber = 1;
    event.function = kt::drivemap::kAccess;
    event.address = kt::drivemap::Address(id, channel);
    event.dataCount = static_cast<std::uint8_t>(kt::drivemap::At(id).size);
    event.code = code;
    event.bytes = QByteArray::fromHex(hex);
    return event;
}

QString Line(const LinkEvent& event) {
    return QString::fromStdString(kt::link::LinkLog::Line(event));
}

class CommunicationTest : public ::testing::Test {
protected:
    // The row's cells, joined by '|'.
    QString Row(int row) const {
        QStringList cells;
        for (int column = 0; column < CommunicationModel::kColumnCount; ++column)
            cells.append(
                m_window.Model().Cell(row, static_cast<CommunicationModel::Column>(column)));
        return cells.join(u'|');
    }
    int Rows() const { return m_window.Model().rowCount(); }
    void Feed(int count) {
        for (int i = 0; i < count; ++i)
            m_window.Observe(Event(Kind::Request, i, "8001"));
    }

    kt::platform::ScriptedPrompts m_prompts;
    FrmCommunication m_window{m_prompts};
};

TEST_F(CommunicationTest, EachKindOfEventBecomesItsRowAndFailuresAreMarked) {
    using kt::drivemap::Id;
    LinkEvent searching = Event(Kind::Request, 125, "80001A");
    searching.portNumber = 0;
    LinkEvent write = Event(Kind::Request, 126, "8000", 0, Id::BusVolt);
    write.write = true;
    LinkEvent resend = Event(Kind::Resend, 200, "8001");
    resend.attempt = 2;
    const QString read = "read Identification (282), 2 bytes";
    // Replies: the catalogue's value in its unit, a byte counted as one.
    const std::vector<std::tuple<LinkEvent, QString, Mark>> cases = {
        {Event(Kind::Request, 123, "80001A0102E3FE"), "0.000 s|1|>|80 00 1A 01 02 E3 FE|" + read,
         Mark::None},
        {searching, "0.002 s|search|>|80 00 1A|" + read, Mark::None},
        {write, "0.003 s|1|>|80 00|write BusVolt (268), 2 bytes", Mark::None},
        {resend, "0.077 s|1|>|80 01|resend 2: " + read, Mark::Resend},
        {Event(Kind::Reply, 210, "0700F9FF"), "0.087 s|1|<|07 00 F9 FF|" + read + " = 7",
         Mark::None},
        {Event(Kind::Reply, 211, "BE0141FF", 0, Id::BusVolt),
         "0.088 s|1|<|BE 01 41 FF|read BusVolt (268), 2 bytes = 47.96733 V", Mark::None},
        {Event(Kind::Reply, 214, "050000", 0, Id::Counter, 3),
         "0.091 s|1|<|05 00 00|read Counter.3 (291), 1 byte, wrong checksum", Mark::None},
        {Event(Kind::Timeout, 300), "0.177 s|1|!||time-out, nothing received: " + read,
         Mark::Failure},
        {Event(Kind::LineError, 310, "", 4), "0.187 s|1|!||line error 4: " + read, Mark::Failure},
        {Event(Kind::Ended, 320, "", kt::link::kSent), "0.197 s|1|=||done: " + read, Mark::None},
        {Event(Kind::Ended, 12468, "", kt::link::kFailed), "12.345 s|1|!||failed: " + read,
         Mark::Failure},
    };
    for (const auto& [event, cells, mark] : cases)
        m_window.Observe(event);
    ASSERT_EQ(Rows(), static_cast<int>(cases.size()));
    const CommunicationModel& model = m_window.Model();
    for (int row = 0; row < Rows(); ++row) {
        const auto& [event, cells, mark] = cases[static_cast<std::size_t>(row)];
        SCOPED_TRACE(row);
        EXPECT_EQ(Row(row), cells);
        EXPECT_EQ(model.RowMark(row), mark);
        EXPECT_EQ(model.Line(row), Line(event));
        const QVariant background = model.data(model.index(row, 0), Qt::BackgroundRole);
        EXPECT_EQ(background.value<QColor>(),
                  mark == Mark::None ? QColor() : CommunicationModel::Tint(mark));
    }
}

TEST_F(CommunicationTest, PausedEventsAreDroppedAndCountedUntilCleared) {
    Feed(2);
    m_window.findChild<QPushButton*>(QStringLiteral("pause"))->click();
    ASSERT_TRUE(m_window.Paused());
    Feed(3);
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(m_window.StatusText(), "2 rows, paused: 3 dropped");
    m_window.SetPaused(false);
    Feed(1);
    EXPECT_EQ(m_window.StatusText(), "3 rows, 3 dropped while paused");
    m_window.findChild<QPushButton*>(QStringLiteral("clear"))->click();
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(m_window.Dropped(), 0);
    // The log's start stays.
    m_window.Observe(Event(Kind::Request, 7));
    EXPECT_EQ(m_window.Model().Cell(0, CommunicationModel::kTime), "0.007 s");
    EXPECT_EQ(m_window.StatusText(), "1 row");
}

TEST_F(CommunicationTest, CopyAndSaveGiveTheLogLinesOfTheSelectedRowsOrAll) {
    const std::vector<LinkEvent> events = {Event(Kind::Request, 1, "80"), Event(Kind::Timeout, 2),
                                           Event(Kind::Ended, 3, "", kt::link::kFailed)};
    for (const LinkEvent& event : events)
        m_window.Observe(event);
    const QString all = Line(events[0]) + '\n' + Line(events[1]) + '\n' + Line(events[2]) + '\n';
    m_window.Copy();
    EXPECT_EQ(QApplication::clipboard()->text(), all);

    QTableView& table = m_window.Table();
    // Selected out of order: the copy keeps the table's order.
    for (const int row : {2, 0})
        table.selectionModel()->select(table.model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    m_window.Copy();
    EXPECT_EQ(QApplication::clipboard()->text(), Line(events[0]) + '\n' + Line(events[2]) + '\n');

    // Save writes every row, whatever is selected.
    const QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("log.txt"));
    m_prompts.PushFile(path);
    ASSERT_TRUE(m_window.SaveAs());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), all);
    EXPECT_TRUE(m_prompts.Shown().empty());
}

// Named, Tab from the buttons to the log; at 200 % its text, rows and least size grow.
TEST_F(CommunicationTest, NamedInTabOrderAndZoomed) {
    Feed(3);
    m_window.show();
    m_window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
    EXPECT_EQ(kt::test::UnnamedControls(&m_window), QStringList{});
    m_window.findChild<QPushButton*>(QStringLiteral("pause"))->setFocus();
    QString order;
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order += QApplication::focusWidget()->objectName() + u' ';
    }
    EXPECT_EQ(order, "clear copy save log pause ");
    const double points = m_window.Table().font().pointSizeF();
    const int row = m_window.Table().rowHeight(0);
    const QSize least = m_window.minimumSizeHint();
    kt::platform::TextZoom::Instance().SetPercent(200);
    QCoreApplication::processEvents();
    EXPECT_DOUBLE_EQ(m_window.Table().font().pointSizeF(), 2 * points);
    EXPECT_GT(m_window.Table().rowHeight(0), row * 3 / 2);
    EXPECT_GT(m_window.minimumSizeHint().width(), least.width() * 3 / 2);
    kt::platform::TextZoom::Instance().Reset();
}

TEST_F(CommunicationTest, KeepsTheNewestRowsOnly) {
    Feed(CommunicationModel::kMaxRows + 5);
    ASSERT_EQ(Rows(), CommunicationModel::kMaxRows);
    EXPECT_EQ(m_window.Model().Cell(0, CommunicationModel::kTime), "0.005 s");
    EXPECT_EQ(m_window.Model().Cell(Rows() - 1, CommunicationModel::kTime), "10.004 s");
}

TEST_F(CommunicationTest, TimesCountFromAttachingAndAWindowGoneIsNoLongerTold) {
    kt::drive::VirtualDrive drive;
    kt::link::FrmMotorCom link(m_prompts, [&](int n) {
        return n == 1 ? std::make_unique<kt::drive::VirtualDriveTransport>(drive) : nullptr;
    });
    ASSERT_EQ(link.OpenPort(), 1);
    auto window = std::make_unique<FrmCommunication>(m_prompts);
    window->Attach(link);
    window->Observe(Event(Kind::Request, link.Elapsed() + 1500));
    EXPECT_GE(window->Model().Cell(0, CommunicationModel::kTime).chopped(2).toDouble(), 1.5);
    window.reset();
    QByteArray data;
    EXPECT_EQ(link.SendPacket(kt::drivemap::kAccess,
                              kt::drivemap::Address(kt::drivemap::Id::Identification), 1, data),
              kt::link::kSent);
}

} // namespace
