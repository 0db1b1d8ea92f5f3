// The questions and messages the program puts to its user, without any
// widget: text, title, buttons, icon and default button in, the answer out;
// or a prompt and a default in, a line of text out; or a file chosen.
// The desktop shows them as dialogs, the command line on the terminal, and
// tests answer them from a script. Not a dialog toolkit: nothing here draws.
#pragma once

#include <QString>

namespace kt::platform {

enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class Icon { None, Critical, Question, Exclamation, Information };
enum class Answer { Ok, Cancel, Yes, No, Retry };

inline const QString kApplicationTitle = QStringLiteral("KtMotor");

struct MessageRequest {
    QString text;
    QString title = kApplicationTitle;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
    Answer defaultAnswer = Answer::Ok;
};

struct InputRequest {
    QString prompt;
    QString title = kApplicationTitle;
    QString defaultText;
};

// Filter in the "description|pattern|description|pattern" form; the first
// entry is selected.
struct FileRequest {
    QString title;
    QString initialFile;
    QString filter;
};

// A file chosen to save to, and which filter entry was selected then
// (0 the first); an empty path is a cancelled dialog.
struct FileChoice {
    QString path;
    int filterIndex = 0;
};

class PromptService {
public:
    virtual ~PromptService() = default;
    // Shows the message and waits for the answer. A box closed without a
    // button (Escape, its close button) answers Cancel, even a Yes/No box.
    virtual Answer Message(const MessageRequest& request) = 0;
    // Asks for a line of text; empty when cancelled.
    virtual QString InputBox(const InputRequest& request) = 0;
    // The file chosen to open or to save to; empty when cancelled. Saving
    // does not ask about an existing file: the caller does.
    virtual QString OpenFileName(const FileRequest& request) = 0;
    virtual QString SaveFileName(const FileRequest& request) = 0;
    // As SaveFileName, telling the selected filter too; a service that
    // cannot tell reports the first, the one selected at the start.
    virtual FileChoice SaveFileChoice(const FileRequest& request) {
        return {.path = SaveFileName(request)};
    }
};

} // namespace kt::platform
