// The prompt service of the tests: records every message it is asked to show
// and answers from a script, or with the default button when the script has
// run out. Never blocks.
#pragma once

#include "platform/prompt_service.h"

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
        if (m_answers.empty())
            return request.defaultAnswer;
        const Answer answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }

    void Push(Answer answer) { m_answers.push_back(answer); }
    const std::vector<MessageRequest>& Shown() const { return m_shown; }
    // Forgets what was shown and what was left to answer.
    void Clear() {
        m_shown.clear();
        m_answers.clear();
    }
    // Runs while the message is "open", as a user acting meanwhile would.
    void OnMessage(std::function<void(const MessageRequest&)> action) {
        m_onMessage = std::move(action);
    }

private:
    std::deque<Answer> m_answers;
    std::vector<MessageRequest> m_shown;
    std::function<void(const MessageRequest&)> m_onMessage;
};

} // namespace kt::platform
