#include "platform/text_zoom.h"

#include "platform/app_settings.h"

#include <QAction>
#include <QFont>
#include <QKeySequence>
#include <QWidget>

#include <algorithm>
#include <cstdlib>

namespace kt::platform {

namespace {

const QString kKey = QStringLiteral("View/TextZoom");

int NearestStep(int percent) {
    return *std::min_element(TextZoom::kSteps.begin(), TextZoom::kSteps.end(), [&](int a, int b) {
        return std::abs(a - percent) < std::abs(b - percent);
    });
}

} // namespace

TextZoom& TextZoom::Instance() {
    static TextZoom* zoom = new TextZoom; // lives as long as the program
    return *zoom;
}

TextZoom::TextZoom() {
    bool ok = false;
    const int stored = AppSettings::Value(kKey, kNormal).toInt(&ok);
    m_percent = ok ? NearestStep(stored) : kNormal;
}

void TextZoom::SetPercent(int percent) {
    percent = NearestStep(percent);
    if (percent == m_percent)
        return;
    m_percent = percent;
    AppSettings::SetValue(kKey, percent);
    emit changed(percent);
}

void TextZoom::ZoomIn() {
    const auto next = std::upper_bound(kSteps.begin(), kSteps.end(), m_percent);
    if (next != kSteps.end())
        SetPercent(*next);
}

void TextZoom::ZoomOut() {
    const auto at = std::lower_bound(kSteps.begin(), kSteps.end(), m_percent);
    if (at != kSteps.begin())
        SetPercent(*(at - 1));
}

void TextZoom::Follow(QWidget* widget) {
    const QFont base = widget->font();
    const auto apply = [widget, base](int percent) {
        QFont font = base;
        if (base.pointSizeF() > 0)
            font.setPointSizeF(base.pointSizeF() * percent / kNormal);
        else
            font.setPixelSize(std::max(1, base.pixelSize() * percent / kNormal));
        widget->setFont(font);
    };
    apply(m_percent);
    connect(this, &TextZoom::changed, widget, apply);
}

QList<QAction*> TextZoom::AddActions(QWidget* window) {
    const auto add = [&](const QString& text, QList<QKeySequence> keys, void (TextZoom::*slot)()) {
        auto* action = new QAction(text, window);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, slot);
        window->addAction(action);
        return action;
    };
    return {
        add(QStringLiteral("Zoom In"),
            {QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::CTRL | Qt::Key_Plus)},
            &TextZoom::ZoomIn),
        add(QStringLiteral("Zoom Out"), {QKeySequence(Qt::CTRL | Qt::Key_Minus)},
            &TextZoom::ZoomOut),
        add(QStringLiteral("Normal Size"), {QKeySequence(Qt::CTRL | Qt::Key_0)}, &TextZoom::Reset)};
}

} // namespace kt::platform
