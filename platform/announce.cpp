#include "platform/announce.h"

#include <QAccessible>
#include <QWidget>

#include <utility>

namespace kt::platform {

namespace {

AnnouncementListener& Listener() {
    static AnnouncementListener listener;
    return listener;
}

} // namespace

void Announce(QWidget* where, const QString& text) {
    if (!where)
        return;
    where->setAccessibleDescription(text);
    QAccessibleEvent alert(where, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
    if (Listener())
        Listener()(where, text);
}

AnnouncementListener SetAnnouncementListener(AnnouncementListener listener) {
    return std::exchange(Listener(), std::move(listener));
}

} // namespace kt::platform
