#include "editor/get_word.h"

namespace kt::editor {

namespace {

bool IsDelimiter(QChar c) {
    return QStringView(u" \t<>=()*+,-/\\").contains(c);
}
bool IsOperator(QChar c) {
    return QStringView(u"\\/-,+=<*>").contains(c);
}

} // namespace

QString GetWord(const QString& line, qsizetype column) {
    if (line.isEmpty())
        return {};
    const qsizetype length = line.size();
    const qsizetype pos = std::clamp<qsizetype>(column, 0, length);
    // 1-based positions, as in the description of the word: at(k) is character k.
    const auto at = [&](qsizetype k) { return k >= 1 && k <= length ? line[k - 1] : QChar(); };

    qsizetype start = pos;
    while (start >= 1 && !IsDelimiter(at(start)))
        --start;

    qsizetype end = length + 1;
    int depth = 0;
    for (qsizetype k = pos + 1; k <= length; ++k) {
        const QChar c = at(k);
        const bool rightAfterCaret = k == pos + 1;
        if (c == u'(') {
            if (rightAfterCaret && depth == 0)
                start = k - 1;
            ++depth;
            continue;
        }
        if (c == u')') {
            if (--depth < 0) {
                end = k;
                break;
            }
            continue;
        }
        if (depth > 0)
            continue;
        if (c == u' ' || c == u'\t') {
            end = k;
            break;
        }
        if (rightAfterCaret) {
            const QChar before = at(k - 1);
            const QChar next = at(k + 1);
            if (c == u'=' && (before == u'>' || before == u'<'))
                return line.mid(k - 2, 2);
            if (c == u'<' && (next == u'=' || next == u'>'))
                return line.mid(k - 1, 2);
            if (c == u'>') {
                if (next == u'=')
                    return QStringLiteral(">=");
                if (before == u'<')
                    return QStringLiteral("<>");
            } else if (before == u'=' || before == u'>' || before == u'<') {
                start = k - 1;
            }
        }
        if (IsOperator(c)) {
            if (rightAfterCaret)
                return QString(c);
            end = k;
            break;
        }
    }
    return line.mid(start, end - start - 1);
}

QString WordAt(const QString& line, qsizetype index) {
    if (index < 0 || index >= line.size() || IsDelimiter(line[index]))
        return {};
    return GetWord(line, index);
}

} // namespace kt::editor
