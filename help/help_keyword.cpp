#include "help/help_keyword.h"

namespace kt::help {

QString HelpKeyword(const QString& helpWord) {
    const qsizetype dot = helpWord.indexOf(u'.');
    if (dot >= 0)
        return helpWord.left(dot);
    if (!helpWord.isEmpty() && helpWord.back().isDigit())
        return helpWord.chopped(1);
    return helpWord;
}

} // namespace kt::help
