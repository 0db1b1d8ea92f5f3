// Colours the program text in the editor: statement words, names with their
// index (Counter.3, Counter0), numbers and comments, all known from the
// instruction table, and a red wavy underline under a line the line compiler
// rejects. It only sets formats of the layout: it never changes the text, the
// caret or the undo history. Not a checker the host relies on: CompileLine
// still carries every ended line to the host.
#pragma once

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

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

    // Owned by the document it colours.
    explicit KtHighlighter(QTextDocument* document, bool darkBackground = false);

    // Colours that read on a dark ground, or on a light one; the caller
    // rehighlights.
    void SetDarkBackground(bool dark);
    bool DarkBackground() const { return m_dark; }

    QTextCharFormat Format(Kind kind, bool rejected = false) const;

protected:
    void highlightBlock(const QString& text) override;

private:
    void MakeFormats();

    bool m_dark;
    // Indexed by kind, then by whether the line is rejected.
    std::array<std::array<QTextCharFormat, 2>, kKindCount> m_formats;
};

} // namespace kt::editor
