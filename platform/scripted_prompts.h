// The prompt service of the tests: records every message it is asked to show
// and answers from a script. With the script run out, a single-OK message is
// answered Ok; a question is recorded as unscripted and answered Cancel, the
// way out, so that a fault never loops on a default Retry. Never blocks.
#pragma once

#include "platform/prompt_service.h"

#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

namespace kt::platform {

class ScriptedPrompts : public PromptService {
public:
    Answer Message(const MessageRequest& request) override {
        m_shown.push_back(request);
        if (m_onMessage)
            m_onMessage(request);
        if (m_answers.empty()) {
            if (request.buttons == Buttons::Ok)
                return Answer::Ok;
            m_unscripted.push_back(request.text);
            return Answer::Cancel;
        }
        const Answer answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }

    QString InputBox(const InputRequest& request) override {
        m_inputs.push_back(request);
        if (m_texts.empty())
            return request.defaultText;
        QString text = m_texts.front();
        m_texts.pop_front();
        return text;
    }

    QString OpenFileName(const FileRequest& request) override { return NextFile(request).path; }
    QString SaveFileName(const FileRequest& request) override { return NextFile(request).path; }
    FileChoice SaveFileChoice(const FileRequest& request) override { return NextFile(request); }

    void Push(Answer answer) { m_answers.push_back(answer); }
    // The next file dialog's choice; an empty one is a cancelled dialog.
    // filterIndex: the filter entry selected in a save dialog.
    void PushFile(const QString& path, int filterIndex = 0) {
        m_files.push_back({.path = path, .filterIndex = filterIndex});
    }
    const std::vector<FileRequest>& FileDialogs() const { return m_fileDialogs; }
    // The next input box's answer; an empty text is a cancelled box.
    void PushText(const QString& text) { m_texts.push_back(text); }
    const std::vector<InputRequest>& Inputs() const { return m_inputs; }
    const std::vector<MessageRequest>& Shown() const { return m_shown; }
    // Questions that found no scripted answer; fixtures expect none.
    const QStringList& Unscripted() const { return m_unscripted; }
    // Just the texts of what was shown, in order.
    std::vector<QString> ShownTexts() const {
        std::vector<QString> texts;
        for (const MessageRequest& message : m_shown)
            texts.push_back(message.text);
        return texts;
    }
    // Forgets what was shown and what was left to answer, but not the
    // unscripted questions.
    void Clear() {
        m_shown.clear();
        m_answers.clear();
        m_inputs.clear();
        m_texts.clear();
        m_files.clear();
        m_fileDialogs.clear();
    }
    // Runs while the message is "open", as a user acting meanwhile would.
    void OnMessage(std::function<void(const MessageRequest&)> action) {
        m_onMessage = std::move(action);
    }

private:
    FileChoice NextFile(const FileRequest& request) {
        m_fileDialogs.push_back(request);
        if (m_files.empty())
            return {};
        FileChoice choice = m_files.front();
        m_files.pop_front();
        return choice;
    }

    std::deque<Answer> m_answers;
    std::deque<FileChoice> m_files;
    std::vector<FileRequest> m_fileDialogs;
    std::vector<MessageRequest> m_shown;
    QStringList m_unscripted;
    std::deque<QString> m_texts;
    std::vector<InputRequest> m_inputs;
    std::function<void(const MessageRequest&)> m_onMessage;
};

} // namespace kt::platform
