#include "cli/terminal_prompts.h"

#include <cctype>
#include <cstdio>
#include <iostream>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kt::cli {

using platform::Answer;
using platform::Buttons;

bool TerminalPrompts::InputIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stdin)) != 0;
#else
    return isatty(STDIN_FILENO) != 0;
#endif
}

namespace {

// Asks on the terminal; true when the answer starts with `yes`'s letter.
bool Ask(const QString& question, const char* choices, char yes) {
    std::cerr << question.toStdString() << ' ' << choices << ' ' << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer) || answer.empty())
        return false;
    return std::tolower(static_cast<unsigned char>(answer[0])) == yes;
}

} // namespace

Answer TerminalPrompts::Message(const platform::MessageRequest& request) {
    switch (request.buttons) {
    case Buttons::YesNo:
    case Buttons::YesNoCancel:
        if (m_assumeYes)
            return Answer::Yes;
        if (InputIsTerminal() && Ask(request.text, "[y/N]", 'y'))
            return Answer::Yes;
        m_declined = true;
        return Answer::No;
    case Buttons::RetryCancel:
        if (InputIsTerminal())
            return Ask(request.text, "[r/C]", 'r') ? Answer::Retry : Answer::Cancel;
        std::cerr << request.text.toStdString() << " Cancel\n";
        return Answer::Cancel;
    case Buttons::OkCancel:
    case Buttons::Ok:
        break;
    }
    std::cerr << request.text.toStdString() << '\n';
    return Answer::Ok;
}

QString TerminalPrompts::InputBox(const platform::InputRequest& request) {
    if (!InputIsTerminal())
        return request.defaultText;
    std::cerr << request.prompt.toStdString() << " [" << request.defaultText.toStdString() << "] "
              << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer))
        return {};
    return answer.empty() ? request.defaultText : QString::fromStdString(answer);
}

} // namespace kt::cli
