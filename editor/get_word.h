// The word around the caret, which the editor offers its host as the help
// keyword: a name such as "Flag.3", an operator such as ">=", or a
// parenthesised group. Pure text work, no widgets.
#pragma once

#include <QString>

namespace kt::editor {

// line is the caret's line; column the number of its characters before the caret.
QString GetWord(const QString& line, qsizetype column);

// The word the character at index belongs to, as GetWord reads it with the
// caret before that character; empty on a blank, a delimiter or past the end.
QString WordAt(const QString& line, qsizetype index);

} // namespace kt::editor
