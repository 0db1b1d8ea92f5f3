// A signal object for the command line's interruption (Ctrl+C), so that a
// wait can end on it. Its own header because moc must see it.
#pragma once

#include <QObject>

namespace kt::cli {

class InterruptSignal : public QObject {
    Q_OBJECT

signals:
    void Interrupted();
};

} // namespace kt::cli
