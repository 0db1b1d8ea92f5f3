#include "simulator/lamp.h"

namespace kt::simulator {

Lamp::Lamp(const QString& name, QWidget* parent) : QLabel(parent), m_name(name) {
    setTextFormat(Qt::RichText);
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(name);
    Show();
}

void Lamp::SetOn(bool on) {
    if (on == m_on)
        return;
    m_on = on;
    Show();
}

void Lamp::SetForced(bool forced) {
    if (forced == m_forced)
        return;
    m_forced = forced;
    Show();
}

// Lit and dark differ in shape as well as colour, for those who cannot tell
// green from grey.
void Lamp::Show() {
    setText(QStringLiteral("<span style=\"color:%1\">%2</span>&nbsp;%3")
                .arg(m_on ? QStringLiteral("#1f9d2f") : QStringLiteral("#8a8a8a"),
                     m_on ? QStringLiteral("\u25CF") : QStringLiteral("\u25CB"),
                     (m_forced ? m_name + QStringLiteral(" (F)") : m_name).toHtmlEscaped()));
    setToolTip(m_forced ? QStringLiteral("Forced: the program's writes have no effect")
                        : QString());
    setAccessibleDescription(QLatin1String(m_on ? "on" : "off") +
                             QLatin1String(m_forced ? ", forced" : ""));
}

} // namespace kt::simulator
