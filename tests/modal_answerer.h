// Answers the real message boxes that the code under test opens, as a user
// would: a timer looks at the topmost modal box and presses the button a rule
// names for its text, once the rule's condition holds. Boxes open on top of
// each other exactly as in the application. A box that no rule expects is
// recorded as unexpected and closed with its escape button, so nothing waits
// forever. Not a prompt double: the dialogs are the application's own.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

namespace kt::test {

class ModalAnswerer : public QObject {
public:
    using Condition = std::function<bool()>;

    ModalAnswerer() {
        connect(&m_poll, &QTimer::timeout, this, &ModalAnswerer::Poll);
        m_poll.start(2);
    }

    // Boxes whose text starts with `text` are answered with `button`, once
    // `ready` holds (at once when it is empty); `then` runs after the click.
    void Answer(const QString& text, QMessageBox::StandardButton button, Condition ready = {},
                std::function<void()> then = {}) {
        m_rules.push_back({text, button, std::move(ready), std::move(then)});
    }
    // Boxes whose text starts with `text` get this key, as a user presses
    // it; key 0 closes the box as the window's close button does.
    void Press(const QString& text, int key) {
        m_rules.push_back({text, QMessageBox::NoButton, {}, {}, key});
    }
    // Runs while a box with this text is the topmost, before any rule
    // answers it, once per box: what a user or the line does meanwhile.
    void WhileShown(const QString& text, std::function<void()> action) {
        m_actions.emplace_back(text, std::move(action));
    }

    const std::vector<QString>& Shown() const { return m_shown; }
    const std::vector<QString>& Unexpected() const { return m_unexpected; }
    int Count(const QString& text) const {
        return int(std::count_if(m_shown.begin(), m_shown.end(),
                                 [&](const QString& shown) { return shown.startsWith(text); }));
    }

private:
    struct Rule {
        QString text;
        QMessageBox::StandardButton button;
        Condition ready;
        std::function<void()> then;
        std::optional<int> key = {};
    };

    void Poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        if (!m_seen.contains(box)) {
            m_seen.push_back(box);
            m_shown.push_back(box->text());
            for (const auto& [text, action] : m_actions) {
                if (box->text().startsWith(text)) {
                    action();
                    return; // the box may be covered now; look again next tick
                }
            }
        }
        for (const Rule& rule : m_rules) {
            if (!box->text().startsWith(rule.text))
                continue;
            if (rule.ready && !rule.ready())
                return;
            if (rule.key == 0)
                box->close();
            else if (rule.key) // to the focused button, as a key goes; it passes the key up
                QTest::keyClick(box->focusWidget() ? box->focusWidget() : box,
                                static_cast<Qt::Key>(*rule.key));
            else if (QAbstractButton* button = box->button(rule.button)) {
                const auto then = rule.then;
                button->click();
                if (then)
                    then();
            } else
                continue;
            return;
        }
        m_unexpected.push_back(box->text());
        if (QAbstractButton* escape = box->escapeButton())
            escape->click();
        else
            box->reject();
    }

    QTimer m_poll;
    std::vector<Rule> m_rules;
    std::vector<std::pair<QString, std::function<void()>>> m_actions;
    QList<QPointer<QMessageBox>> m_seen;
    std::vector<QString> m_shown;
    std::vector<QString> m_unexpected;
};

} // namespace kt::test
