// The Monitor window against a drive that paces its bytes as a 19200-baud
// line does (0.573 ms a byte): the share of the reads per second the line
// allows, how often the plots are drawn, and how late a 10 ms timer of the
// user's fires meanwhile (the application's responsiveness); and with a
// device window's read clicked every 200 ms on top: the share of the line's
// byte rate both use together, and how soon each click's read is answered,
// in exchange times (a user's read waits at most for the monitoring read on
// the wire, so two at most).
#include "device/frm_device.h"
#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"
#include "drivemap/drive_catalogue.h"
#include "link/frm_motor_com.h"
#include "link/port_directory.h"
#include "monitor/frm_monitor.h"
#include "platform/scripted_prompts.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <vector>

using namespace kt;

namespace {

constexpr std::chrono::nanoseconds kByteTime = kt::drive::VirtualDriveTransport::kLineByteTime;

// A Monitor window reading BusVolt, status and inputs from a drive paced as
// the real line.
struct PacedMonitor {
    drive::VirtualDrive drive;
    platform::ScriptedPrompts prompts;
    link::PortDirectory ports{QStringList{QStringLiteral("/nonexistent/kt-no-port")}};
    link::FrmMotorCom com{prompts, [this](int n) { return ports.Create(n); }};
    monitor::FrmMonitor window{com, ports, prompts};

    PacedMonitor() {
        drive.SetMotorModel(false);
        ports.AddPort(QStringLiteral("paced-drive"), [this] {
            auto port = std::make_unique<drive::VirtualDriveTransport>(drive);
            port->SetByteTime(kByteTime);
            return port;
        });
        window.resize(1200, 700);
        window.show();
    }
    // Starts monitoring; false, with the benchmark told why, when it cannot.
    bool Start(benchmark::State& state) {
        if (!window.Choose(QStringList{QStringLiteral("BusVolt"), QStringLiteral("MotorEnable"),
                                       QStringLiteral("Fault"), QStringLiteral("Input.0"),
                                       QStringLiteral("Input.1")})) {
            state.SkipWithError("a name the Monitor does not know");
            return false;
        }
        window.Start();
        if (!window.Session().Running()) {
            state.SkipWithError("no drive");
            return false;
        }
        return true;
    }
};

void BM_MonitorWindowAtLineSpeed(benchmark::State& state) {
    PacedMonitor paced;
    if (!paced.Start(state))
        return;
    monitor::FrmMonitor& window = paced.window;
    // A 2-byte read is 11 bytes on the line, a 1-byte read 10: 31 a round.
    constexpr double kRoundBytes = 11 + 10 + 10;
    double seconds = 0, reads = 0, paints = 0, worstLateMs = 0;
    for (auto _ : state) {
        const qint64 reads0 = window.Session().Reads();
        const qint64 paints0 = window.Plot().PaintCount();
        QElapsedTimer clock, tick;
        clock.start();
        tick.start();
        QTimer user;
        user.setTimerType(Qt::PreciseTimer);
        QObject::connect(&user, &QTimer::timeout, &window, [&] {
            worstLateMs =
                std::max(worstLateMs, static_cast<double>(tick.nsecsElapsed()) / 1e6 - 10);
            tick.restart();
        });
        user.start(10);
        QEventLoop loop;
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        loop.exec();
        const double elapsed = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        state.SetIterationTime(elapsed);
        seconds += elapsed;
        reads += static_cast<double>(window.Session().Reads() - reads0);
        paints += static_cast<double>(window.Plot().PaintCount() - paints0);
    }
    window.Pause();
    const double wireReadsPerSecond =
        3.0 / (kRoundBytes * std::chrono::duration<double>(kByteTime).count());
    state.counters["reads_per_s"] = reads / seconds;
    state.counters["of_wire"] = reads / seconds / wireReadsPerSecond;
    state.counters["paints_per_s"] = paints / seconds;
    state.counters["worst_late_ms"] = worstLateMs;
}
BENCHMARK(BM_MonitorWindowAtLineSpeed)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

// Counts the bytes that cross the line, both ways.
struct WireBytes : link::LinkObserver {
    double bytes = 0;
    void Observe(const link::LinkEvent& event) override {
        using Kind = link::LinkEvent::Kind;
        if (event.kind == Kind::Request || event.kind == Kind::Resend || event.kind == Kind::Reply)
            bytes += static_cast<double>(event.bytes.size());
    }
};

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void BM_MonitorWithDeviceClicks(benchmark::State& state) {
    PacedMonitor paced;
    paced.drive.SetDataWord(drivemap::Address(drivemap::Id::AccelerationRate), 123); // 12.3
    if (!paced.Start(state))
        return;
    monitor::FrmMonitor& window = paced.window;
    link::FrmMotorCom& com = paced.com;
    platform::ScriptedPrompts& prompts = paced.prompts;
    device::FrmDevice device(com, prompts, nullptr);
    WireBytes wire;
    com.AddObserver(&wire);
    // The user's read: 7 bytes out, 4 back.
    const double exchangeMs = 11 * std::chrono::duration<double, std::milli>(kByteTime).count();
    double seconds = 0, bytes = 0, reads = 0;
    std::vector<double> waits; // click to answer, in exchange times
    int failed = 0;
    for (auto _ : state) {
        const double bytes0 = wire.bytes;
        const qint64 reads0 = window.Session().Reads();
        QElapsedTimer clock;
        clock.start();
        QTimer clicks;
        clicks.setTimerType(Qt::PreciseTimer);
        QObject::connect(&clicks, &QTimer::timeout, &device, [&] {
            device.TxtPara(0)->clear();
            QElapsedTimer click;
            click.start();
            device.CmdRead_Click(0);
            waits.push_back(static_cast<double>(click.nsecsElapsed()) / 1e6 / exchangeMs);
            failed += device.TxtPara(0)->text() != QStringLiteral("12.3");
        });
        clicks.start(200);
        QEventLoop loop;
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        loop.exec();
        clicks.stop();
        const double elapsed = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        state.SetIterationTime(elapsed);
        seconds += elapsed;
        bytes += wire.bytes - bytes0;
        reads += static_cast<double>(window.Session().Reads() - reads0);
    }
    window.Pause();
    com.RemoveObserver(&wire);
    const double lineBytesPerSecond = 1.0 / std::chrono::duration<double>(kByteTime).count();
    state.counters["of_wire"] = bytes / seconds / lineBytesPerSecond;
    state.counters["monitor_reads_per_s"] = reads / seconds;
    state.counters["clicks"] = static_cast<double>(waits.size());
    state.counters["click_wait_median_x"] = Median(waits);
    state.counters["click_wait_max_x"] =
        waits.empty() ? 0 : *std::max_element(waits.begin(), waits.end());
    state.counters["clicks_within_2x"] =
        waits.empty() ? 0
                      : static_cast<double>(std::count_if(waits.begin(), waits.end(),
                                                          [](double x) { return x <= 2; })) /
                            static_cast<double>(waits.size());
    state.counters["clicks_failed"] = failed;
}
BENCHMARK(BM_MonitorWithDeviceClicks)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

} // namespace
