// The editor's inner text box: a QPlainTextEdit seen through the CR LF text
// model the rest of the program speaks: Text(), SelStart(), SelLength() and
// SelText() use CR LF line breaks, and offsets count a line break as two
// characters, whatever Qt keeps inside. Every line is 16 pixels high and the
// first starts at the top, so the gutter's rows line up with the text's. Not the editor control
// itself: the caret record, indentation and events live in KtText.
#pragma once

#include <QPlainTextEdit>

namespace kt::editor {

class TextBox : public QPlainTextEdit {
    Q_OBJECT

public:
    static constexpr int kRowHeight = 16;

    explicit TextBox(QWidget* parent = nullptr);

    QString Text() const;
    void SetText(const QString& text); // caret to the start

    qint64 SelStart() const;
    void SetSelStart(qint64 start); // also clears the selection
    qint64 SelLength() const;
    void SetSelLength(qint64 length);
    QString SelText() const;
    void SetSelText(const QString& text); // replaces the selection, caret after it

    qint64 TextLength() const; // in CR LF characters

    // The 0-based number of the first visible line (the vertical scroll position).
    int FirstVisibleLine() const;

    // Offsets between Qt's document positions and CR LF offsets.
    qint64 ToCrLf(int position) const;
    int FromCrLf(qint64 offset) const;

signals:
    // A mouse click in the text, after the caret has moved.
    void clicked();
    // A key press changed the text, after the change has been processed;
    // typed: the key carried printable text.
    void keyEdited(bool typed);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace kt::editor
