#include "monitor/save_export.h"

#include "files/regular_file.h"
#include "platform/prompt_service.h"

#include <QCoreApplication>
#include <QFile>

namespace kt::monitor {

bool SaveExport(platform::PromptService& prompts, const platform::FileRequest& request,
                const QByteArray& bytes) {
    const QString path = prompts.SaveFileName(request);
    if (path.isEmpty())
        return false;
    const auto result = files::RegularFile::Replace(QFile::encodeName(path), bytes);
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
