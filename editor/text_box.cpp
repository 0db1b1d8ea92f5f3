#include "editor/text_box.h"

#include "editor/kt_text.h"
#include "platform/contrast.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QPlainTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace kt::editor {

namespace {

// Both conversions copy once, in one pass: QString::replace of one
// character by two moves the rest of the text for every break it meets,
// which takes minutes for a text of millions of lines.
QString ToQtText(const QString& text) {
    // Qt breaks a block at CR LF, a lone CR or a lone LF alike.
    QString out(text.size(), Qt::Uninitialized);
    QChar* to = out.data();
    const QChar* from = text.constData();
    const QChar* const end = from + text.size();
    while (from != end) {
        if (*from == u'\r') {
            *to++ = u'\n';
            if (++from != end && *from == u'\n')
                ++from;
        } else {
            *to++ = *from++;
        }
    }
    out.truncate(to - out.constData());
    return out;
}

QString ToCrLfText(const QString& text) {
    qsizetype breaks = 0;
    for (const QChar c : text)
        breaks += c == u'\n' || c == QChar::ParagraphSeparator;
    QString out(text.size() + breaks, Qt::Uninitialized);
    QChar* to = out.data();
    for (const QChar c : text) {
        if (c == u'\n' || c == QChar::ParagraphSeparator) {
            *to++ = u'\r';
            *to++ = u'\n';
        } else {
            *to++ = c;
        }
    }
    return out;
}

QFont EditorFont() {
    QFont font(QStringLiteral("Courier New"));
    font.setPointSizeF(9.75);
    font.setStyleHint(QFont::TypeWriter);
    if (!QFontInfo(font).fixedPitch()) {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSizeF(9.75);
    }
    // A row is 16 pixels: a taller font would push the text rows away from
    // the gutter's, so a font that does not fit is made smaller.
    for (int pixels = QFontInfo(font).pixelSize();
         QFontMetrics(font).lineSpacing() > TextBox::kRowHeight && pixels > 6;) {
        font.setPixelSize(--pixels);
    }
    return font;
}

// Every line gets a row of exactly the box's row height, whatever its font's
// natural height: the plain-text layout itself ignores fixed line heights.
class RowLayout : public QPlainTextDocumentLayout {
public:
    RowLayout(QTextDocument* document, const TextBox& box)
        : QPlainTextDocumentLayout(document), m_box(box) {}

    QRectF blockBoundingRect(const QTextBlock& block) const override {
        QRectF rect = QPlainTextDocumentLayout::blockBoundingRect(block);
        if (rect.isNull())
            return rect; // a hidden block
        qreal height = std::max(block.layout()->lineCount(), 1) * m_box.RowHeight();
        if (!block.next().isValid())
            height += document()->documentMargin();
        rect.setHeight(height);
        return rect;
    }

private:
    const TextBox& m_box;
};

// A badge in a note: the value is forced.
const QString kForced = QStringLiteral("(F)");

} // namespace

TextBox::TextBox(QWidget* parent) : QPlainTextEdit(parent) {
    auto* document = new QTextDocument(this);
    document->setDocumentLayout(new RowLayout(document, *this));
    document->setDocumentMargin(0);
    // The margin goes on the undo stack; nothing the user did must.
    document->clearUndoRedoStacks();
    setDocument(document);
    setFont(EditorFont());
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Row i of the text starts at pixel 16 * i, as gutter row i does.
    setFrameShape(QFrame::NoFrame);
    setViewportMargins(3, 0, 0, 0);
}

QString TextBox::Text() const {
    return ToCrLfText(toPlainText());
}

void TextBox::SetText(const QString& text) {
    setPlainText(ToQtText(text));
}

qint64 TextBox::TextLength() const {
    const QTextDocument* doc = document();
    return doc->characterCount() - 1 + (doc->blockCount() - 1);
}

qint64 TextBox::ToCrLf(int position) const {
    const QTextBlock block = document()->findBlock(position);
    return position + (block.isValid() ? block.blockNumber() : document()->blockCount() - 1);
}

int TextBox::FromCrLf(qint64 offset) const {
    if (offset <= 0)
        return 0;
    const QTextDocument* doc = document();
    // The last block whose CR LF start (its position plus one per earlier
    // break) is at or before the offset.
    int low = 0;
    int high = doc->blockCount() - 1;
    while (low < high) {
        const int mid = (low + high + 1) / 2;
        if (doc->findBlockByNumber(mid).position() + mid <= offset)
            low = mid;
        else
            high = mid - 1;
    }
    const QTextBlock block = doc->findBlockByNumber(low);
    const qint64 column = offset - (block.position() + low);
    // An offset between CR and LF, or past the end, stays at the line's end.
    return block.position() + static_cast<int>(std::min<qint64>(column, block.length() - 1));
}

qint64 TextBox::SelStart() const {
    return ToCrLf(textCursor().selectionStart());
}

void TextBox::SetSelStart(qint64 start) {
    QTextCursor cursor = textCursor();
    cursor.setPosition(FromCrLf(start));
    setTextCursor(cursor);
}

qint64 TextBox::SelLength() const {
    const QTextCursor cursor = textCursor();
    return ToCrLf(cursor.selectionEnd()) - ToCrLf(cursor.selectionStart());
}

void TextBox::SetSelLength(qint64 length) {
    QTextCursor cursor = textCursor();
    const int start = cursor.selectionStart();
    cursor.setPosition(start);
    cursor.setPosition(FromCrLf(ToCrLf(start) + std::max<qint64>(length, 0)),
                       QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

QString TextBox::SelText() const {
    return ToCrLfText(textCursor().selectedText());
}

void TextBox::SetSelText(const QString& text) {
    QTextCursor cursor = textCursor();
    cursor.insertText(ToQtText(text));
    setTextCursor(cursor);
}

int TextBox::FirstVisibleLine() const {
    return verticalScrollBar()->value();
}

void TextBox::SetNotes(std::map<int, QString> notes) {
    m_notes = std::move(notes);
    viewport()->update();
}

QColor TextBox::NoteColour() const {
    const QColor text = palette().color(QPalette::Text);
    const QColor ground = palette().color(QPalette::Base);
    if (KtText::HighContrast(palette()))
        return text; // the theme's own; the italics still set notes apart
    // From half way to the ground, back toward the text until it reads well.
    const QColor halfway((text.red() + ground.red()) / 2, (text.green() + ground.green()) / 2,
                         (text.blue() + ground.blue()) / 2);
    return platform::Legible(halfway, ground, platform::kTextContrast, text);
}

int TextBox::CharacterAt(const QPoint& viewportPos) const {
    const QTextBlock block = cursorForPosition(viewportPos).block();
    const QRectF box = blockBoundingGeometry(block).translated(contentOffset());
    const QTextLayout* layout = block.layout();
    if (viewportPos.y() < box.top() || viewportPos.y() >= box.bottom() || layout->lineCount() == 0)
        return -1;
    const int column =
        layout->lineAt(0).xToCursor(viewportPos.x() - box.left(), QTextLine::CursorOnCharacter);
    return column >= 0 && column < block.length() - 1 ? block.position() + column : -1;
}

void TextBox::paintEvent(QPaintEvent* event) {
    QPlainTextEdit::paintEvent(event);
    if (m_notes.empty())
        return;
    QPainter painter(viewport());
    QFont font = document()->defaultFont();
    font.setItalic(true); // a note is no code
    painter.setFont(font);
    const QColor muted = NoteColour();
    const QColor strong = palette().color(QPalette::Text);
    const qreal gap = 2 * painter.fontMetrics().horizontalAdvance(u' ');
    // Only the visible lines' notes: typing repaints often.
    const int first = firstVisibleBlock().blockNumber() + 1;
    for (auto note = m_notes.lower_bound(first); note != m_notes.end(); ++note) {
        const QTextBlock block = document()->findBlockByNumber(note->first - 1);
        if (!block.isValid())
            break;
        const QRectF box = blockBoundingGeometry(block).translated(contentOffset());
        if (box.top() > event->rect().bottom())
            break;
        const QTextLayout* layout = block.layout();
        if (layout->lineCount() == 0)
            continue;
        const QTextLine line = layout->lineAt(0);
        qreal x = box.left() + line.naturalTextWidth() + gap;
        const qreal baseline = box.top() + line.y() + line.ascent();
        const auto draw = [&](const QString& text, const QColor& colour) {
            painter.setPen(colour);
            painter.drawText(QPointF(x, baseline), text);
            x += painter.fontMetrics().horizontalAdvance(text);
        };
        const QStringList parts = note->second.split(kForced);
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (i > 0)
                draw(kForced, strong);
            draw(parts[i], muted);
        }
    }
}

void TextBox::changeEvent(QEvent* event) {
    // The new height first: the base class lays the text out again.
    const int before = m_rowHeight;
    if (event->type() == QEvent::FontChange)
        m_rowHeight = std::max(kRowHeight, QFontMetrics(font()).lineSpacing());
    QPlainTextEdit::changeEvent(event);
    if (m_rowHeight != before)
        emit rowHeightChanged(m_rowHeight);
}

void TextBox::keyPressEvent(QKeyEvent* event) {
    const int revision = document()->revision();
    QPlainTextEdit::keyPressEvent(event);
    if (document()->revision() != revision) {
        const QString text = event->text();
        emit keyEdited(!text.isEmpty() && text.front().isPrint());
    }
}

void TextBox::mouseReleaseEvent(QMouseEvent* event) {
    QPlainTextEdit::mouseReleaseEvent(event);
    emit clicked();
}

} // namespace kt::editor
