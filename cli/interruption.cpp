#include "cli/interruption.h"

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <csignal>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace kt::cli {

namespace {

#ifdef Q_OS_UNIX
// A signal handler may only write; the event loop reads the other end.
int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}
#endif

} // namespace

Interruption::Interruption() {
#ifdef Q_OS_UNIX
    if (g_signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(g_signalPipe[0], &byte, 1);
        m_interrupted = true;
        emit interrupted();
    });
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGHUP, OnSignal);
#endif
}

void Interruption::Wait(long long ms) {
    if (m_interrupted || ms <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(std::chrono::milliseconds(ms), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    connect(this, &Interruption::interrupted, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace kt::cli
