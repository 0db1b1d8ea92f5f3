// The editor's inner text box: a QPlainTextEdit seen through the CR LF text
// model the rest of the program speaks: Text(), SelStart(), SelLength() and
// SelText() use CR LF line breaks, and offsets count a line break as two
// characters, whatever Qt keeps inside. Every line is 16 pixels high (more
// only when a zoomed font needs it) and the first starts at the top, so the
// gutter's rows line up with the text's. It
// draws notes after the end of lines, a look only: the document, the undo
// stack and the offsets never see them. Not the editor control itself: the
// caret record, indentation and events live in KtText.
#pragma once

#include <QPlainTextEdit>

#include <map>

namespace kt::editor {

class TextBox : public QPlainTextEdit {
    Q_OBJECT

public:
    static constexpr int kRowHeight = 16;

    explicit TextBox(QWidget* parent = nullptr);

    // kRowHeight, or the font's line spacing when that is taller.
    int RowHeight() const { return m_rowHeight; }

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

    // Notes by line (1-based), drawn after their lines' text in NoteColour();
    // a "(F)" in a note is drawn in the text's own colour. Lines the text
    // does not have are passed over.
    void SetNotes(std::map<int, QString> notes);
    const std::map<int, QString>& Notes() const { return m_notes; }
    // The text colour taken toward the ground as far as it keeps 4.5:1 on it.
    QColor NoteColour() const;
    // The document position of the character under a point of the viewport;
    // -1 off the text, past a line's end included.
    int CharacterAt(const QPoint& viewportPos) const;

signals:
    // A mouse click in the text, after the caret has moved.
    void clicked();
    // A key press changed the text, after the change has been processed;
    // typed: the key carried printable text.
    void keyEdited(bool typed);
    // The font changed the row height; the text is laid out again already.
    void rowHeightChanged(int height);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    std::map<int, QString> m_notes;
    int m_rowHeight = kRowHeight;
};

} // namespace kt::editor
