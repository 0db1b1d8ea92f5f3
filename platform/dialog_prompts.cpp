#include "platform/dialog_prompts.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include <utility>
#include <vector>

namespace kt::platform {

namespace {

using Pair = std::pair<Answer, QMessageBox::StandardButton>;

std::vector<Pair> ButtonsOf(Buttons buttons) {
    switch (buttons) {
    case Buttons::Ok:
        return {{Answer::Ok, QMessageBox::Ok}};
    case Buttons::OkCancel:
        return {{Answer::Ok, QMessageBox::Ok}, {Answer::Cancel, QMessageBox::Cancel}};
    case Buttons::YesNo:
        return {{Answer::Yes, QMessageBox::Yes}, {Answer::No, QMessageBox::No}};
    case Buttons::YesNoCancel:
        return {{Answer::Yes, QMessageBox::Yes},
                {Answer::No, QMessageBox::No},
                {Answer::Cancel, QMessageBox::Cancel}};
    case Buttons::RetryCancel:
        return {{Answer::Retry, QMessageBox::Retry}, {Answer::Cancel, QMessageBox::Cancel}};
    }
    return {{Answer::Ok, QMessageBox::Ok}};
}

QMessageBox::Icon IconOf(Icon icon) {
    switch (icon) {
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::Exclamation:
        return QMessageBox::Warning;
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// "KtVbM (*.KtVbM)|*.KtVbM|AllFile (*.*)|*.*" as Qt writes filters.
QString QtFilter(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        entries << (description.contains(u'(')
                        ? description
                        : description + QStringLiteral(" (") + parts[i + 1] + QStringLiteral(")"));
    }
    return entries.join(QStringLiteral(";;"));
}

} // namespace

QString DialogPrompts::OpenFileName(const FileRequest& request) {
    return QFileDialog::getOpenFileName(m_parent, request.title, request.initialFile,
                                        QtFilter(request.filter));
}

QString DialogPrompts::SaveFileName(const FileRequest& request) {
    return SaveFileChoice(request).path;
}

FileChoice DialogPrompts::SaveFileChoice(const FileRequest& request) {
    QFileDialog dialog(m_parent, request.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    const QStringList filters = request.filter.isEmpty()
                                    ? QStringList()
                                    : QtFilter(request.filter).split(QStringLiteral(";;"));
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    const QFileInfo initial(request.initialFile);
    dialog.setDirectory(initial.absolutePath());
    dialog.selectFile(initial.fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return {.path = dialog.selectedFiles().constFirst(),
            .filterIndex = static_cast<int>(filters.indexOf(dialog.selectedNameFilter()))};
}

Answer DialogPrompts::Message(const MessageRequest& request) {
    QMessageBox box(IconOf(request.icon), request.title, request.text, QMessageBox::NoButton,
                    m_parent);
    const std::vector<Pair> buttons = ButtonsOf(request.buttons);
    for (const auto& [answer, button] : buttons) {
        box.addButton(button);
        if (answer == request.defaultAnswer)
            box.setDefaultButton(button);
    }
    // Qt makes No the escape button of a Yes/No box, so Escape or the
    // window's close button would answer No, which for "Save Now?" throws
    // the work away. Backing out answers Cancel instead: an unseen Cancel
    // button takes Escape and the close button.
    QAbstractButton* backOut = nullptr;
    if (request.buttons == Buttons::YesNo) {
        backOut = box.addButton(QMessageBox::Cancel);
        backOut->hide();
        box.setEscapeButton(backOut);
    }
    box.exec();
    QAbstractButton* const clicked = box.clickedButton();
    if (!clicked || clicked == backOut)
        return buttons.size() > 1 ? Answer::Cancel : buttons.front().first;
    const QMessageBox::StandardButton standard = box.standardButton(clicked);
    for (const auto& [answer, button] : buttons) {
        if (button == standard)
            return answer;
    }
    return Answer::Cancel;
}

QString DialogPrompts::InputBox(const InputRequest& request) {
    bool ok = false;
    const QString text = QInputDialog::getText(m_parent, request.title, request.prompt,
                                               QLineEdit::Normal, request.defaultText, &ok);
    return ok ? text : QString();
}

} // namespace kt::platform
