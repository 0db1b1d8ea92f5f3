// The prompt service of the desktop: message boxes and the input box shown
// as Qt dialogs, modal, over the given parent window.
#pragma once

#include "platform/prompt_service.h"

#include <QPointer>
#include <QWidget>

namespace kt::platform {

class DialogPrompts : public PromptService {
public:
    explicit DialogPrompts(QWidget* parent = nullptr) : m_parent(parent) {}

    void SetParent(QWidget* parent) { m_parent = parent; }
    Answer Message(const MessageRequest& request) override;
    QString InputBox(const InputRequest& request) override;
    QString OpenFileName(const FileRequest& request) override;
    QString SaveFileName(const FileRequest& request) override;
    FileChoice SaveFileChoice(const FileRequest& request) override;

private:
    QPointer<QWidget> m_parent;
};

} // namespace kt::platform
