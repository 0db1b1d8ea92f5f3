// Saving what a monitor window shows: asks for a file name, replaces the
// file atomically, and tells a refusal. Not a file format: the windows make
// the bytes.
#pragma once

#include <QByteArray>

namespace kt::platform {
class PromptService;
struct FileRequest;
} // namespace kt::platform

namespace kt::monitor {

// False when the user cancelled or the file could not be written (told).
bool SaveExport(platform::PromptService& prompts, const platform::FileRequest& request,
                const QByteArray& bytes);

} // namespace kt::monitor
