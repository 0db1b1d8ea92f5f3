#include "monitor/save_export.h"

#include "mainwindow/regular_file.h"
#include "platform/prompt_service.h"

#include <QCoreApplication>
#include <QFile>

namespace kt::monitor {

bool SaveExport(platform::PromptService& prompts, const platform::FileRequest& request,
                const QByteArray& bytes) {
    const QString path = prompts.SaveFileName(request);
    if (path.isEmpty())
        return false;
    const auto result = mainwindow::RegularFile::Replace(QFile::encodeName(path), bytes);
    if (!result.ok) {
        prompts.Message(
            {.text = QCoreApplication::translate("kt::monitor", "Could not save %1:\n%2")
                         .arg(path, result.error),
             .icon = platform::Icon::Critical});
        return false;
    }
    return true;
}

} // namespace kt::monitor
