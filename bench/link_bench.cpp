// The link's own time per exchange, against a virtual drive on a
// pseudo-terminal in this process: a pty has no baud rate, so what is
// measured is the software, plus the one-character margin after each drain.
#include "drive/pty_drive_server.h"
#include "drive/virtual_drive.h"
#include "link/frm_motor_com.h"
#include "link/port_directory.h"
#include "platform/scripted_prompts.h"

#include <benchmark/benchmark.h>

using namespace kt;

namespace {

struct Line {
    drive::VirtualDrive drive;
    drive::PtyDriveServer server{drive};
    platform::ScriptedPrompts prompts;
    std::unique_ptr<link::PortDirectory> directory;
    std::unique_ptr<link::FrmMotorCom> com;

    bool Start() {
        QString error;
        if (!server.Start(&error))
            return false;
        directory = std::make_unique<link::PortDirectory>(QStringList{server.DevicePath()});
        com = std::make_unique<link::FrmMotorCom>(prompts,
                                                  [this](int n) { return directory->Create(n); });
        return com->OpenPort() == 1;
    }
};

void BM_ReadTwoBytes(benchmark::State& state) {
    Line line;
    if (!line.Start()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    for (auto _ : state) {
        QByteArray data;
        if (line.com->SendPacket(0, 274, 2, data) != link::kSent)
            state.SkipWithError("exchange failed");
    }
}
BENCHMARK(BM_ReadTwoBytes)->Unit(benchmark::kMicrosecond);

void BM_DownloadImage(benchmark::State& state) {
    Line line;
    if (!line.Start()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    const QByteArray image(254, '\x43');
    for (auto _ : state) {
        QByteArray data = image;
        if (line.com->SendPacket(3, 0, 254, data, true) != link::kSent)
            state.SkipWithError("exchange failed");
    }
}
BENCHMARK(BM_DownloadImage)->Unit(benchmark::kMicrosecond);

} // namespace
