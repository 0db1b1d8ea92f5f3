// The help keyword of the word at the editor's caret: the part before the
// first "."; otherwise the word without a last digit (Counter.3 and Counter0
// give Counter; Do stays Do; >= stays >=).
#pragma once

#include <QString>

namespace kt::help {

QString HelpKeyword(const QString& helpWord);

} // namespace kt::help
