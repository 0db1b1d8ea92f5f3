// Interrupt, hang-up and terminate as an event of the event loop: whatever
// waits there ends as on any other event, and the program winds down through
// its destructors (the port closed, a link removed). One per command that
// waits; not a general signal library.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace kt::cli {

class Interruption : public QObject {
    Q_OBJECT

public:
    Interruption();
    bool Interrupted() const { return m_interrupted; }
    // Waits up to ms, or until interrupted.
    void Wait(long long ms);

signals:
    void interrupted();

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_interrupted = false;
};

} // namespace kt::cli
