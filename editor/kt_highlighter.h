// Colours the program text in the editor: statement words, names with their
// index (Counter.3, Counter0), numbers and comments, all known from the
// instruction table, and a red wavy underline under a line the line compiler
// rejects. It only sets formats of the layout: it never changes the text, the
// caret or the undo history. Not a checker the host relies on: CompileLine
// still carries every ended line to the host.
#pragma once

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

#include <QList>

#include <array>
#include <optional>

namespace kt::editor {

class KtHighlighter : public QSyntaxHighlighter {
    Q_OBJECT

public:
    enum class Kind { Plain, Keyword, Name, Number, Comment };
    static constexpr int kKindCount = 5;

    // The statement of a line the line compiler rejects: its result code and
    // the characters that get the underline (the statement without
    // indentation, trailing blanks or comment).
    struct Rejection {
        int code = 0;
        int start = 0;
        int length = 0;
    };
    static std::optional<Rejection> Rejected(const QString& line);

    // A word of the table that stands for a value (Counter, Input, Counter0)
    // is a name, any other word of the table a keyword; unknown words stay plain.
    static Kind WordKind(const QString& word);

    // Owned by the document it colours; dark on white until told otherwise.
    explicit KtHighlighter(QTextDocument* document);

    // The set for a dark first ground, or for a light one, each colour moved
    // toward text until it reads at 4.5:1 on every ground; a high-contrast
    // theme keeps text for every kind. True when a format changed: the
    // caller rehighlights.
    bool SetColours(const QColor& text, const QList<QColor>& grounds, bool highContrast);
    bool DarkBackground() const { return m_dark; }

    QTextCharFormat Format(Kind kind, bool rejected = false) const;

protected:
    void highlightBlock(const QString& text) override;

private:
    bool m_dark = false;
    // Indexed by kind, then by whether the line is rejected.
    std::array<std::array<QTextCharFormat, 2>, kKindCount> m_formats;
};

} // namespace kt::editor
