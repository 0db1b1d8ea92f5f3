// What a screen reader finds in a window: its controls without a name, and
// the announcements made while a spy listens. Test-only.
#pragma once

#include "platform/announce.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <algorithm>
#include <array>
#include <utility>

namespace kt::test {

// Controls a user acts on; scroll bars and item cells are named by their
// owners.
inline bool Interactive(QAccessible::Role role) {
    static constexpr std::array kRoles = {
        QAccessible::PushButton, QAccessible::CheckBox,       QAccessible::RadioButton,
        QAccessible::ComboBox,   QAccessible::EditableText,   QAccessible::SpinBox,
        QAccessible::Slider,     QAccessible::Dial,           QAccessible::List,
        QAccessible::Table,      QAccessible::Tree,           QAccessible::PageTab,
        QAccessible::ButtonMenu, QAccessible::ButtonDropDown, QAccessible::Link};
    return std::find(kRoles.begin(), kRoles.end(), role) != kRoles.end();
}

inline void CollectUnnamed(QAccessibleInterface* node, QStringList& unnamed, int depth = 0) {
    if (!node || depth > 64 || node->state().invisible)
        return;
    if (Interactive(node->role()) && node->text(QAccessible::Name).trimmed().isEmpty()) {
        QObject* object = node->object();
        unnamed << QStringLiteral("%1 %2 \"%3\" (role %4)")
                       .arg(object ? QString::fromLatin1(object->metaObject()->className())
                                   : QStringLiteral("?"),
                            object ? object->objectName() : QString(),
                            node->text(QAccessible::Value))
                       .arg(static_cast<int>(node->role()));
    }
    for (int i = 0; i < node->childCount(); ++i)
        CollectUnnamed(node->child(i), unnamed, depth + 1);
}

// Each unnamed control of a shown window, with its class, object name and
// value, so a failure says which.
inline QStringList UnnamedControls(QWidget* window) {
    QStringList unnamed;
    CollectUnnamed(QAccessible::queryAccessibleInterface(window), unnamed);
    return unnamed;
}

// The announcements made while it lives, in order.
class AnnouncementSpy {
public:
    AnnouncementSpy() {
        m_previous = platform::SetAnnouncementListener(
            [this](QWidget*, const QString& text) { m_texts << text; });
    }
    ~AnnouncementSpy() { platform::SetAnnouncementListener(std::move(m_previous)); }
    AnnouncementSpy(const AnnouncementSpy&) = delete;
    AnnouncementSpy& operator=(const AnnouncementSpy&) = delete;

    const QStringList& Texts() const { return m_texts; }

private:
    QStringList m_texts;
    platform::AnnouncementListener m_previous;
};

} // namespace kt::test
