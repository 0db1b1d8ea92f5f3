// Results the user did not ask to have read out (a compile result, a failed
// line, a finished download, a stopped monitor) told to assistive
// technology from the widget that shows them: the text becomes its
// accessible description and an alert is raised there. Shows nothing: the
// caller still puts the text where it is shown today. Costs nothing while
// no assistive technology listens.
// Qt passes the alert on only while a screen reader is connected, so a
// listener set here hears every announcement as well (tests, a log).
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace kt::platform {

void Announce(QWidget* where, const QString& text);

using AnnouncementListener = std::function<void(QWidget* where, const QString& text)>;
// Replaces the listener; an empty one removes it. Returns the one before.
AnnouncementListener SetAnnouncementListener(AnnouncementListener listener);

} // namespace kt::platform
