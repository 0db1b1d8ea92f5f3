// Ten minutes read far faster than a line allows: the history keeps all of
// them in bounded memory, reduced to buckets that keep every one-sample
// spike and dip, and the plot, its cursor and the CSV show what is kept.
#include "monitor/monitor_csv.h"
#include "monitor/plot_view.h"
#include "monitor/sample_history.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>

#include <algorithm>
#include <memory>
#include <vector>

using kt::monitor::MonitorCsv;
using kt::monitor::PlotView;
using kt::monitor::RecordedValue;
using kt::monitor::SampleHistory;

namespace {

constexpr qint64 kSpan = SampleHistory::kSpanMs;
// A sawtooth within +-0.5: every bucket spreads, and none but the spike's
// and the dip's comes near +-100.
double Baseline(qint64 msecs) {
    return static_cast<double>(msecs % 1000) / 1000.0 - 0.5;
}

TEST(SampleHistoryTest, KeepsTenMinutesInBoundedMemoryAtEveryRate) {
    // Neither tier's bound depends on the rate: the samples kept in full
    // stop at their count, the buckets at one per slot. Eleven minutes at
    // a thousand a second fill both; twenty seconds at 50,000 a second
    // fill the first and give exactly one bucket per slot folded.
    struct Case {
        qint64 stepMs;
        int perMs;
        qint64 fedMs;
        bool reduced;
    };
    const std::vector<Case> cases = {{1000, 1, kSpan + 60000, false},
                                     {5, 1, kSpan + 60000, false}, // 200/s: kept in full
                                     {1, 1, kSpan + 60000, true},
                                     {1, 50, 20000, true}};
    for (const Case& c : cases) {
        SampleHistory history;
        for (qint64 msecs = 0; msecs < c.fedMs; msecs += c.stepMs)
            for (int k = 0; k < c.perMs; ++k)
                history.Append(msecs, Baseline(msecs));
        const qint64 newest = history.LastMsecs();
        EXPECT_LE(history.MemoryBytes(), SampleHistory::kMaxBytes) << c.stepMs;
        EXPECT_LE(history.Size(), SampleHistory::kRawCapacity + SampleHistory::kMaxBuckets);
        EXPECT_EQ(history.Reduced(), c.reduced) << c.stepMs;
        if (c.fedMs > kSpan) {
            EXPECT_LE(SampleHistory::SlotStart(history.FirstMsecs()), newest - kSpan) << c.stepMs;
            EXPECT_GE(history.FirstMsecs(), newest - kSpan) << c.stepMs;
        } else {
            EXPECT_EQ(history.FirstMsecs(), SampleHistory::kBucketMs - 1);
            EXPECT_EQ(history.Samples(), c.fedMs * c.perMs);
            const qint64 folded = (SampleHistory::SlotStart(history.FullFromMsecs()) -
                                   SampleHistory::SlotStart(history.FirstMsecs())) /
                                  SampleHistory::kBucketMs;
            EXPECT_EQ(history.Size(), SampleHistory::kRawCapacity + folded + 1);
        }
    }
}

// Ten minutes and two seconds at 5,000 reads a second, fed once for every
// test below (a tenth of the rate above, so the tests stay quick: the
// reduced picture is the same): a sawtooth with a one-sample spike and a
// one-sample dip, and a bit read a thousand times a second with a
// one-sample pulse.
constexpr int kPerMs = 5;
constexpr qint64 kFedMs = kSpan + 2000;
constexpr qint64 kSpikeMs = 240000;
constexpr qint64 kDipMs = 360000;
constexpr qint64 kPulseMs = 300000;

class ReducedHistoryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_volts = std::make_unique<SampleHistory>();
        s_pulse = std::make_unique<SampleHistory>();
        for (qint64 msecs = 0; msecs < kFedMs; ++msecs) {
            const double value = Baseline(msecs);
            for (int k = 0; k < kPerMs; ++k) {
                const bool spike = msecs == kSpikeMs && k == 3;
                const bool dip = msecs == kDipMs && k == 1;
                s_volts->Append(msecs, spike ? 100.0 : dip ? -100.0 : value);
            }
            s_pulse->Append(msecs, msecs == kPulseMs ? 1.0 : 0.0);
        }
    }
    static void TearDownTestSuite() {
        s_volts.reset();
        s_pulse.reset();
    }

    static std::unique_ptr<SampleHistory> s_volts;
    static std::unique_ptr<SampleHistory> s_pulse;
};

std::unique_ptr<SampleHistory> ReducedHistoryTest::s_volts;
std::unique_ptr<SampleHistory> ReducedHistoryTest::s_pulse;

TEST_F(ReducedHistoryTest, KeepsTenMinutesAndEverySpikeInBoundedMemory) {
    const SampleHistory& volts = *s_volts;
    EXPECT_EQ(volts.Appended(), kFedMs * kPerMs);
    EXPECT_EQ(volts.LastMsecs(), kFedMs - 1);
    // The oldest kept is ten minutes back: its bucket reaches past the mark.
    EXPECT_LE(SampleHistory::SlotStart(volts.FirstMsecs()), volts.LastMsecs() - kSpan);
    EXPECT_GE(volts.FirstMsecs(), volts.LastMsecs() - kSpan);
    EXPECT_GE(volts.Samples(), kSpan * kPerMs);
    EXPECT_LE(volts.Size(), SampleHistory::kRawCapacity + SampleHistory::kMaxBuckets);
    EXPECT_LE(volts.MemoryBytes(), SampleHistory::kMaxBytes);
    EXPECT_LE(SampleHistory::kMaxBytes, 4 * 1024 * 1024);
    // The newest samples, as many as fit, stay as read.
    EXPECT_EQ(volts.LastMsecs() - volts.FullFromMsecs() + 1,
              SampleHistory::kRawCapacity / kPerMs + 1);
    EXPECT_FALSE(volts.Whole());

    struct Extreme {
        const char* what;
        qint64 msecs;
        double min;
        double max;
    };
    const std::vector<Extreme> extremes = {
        {"spike", kSpikeMs, Baseline(kSpikeMs), 100},
        {"dip", kDipMs, -100, Baseline(kDipMs + 19)},
        {"neither", kSpikeMs - 1000, Baseline(kSpikeMs - 1000), Baseline(kSpikeMs - 1000 + 19)},
    };
    for (const Extreme& e : extremes) {
        const int index = volts.IndexAt(e.msecs);
        ASSERT_GE(index, 0) << e.what;
        const SampleHistory::Sample bucket = volts.At(index);
        EXPECT_EQ(SampleHistory::SlotStart(bucket.msecs), SampleHistory::SlotStart(e.msecs))
            << e.what;
        EXPECT_EQ(bucket.count, SampleHistory::kBucketMs * kPerMs) << e.what;
        EXPECT_DOUBLE_EQ(bucket.min, e.min) << e.what;
        EXPECT_DOUBLE_EQ(bucket.max, e.max) << e.what;
    }
}

// The blue of the first trace, also where a thin line blends it with the
// white base.
bool IsFirstTrace(QRgb pixel) {
    return qBlue(pixel) - qRed(pixel) > 60;
}
bool IsSecondTrace(QRgb pixel) {
    return pixel == PlotView::TraceColor(1).rgb();
}

// Per column of an image, the topmost and bottommost row of the pixels a
// test picks; -1 where there are none.
struct Rows {
    std::vector<int> top;
    std::vector<int> bottom;
    std::vector<int> count;
};
template <typename Pick> Rows ScanColumns(const QImage& image, int fromY, int toY, Pick pick) {
    Rows rows{std::vector<int>(static_cast<size_t>(image.width()), -1),
              std::vector<int>(static_cast<size_t>(image.width()), -1),
              std::vector<int>(static_cast<size_t>(image.width()), 0)};
    for (int y = fromY; y < toY; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!pick(image.pixel(x, y)))
                continue;
            const auto c = static_cast<size_t>(x);
            if (rows.top[c] < 0)
                rows.top[c] = y;
            rows.bottom[c] = y;
            ++rows.count[c];
        }
    }
    return rows;
}

class ReducedPlotTest : public ReducedHistoryTest {
protected:
    ReducedPlotTest() {
        m_view.SetTraces(
            {{"Volts", "V", false, s_volts.get(), {}, "V"}, {"Pulse", "", true, s_pulse.get()}});
        m_view.resize(900, 500);
        m_view.show();
    }
    // Without the cursor, whose box shows the traces' colours.
    QImage Picture() {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&m_view, &leave);
        return m_view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    // The time under column x, as the cursor reads it.
    qint64 TimeAtColumn(int x) {
        const QPointF at(x, 60);
        QMouseEvent move(QEvent::MouseMove, at, m_view.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&m_view, &move);
        return m_view.CursorMsecs().value_or(-1);
    }
    // The columns between the value axis and the legend, away from the
    // newest samples at the right.
    static constexpr int kFromX = 150;
    static constexpr int kToX = 650;
    // Between the value plot above and the bit lane below.
    int SplitY() const {
        const PlotView::Layout layout = m_view.Geometry();
        return static_cast<int>(layout.plots[0].bottom() + layout.plots[1].top()) / 2;
    }

    PlotView m_view;
};

TEST_F(ReducedPlotTest, TenMinutesShowTheSpikeTheDipAndThePulse) {
    m_view.SetVisibleSpan(kSpan);
    const QImage image = Picture();
    const Rows volts = ScanColumns(image, 0, SplitY(), IsFirstTrace);
    int highest = -1, lowest = -1;
    std::vector<int> tops;
    for (int x = kFromX; x < kToX; ++x) {
        const auto c = static_cast<size_t>(x);
        if (volts.top[c] < 0)
            continue;
        tops.push_back(volts.top[c]);
        if (highest < 0 || volts.top[c] < volts.top[static_cast<size_t>(highest)])
            highest = x;
        if (lowest < 0 || volts.bottom[c] > volts.bottom[static_cast<size_t>(lowest)])
            lowest = x;
    }
    ASSERT_GT(tops.size(), 400u);
    std::nth_element(tops.begin(), tops.begin() + static_cast<long>(tops.size() / 2), tops.end());
    const int usual = tops[tops.size() / 2];
    // The spike climbs from the band in the middle to near the top, the
    // dip falls as far, each in the column of its time.
    EXPECT_LT(volts.top[static_cast<size_t>(highest)], usual - 100);
    EXPECT_GT(volts.bottom[static_cast<size_t>(lowest)], usual + 100);
    const qint64 perColumn = kSpan / 700 + 1;
    EXPECT_NEAR(TimeAtColumn(highest), kSpikeMs, 2 * perColumn);
    EXPECT_NEAR(TimeAtColumn(lowest), kDipMs, 2 * perColumn);

    // The one column where the bit is 1 as well as 0 spans its lane from 0 to 1.
    const Rows pulse = ScanColumns(image, SplitY(), image.height(), IsSecondTrace);
    const auto tallest = std::max_element(pulse.count.begin() + kFromX, pulse.count.begin() + kToX);
    const int pulseX = static_cast<int>(tallest - pulse.count.begin());
    EXPECT_GT(*tallest, m_view.Geometry().plots[1].height() / 2);
    EXPECT_LE(pulse.count[static_cast<size_t>(pulseX) - 20], 3);
    EXPECT_NEAR(TimeAtColumn(pulseX), kPulseMs, 2 * perColumn);
}

TEST_F(ReducedPlotTest, ZoomedIntoBucketsTheSpikeIsAnUprightSpan) {
    // Two seconds: a hundred buckets, each drawn on its own.
    m_view.SetVisibleSpan(2000);
    m_view.ShowUntil(kSpikeMs + 1000);
    const QImage image = Picture();
    const Rows volts = ScanColumns(image, 0, SplitY(), IsFirstTrace);
    int highest = kFromX;
    for (int x = kFromX; x < kToX; ++x) {
        const auto c = static_cast<size_t>(x);
        if (volts.top[c] >= 0 && (volts.top[static_cast<size_t>(highest)] < 0 ||
                                  volts.top[c] < volts.top[static_cast<size_t>(highest)]))
            highest = x;
    }
    const auto at = static_cast<size_t>(highest);
    ASSERT_GE(volts.top[at], 0);
    // Up to 100 and down to the sawtooth again, in one column.
    EXPECT_GT(volts.bottom[at] - volts.top[at], 150);
    EXPECT_LE(volts.bottom[at + 8] - volts.top[at + 8], 20);
    EXPECT_NEAR(TimeAtColumn(highest), kSpikeMs, SampleHistory::kBucketMs + 2000 / 700 + 1);

    // Just after the spike's bucket the spike, off to the left, leaves the
    // scale to the sawtooth, which fills the plot's height.
    m_view.ShowUntil(SampleHistory::SlotStart(kSpikeMs) + SampleHistory::kBucketMs + 2000);
    const Rows after = ScanColumns(Picture(), 0, SplitY(), IsFirstTrace);
    int top = SplitY(), bottom = 0;
    for (int x = kFromX; x < kToX; ++x) {
        const auto c = static_cast<size_t>(x);
        if (after.top[c] >= 0) {
            top = std::min(top, after.top[c]);
            bottom = std::max(bottom, after.bottom[c]);
        }
    }
    EXPECT_GT(bottom - top, 200);
}

TEST_F(ReducedPlotTest, CursorShowsTheBucketsLastValueAndItsExtremes) {
    const double last = Baseline(SampleHistory::SlotStart(kSpikeMs) + SampleHistory::kBucketMs - 1);
    const QString expected = QStringLiteral("Volts = %1 V (min %2, max 100)")
                                 .arg(kt::monitor::MonitorValueText(last, false),
                                      kt::monitor::MonitorValueText(Baseline(kSpikeMs), false));
    EXPECT_EQ(m_view.CursorValues(kSpikeMs), (QStringList{expected, "Pulse = 0 (min 0, max 0)"}));
    // Kept in full: just the value.
    const qint64 newest = s_volts->LastMsecs();
    EXPECT_EQ(m_view.CursorValues(newest).front(),
              "Volts = " + kt::monitor::MonitorValueText(Baseline(newest), false) + " V");
}

TEST_F(ReducedHistoryTest, CsvCarriesTheSpikeAndTheDip) {
    const QByteArray csv = MonitorCsv({{*kt::drivemap::Find("BusVolt"), s_volts.get()}});
    EXPECT_TRUE(csv.startsWith("time [s],BusVolt [V],BusVolt min [V],BusVolt max [V]\r\n"));
    // Times from the oldest kept: its bucket's last sample.
    auto at = [&](qint64 msecs) {
        const qint64 row =
            SampleHistory::SlotStart(msecs) + SampleHistory::kBucketMs - 1 - s_volts->FirstMsecs();
        return QByteArray::number(row / 1000) + '.' +
               QByteArray::number(row % 1000).rightJustified(3, '0');
    };
    EXPECT_EQ(csv.count(",100\r\n"), 1);
    EXPECT_TRUE(csv.contains('\n' + at(kSpikeMs) + ",-0.481,-0.5,100\r\n"));
    EXPECT_EQ(csv.count(",-100,"), 1);
    EXPECT_TRUE(csv.contains('\n' + at(kDipMs) + ",-0.481,-100,-0.481\r\n"));
    // The newest row, kept in full, has no extremes.
    EXPECT_TRUE(csv.endsWith(",0.499,,\r\n"));
}

TEST(MonitorCsvTest, ReducedRowsCarryMinAndMax) {
    // Kept in full: 30 and 31. Folded: 0, 5, 10 into one bucket, 25 alone.
    SampleHistory volts(2);
    for (const auto& [msecs, value] : std::vector<std::pair<qint64, double>>{
             {0, 1}, {5, 9}, {10, -2}, {25, 4}, {30, 5}, {31, 6}})
        volts.Append(msecs, value);
    // A bucket and a sample kept in full at one time: one row.
    SampleHistory amps(1);
    for (const double value : {3.0, 7.0, 5.0})
        amps.Append(40, value);
    SampleHistory input;
    input.Append(10, 1);
    input.Append(31, 0);
    const std::vector<RecordedValue> values = {{*kt::drivemap::Find("BusVolt"), &volts},
                                               {*kt::drivemap::Find("Input.0"), &input},
                                               {*kt::drivemap::Find("MotorCurrent"), &amps}};
    EXPECT_EQ(MonitorCsv(values),
              QByteArray("time [s],BusVolt [V],BusVolt min [V],BusVolt max [V],Input.0,"
                         "MotorCurrent [A],MotorCurrent min [A],MotorCurrent max [A]\r\n"
                         "0.000,-2,-2,9,1,,,\r\n"
                         "0.015,4,,,,,,\r\n"
                         "0.020,5,,,,,,\r\n"
                         "0.021,6,,,0,,,\r\n"
                         "0.030,,,,,5,3,7\r\n"));
}

} // namespace
