// The prompt service of the command line: messages go to standard error;
// questions are asked on the terminal, or answered without one (--yes
// confirms; otherwise a confirmation is refused and a retry cancelled).
#pragma once

#include "platform/prompt_service.h"

namespace kt::cli {

class TerminalPrompts : public platform::PromptService {
public:
    explicit TerminalPrompts(bool assumeYes) : m_assumeYes(assumeYes) {}

    platform::Answer Message(const platform::MessageRequest& request) override;
    QString InputBox(const platform::InputRequest& request) override;
    // The command line names its files itself.
    QString OpenFileName(const platform::FileRequest&) override { return {}; }
    QString SaveFileName(const platform::FileRequest&) override { return {}; }

    // A question was answered No or could not be asked.
    bool Declined() const { return m_declined; }

    static bool InputIsTerminal();

private:
    bool m_assumeYes;
    bool m_declined = false;
};

} // namespace kt::cli
