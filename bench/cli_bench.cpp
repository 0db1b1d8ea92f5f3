// The command line's reads: the software's own time per read (against an
// in-process virtual drive that answers at once), and how much of the line
// the monitor uses against a drive that paces its bytes as a 19200-baud line
// does (0.573 ms a byte; a 2-byte read is 11 bytes, 6.3 ms).
#include "cli/value_reads.h"
#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"
#include "link/cls_kt_motor.h"
#include "link/frm_motor_com.h"
#include "platform/scripted_prompts.h"

#include <benchmark/benchmark.h>

#include <chrono>

using namespace kt;

namespace {

constexpr std::chrono::nanoseconds kByteTime{573'000};

struct Drive {
    explicit Drive(std::chrono::nanoseconds byteTime = {}) {
        com = std::make_unique<link::FrmMotorCom>(prompts, [this, byteTime](int n) {
            std::unique_ptr<drive::VirtualDriveTransport> port;
            if (n == 1) {
                port = std::make_unique<drive::VirtualDriveTransport>(drive);
                port->SetByteTime(byteTime);
            }
            return port;
        });
        motor = std::make_unique<link::ClsKtMotor>(*com, prompts);
    }
    drive::VirtualDrive drive;
    platform::ScriptedPrompts prompts;
    std::unique_ptr<link::FrmMotorCom> com;
    std::unique_ptr<link::ClsKtMotor> motor;
};

cli::ValueReads Reads(const std::vector<std::string>& names) {
    std::string error;
    int result = 0;
    return *cli::ValueReads::Parse(names, error, result);
}

void RunReads(benchmark::State& state, const std::vector<std::string>& names,
              std::chrono::nanoseconds byteTime) {
    Drive drive(byteTime);
    const cli::ValueReads reads = Reads(names);
    if (drive.motor->OpenPort() != 1) {
        state.SkipWithError("no drive");
        return;
    }
    std::vector<cli::ValueLine> lines;
    for (auto _ : state) {
        lines.clear();
        if (reads.Run(*drive.motor, lines) != link::kSent)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(lines.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(reads.Size()));
}

// One read at a time, and the left Read All's eleven.
void BM_ReadOneValue(benchmark::State& state) {
    RunReads(state, {"bus-volt"}, {});
}
BENCHMARK(BM_ReadOneValue)->Unit(benchmark::kMicrosecond);

void BM_ReadAll(benchmark::State& state) {
    RunReads(state, {"all"}, {});
}
BENCHMARK(BM_ReadAll)->Unit(benchmark::kMicrosecond);

// Monitor rounds of one 2-byte value at line speed; "of_wire" is the share of
// the rounds per second the line allows.
void BM_MonitorAtLineSpeed(benchmark::State& state) {
    RunReads(state, {"bus-volt"}, kByteTime);
    const double wireRound = 11 * std::chrono::duration<double>(kByteTime).count();
    state.counters["of_wire"] =
        benchmark::Counter(wireRound, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_MonitorAtLineSpeed)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace
