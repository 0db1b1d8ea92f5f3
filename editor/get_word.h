// The word around the caret, which the editor offers its host as the help
// keyword: a name such as "Flag.3", an operator such as ">=", or a
// parenthesised group. Pure text work, no widgets.
#pragma once

#include <QString>

namespace kt::editor {

// line is the caret's line; column the number of its characters before the caret.
QString GetWord(const QString& line, qsizetype column);

} // namespace kt::editor
