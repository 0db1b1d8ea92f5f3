#include "editor/kt_highlighter.h"

#include "compiler/instruction_table.h"
#include "compiler/line_compiler.h"
#include "platform/contrast.h"

#include <QSet>

#include <vector>

namespace kt::editor {

namespace {

constexpr QChar kCommentMark = u'\'';

bool IsWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'%' || c == u'_';
}

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

// The words of the table's templates, and those a "." follows somewhere
// (the names that take an index in the source).
struct TableWords {
    QSet<QString> all;
    QSet<QString> indexed;
};

const TableWords& Words() {
    static const TableWords words = [] {
        TableWords result;
        for (int i = 0; i < compiler::kInstructionCount; ++i) {
            const std::string_view text = compiler::TemplateTextOf(i);
            const QString row =
                QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
            for (qsizetype at = 0; at < row.size();) {
                if (!row[at].isLetter()) {
                    ++at;
                    continue;
                }
                qsizetype end = at;
                while (end < row.size() && IsWordChar(row[end]))
                    ++end;
                const QString word = row.mid(at, end - at);
                result.all.insert(word);
                if (end < row.size() && row[end] == u'.')
                    result.indexed.insert(word);
                at = end;
            }
        }
        return result;
    }();
    return words;
}

// A number as the line compiler reads one: an optional sign, digits with an
// optional decimal point, an optional exponent. Returns its end, or start
// when there is none.
qsizetype NumberEnd(const QString& text, qsizetype start, qsizetype end) {
    qsizetype at = start;
    if (at < end && (text[at] == u'+' || text[at] == u'-'))
        ++at;
    const qsizetype digitsFrom = at;
    while (at < end && text[at].isDigit())
        ++at;
    if (at < end && text[at] == u'.') {
        ++at;
        while (at < end && text[at].isDigit())
            ++at;
    }
    if (at - digitsFrom == 0 || (at - digitsFrom == 1 && text[digitsFrom] == u'.'))
        return start;
    if (at + 1 < end && (text[at] == u'e' || text[at] == u'E')) {
        qsizetype exponent = at + 1;
        if (exponent < end && (text[exponent] == u'+' || text[exponent] == u'-'))
            ++exponent;
        if (exponent < end && text[exponent].isDigit()) {
            while (exponent < end && text[exponent].isDigit())
                ++exponent;
            at = exponent;
        }
    }
    return at;
}

} // namespace

std::optional<KtHighlighter::Rejection> KtHighlighter::Rejected(const QString& line) {
    compiler::StatementBytes code{};
    const int result = compiler::CompileStatement(line.toStdString(), code);
    if (result < 1 || result > 254)
        return std::nullopt;
    qsizetype end = line.indexOf(kCommentMark);
    if (end < 0)
        end = line.size();
    qsizetype start = 0;
    while (start < end && IsBlank(line[start]))
        ++start;
    while (end > start && IsBlank(line[end - 1]))
        --end;
    return Rejection{result, static_cast<int>(start), static_cast<int>(end - start)};
}

KtHighlighter::Kind KtHighlighter::WordKind(const QString& word) {
    const TableWords& words = Words();
    if (!words.all.contains(word))
        return Kind::Plain;
    // Counter.3 and Counter0 alike: a name that stands for one of several.
    return words.indexed.contains(word) || word.back().isDigit() ? Kind::Name : Kind::Keyword;
}

KtHighlighter::KtHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
    SetColours(Qt::black, {Qt::white}, false);
}

bool KtHighlighter::SetColours(const QColor& text, const QList<QColor>& grounds,
                               bool highContrast) {
    // Moderate colours: one set for a light ground, a lighter one for a dark.
    static const std::array<QColor, kKindCount> light = {
        QColor(), QColor(0x1f, 0x4f, 0xbf), QColor(0x00, 0x6e, 0x78), QColor(0xa0, 0x52, 0x2d),
        QColor(0x2e, 0x7d, 0x32)};
    static const std::array<QColor, kKindCount> dark = {
        QColor(), QColor(0x8a, 0xb4, 0xf8), QColor(0x4d, 0xd0, 0xc8), QColor(0xf0, 0xa3, 0x5e),
        QColor(0x8b, 0xc5, 0x8b)};
    m_dark = !grounds.isEmpty() && grounds.front().lightness() < 128;
    const auto legible = [&](QColor colour, double ratio) {
        for (const QColor& ground : grounds)
            colour = platform::Legible(colour, ground, ratio, text);
        return colour;
    };
    const QColor underline = legible(m_dark ? QColor(0xff, 0x55, 0x55) : QColor(0xd0, 0x10, 0x10),
                                     platform::kMarkContrast);
    const auto before = m_formats;
    for (int kind = 0; kind < kKindCount; ++kind) {
        const QColor colour = (m_dark ? dark : light)[static_cast<std::size_t>(kind)];
        for (int rejected = 0; rejected < 2; ++rejected) {
            QTextCharFormat format;
            if (colour.isValid() && !highContrast)
                format.setForeground(legible(colour, platform::kTextContrast));
            if (rejected != 0) {
                format.setUnderlineStyle(QTextCharFormat::WaveUnderline);
                format.setUnderlineColor(underline);
            }
            m_formats[static_cast<std::size_t>(kind)][static_cast<std::size_t>(rejected)] = format;
        }
    }
    return m_formats != before;
}

QTextCharFormat KtHighlighter::Format(Kind kind, bool rejected) const {
    return m_formats[static_cast<std::size_t>(kind)][rejected ? 1 : 0];
}

void KtHighlighter::highlightBlock(const QString& text) {
    const qsizetype size = text.size();
    qsizetype statementEnd = text.indexOf(kCommentMark);
    if (statementEnd < 0)
        statementEnd = size;
    std::vector<Kind> kinds(static_cast<std::size_t>(size), Kind::Plain);
    const auto mark = [&kinds](qsizetype from, qsizetype to, Kind kind) {
        std::fill(kinds.begin() + from, kinds.begin() + to, kind);
    };

    for (qsizetype at = 0; at < statementEnd;) {
        const QChar c = text[at];
        if (c.isLetter()) {
            qsizetype end = at;
            while (end < statementEnd && IsWordChar(text[end]))
                ++end;
            const QString word = text.mid(at, end - at);
            const Kind kind = WordKind(word);
            if (end < statementEnd && text[end] == u'.' && Words().indexed.contains(word)) {
                ++end; // the "." and the index behind it
                while (end < statementEnd && text[end].isDigit())
                    ++end;
            }
            mark(at, end, kind);
            at = end;
            continue;
        }
        // A number stands on its own: not glued to a word before it.
        const bool mayStart = at == 0 || !IsWordChar(text[at - 1]);
        const qsizetype end = mayStart ? NumberEnd(text, at, statementEnd) : at;
        if (end > at && (end == statementEnd || !IsWordChar(text[end]))) {
            mark(at, end, Kind::Number);
            at = end;
            continue;
        }
        ++at;
    }
    mark(statementEnd, size, Kind::Comment);

    const std::optional<Rejection> rejection = Rejected(text);
    const auto rejectedAt = [&rejection](qsizetype at) {
        return rejection && at >= rejection->start && at < rejection->start + rejection->length;
    };
    // One format per run of equal kind and underline.
    for (qsizetype from = 0; from < size;) {
        const Kind kind = kinds[static_cast<std::size_t>(from)];
        const bool rejected = rejectedAt(from);
        qsizetype to = from + 1;
        while (to < size && kinds[static_cast<std::size_t>(to)] == kind &&
               rejectedAt(to) == rejected)
            ++to;
        if (kind != Kind::Plain || rejected)
            setFormat(static_cast<int>(from), static_cast<int>(to - from), Format(kind, rejected));
        from = to;
    }
}

} // namespace kt::editor
