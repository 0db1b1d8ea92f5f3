#include "editor/kt_text.h"

#include "compiler/compile_hint.h"
#include "compiler/compile_messages.h"
#include "compiler/white_space.h"
#include "editor/break_cell.h"
#include "editor/get_word.h"
#include "editor/kt_highlighter.h"
#include "editor/mark_images.h"
#include "editor/template_completer.h"
#include "editor/text_box.h"
#include "platform/contrast.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QToolTip>

#include <algorithm>

namespace kt::editor {

namespace {

constexpr int kCornerSize = 17;
// The rows a control of height H has room for: (H - 21) / 16.
constexpr int kRowsMargin = 21;
// Some X servers send a held key's repeats as release/press pairs without the
// auto-repeat flag, the two with the same time stamp or a few ms apart; no
// hand releases and presses a key that fast.
constexpr quint64 kRepeatPairGapMs = 20;
// A pair split over two event batches arrives well within this.
constexpr int kEnterSettleMs = 50;

bool IsNavigationKey(int key) {
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return true;
    default:
        return false;
    }
}

bool IsEnterKey(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

KtText::KtText(QWidget* parent)
    : QWidget(parent), m_text(new TextBox(this)), m_picture1(new QLabel(this)),
      m_highlighter(new KtHighlighter(m_text->document())),
      m_completer(new TemplateCompleter(m_text)), m_rowHeight(m_text->RowHeight()) {
    ColourText();
    m_text->installEventFilter(this);
    m_text->viewport()->installEventFilter(this);
    m_enterSettle.setSingleShot(true);
    m_enterSettle.setTimerType(Qt::PreciseTimer);
    m_enterSettle.setInterval(kEnterSettleMs);
    connect(&m_enterSettle, &QTimer::timeout, this, &KtText::SettleEnterRelease);
    connect(m_text, &QPlainTextEdit::textChanged, this, &KtText::OnTextChanged);
    connect(m_text, &TextBox::clicked, this, [this] { GetPara(false); });
    connect(m_text, &TextBox::keyEdited, m_completer, &TemplateCompleter::Update);
    connect(m_completer, &TemplateCompleter::Chosen, this, &KtText::InsertTemplate);
    connect(m_text, &QPlainTextEdit::undoAvailable, this, &KtText::undoAvailable);
    connect(m_text, &QPlainTextEdit::redoAvailable, this, &KtText::redoAvailable);
    // A zoomed font: the gutter's rows grow with the text's.
    connect(m_text, &TextBox::rowHeightChanged, this, [this] { LayOut(width(), height()); });
    // The gutter follows every change of the first visible line, however it
    // was scrolled, so its marks never stand beside the wrong lines.
    connect(m_text->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int top) {
        if (top != m_firstVisibleLine) {
            m_firstVisibleLine = top;
            PaintBreaks();
        }
    });

    ShowCornerPicture();
    m_picture1->setAlignment(Qt::AlignCenter);
    m_picture1->setFixedSize(kCornerSize, kCornerSize);

    auto* cell = new BreakCell(0, this);
    cell->SetSide(m_rowHeight);
    connect(cell, &BreakCell::clicked, this, &KtText::OnCellClicked);
    m_picBreak.push_back(cell);
    setFocusProxy(m_text);
}

bool KtText::DarkPalette(const QPalette& palette) {
    return palette.color(QPalette::Base).lightness() < 128;
}

bool KtText::HighContrast(const QPalette& palette) {
    constexpr double kHighContrast = 7;
    return platform::Contrast(palette.color(QPalette::Text), palette.color(QPalette::Base)) >=
               kHighContrast &&
           platform::Contrast(palette.color(QPalette::HighlightedText),
                              palette.color(QPalette::Highlight)) >= kHighContrast;
}

QColor KtText::RunLineColour(const QPalette& palette) {
    const QColor highlight = palette.color(QPalette::Highlight);
    if (HighContrast(palette))
        return highlight;
    // The highlight colour let through onto the text ground: a pale band on
    // a light theme, a deep one on a dark theme.
    const QColor ground = palette.color(QPalette::Base);
    constexpr float kShare = 0.4F;
    const QColor band =
        QColor::fromRgbF(ground.redF() + (highlight.redF() - ground.redF()) * kShare,
                         ground.greenF() + (highlight.greenF() - ground.greenF()) * kShare,
                         ground.blueF() + (highlight.blueF() - ground.blueF()) * kShare);
    return platform::Legible(band, palette.color(QPalette::Text), platform::kTextContrast, ground);
}

QString KtText::WhtSpc(QString& t) {
    std::string text = t.toStdString();
    const std::string leading = compiler::WhtSpc(text);
    t = QString::fromStdString(text);
    return QString::fromStdString(leading);
}

void KtText::GetPara(bool textChange) {
    const QString oldLine = m_currentLine;
    const qint64 oldLineStart = m_currentLineSS;
    qint64 oldLineNumber = m_lineNumber;
    m_firstVisibleLine = m_text->FirstVisibleLine();

    const QTextDocument* document = m_text->document();
    if (document->isEmpty()) {
        m_currentLine.clear();
        m_helpWord.clear();
        m_lineNumber = 1;
        oldLineNumber = 1;
        m_colNumber = 0;
        m_currentLineSS = 0;
        m_lastLineCount = 1;
        m_breakList.assign(1, 0);
        m_errorLine = 0;
        PaintBreaks();
    } else {
        const int start = m_text->textCursor().selectionStart();
        const QTextBlock block = document->findBlock(start);
        m_lineNumber = block.blockNumber() + 1;
        m_currentLine = block.text();
        m_currentLineSS = block.position() + block.blockNumber();
        m_colNumber = start - block.position();
        m_helpWord = GetWord(m_currentLine, m_colNumber);
    }

    const qint64 newCount = document->blockCount();
    if (textChange)
        m_save = true;
    const qint64 added = newCount - m_lastLineCount;
    const qint64 errorLine = m_errorLine;
    UpdateMarkList(oldLineNumber, newCount, textChange);
    if (m_firstVisibleLine != m_lastTopLine || added != 0 || m_errorLine != errorLine)
        PaintBreaks();
    if (m_lineBreaking)
        emit CompileLine(oldLine, oldLineStart, m_lineError);
    emit SelChange(textChange);
    m_lastTopLine = m_firstVisibleLine;
    m_lastLineCount = newCount;
}

void KtText::UpdateMarkList(qint64 oldLineNumber, qint64 newCount, bool textChange) {
    // The error line goes with the first change made on it, and otherwise
    // moves as the marks do.
    if (textChange && oldLineNumber == m_errorLine)
        m_errorLine = 0;
    const qint64 d = newCount - m_lastLineCount;
    if (d > 0) {
        // A line break puts the new lines after the line it ended; any other
        // insertion before the line the caret was on.
        const qint64 at = m_lineBreaking ? oldLineNumber : oldLineNumber - 1;
        const auto index = std::clamp<qint64>(at, 0, static_cast<qint64>(m_breakList.size()));
        m_breakList.insert(m_breakList.begin() + static_cast<std::ptrdiff_t>(index),
                           static_cast<std::size_t>(d), 0);
        if (m_errorLine > index)
            m_errorLine += d;
    }
    for (qint64 i = 0; i < -d && !m_breakList.empty(); ++i) {
        const qint64 removed = std::min(oldLineNumber, static_cast<qint64>(m_breakList.size()));
        m_breakList.erase(m_breakList.begin() + static_cast<std::ptrdiff_t>(removed - 1));
        if (m_errorLine == removed)
            m_errorLine = 0;
        else if (m_errorLine > removed)
            --m_errorLine;
    }
}

void KtText::OnTextChanged() {
    if (m_inserting || m_restyling)
        return;
    GetPara(true);
    m_save = true;
    m_lineError = false;
    m_lineBreaking = false;
}

void KtText::ReplaceSelection(const QString& text, bool inserting) {
    m_inserting = inserting;
    m_text->SetSelText(text);
    m_inserting = false;
}

void KtText::InsertChr(const QString& chrs) {
    SettleEnterRelease();
    ReplaceSelection(chrs, true);
}

void KtText::RecordLineForEnter() {
    const int start = m_text->textCursor().selectionStart();
    const QTextBlock block = m_text->document()->findBlock(start);
    m_currentLineSS = block.position() + block.blockNumber();
    m_currentLine = block.text().left(start - block.position());
    QString copy = m_currentLine;
    m_oldWhtSpc = WhtSpc(copy);
    m_lineBreaking = true;
    m_oldCrlf = true;
}

void KtText::NextLine() {
    SettleEnterRelease();
    m_lineBreaking = true;
    qsizetype trailing = 0;
    while (trailing < m_currentLine.size() &&
           (m_currentLine[m_currentLine.size() - 1 - trailing] == u' ' ||
            m_currentLine[m_currentLine.size() - 1 - trailing] == u'\t'))
        ++trailing;
    if (trailing > 0) {
        const qint64 start = m_text->SelStart();
        const qint64 from = std::max<qint64>(start - trailing, 0);
        m_inserting = true;
        m_text->SetSelStart(from);
        m_text->SetSelLength(start - from);
        m_text->SetSelText(QString());
        m_inserting = false;
        m_text->SetSelStart(from);
    }
    const QString indentation = WhtSpc(m_currentLine);
    ReplaceSelection(QStringLiteral("\r\n") + indentation, false);
    m_lineBreaking = false;
}

bool KtText::OnKeyPress(const QKeyEvent* event) {
    const int key = event->key();
    if (IsEnterKey(key)) {
        OnEnterPress(event);
        return true; // the line break is inserted when the key goes up
    }
    SettleEnterRelease(); // the line break goes before what this key does
    // Tab indents here, so Ctrl+Tab and Ctrl+Shift+Tab move the focus on.
    if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) &&
        event->modifiers().testFlag(Qt::ControlModifier)) {
        focusNextPrevChild(key == Qt::Key_Tab && !event->modifiers().testFlag(Qt::ShiftModifier));
        return true;
    }
    if (IsNavigationKey(key)) {
        m_navKeyDown = true;
        return false;
    }
    const Qt::KeyboardModifiers shiftState =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (key == Qt::Key_A && shiftState == Qt::ControlModifier) {
        SelectAll();
        return true;
    }
    return false;
}

void KtText::OnEnterPress(const QKeyEvent* event) {
    const quint64 time = event->timestamp();
    const bool pairsWithRelease = time != 0 && m_enterReleaseTime != 0 &&
                                  time >= m_enterReleaseTime &&
                                  time - m_enterReleaseTime <= kRepeatPairGapMs;
    if (m_enterReleaseWaiting) {
        if (pairsWithRelease) { // the key never went up
            m_enterReleaseWaiting = false;
            m_enterSettle.stop();
            return;
        }
        SettleEnterRelease(); // a new press: the last one's line break first
    } else if (!m_enterHeld && pairsWithRelease) {
        // The press of a pair came after its release had settled: the key is
        // still down and its line break is already in.
        m_enterHeld = true;
        return;
    }
    if (m_enterHeld)
        return; // a repeat
    RecordLineForEnter();
    m_enterHeld = true;
}

void KtText::OnKeyRelease(const QKeyEvent* event) {
    const int key = event->key();
    // A timed release of Enter may be half of an unflagged repeat pair: the
    // line break waits for the press that would follow it. Without a time
    // stamp (events made by a program) it goes in at once.
    if (IsEnterKey(key) && m_oldCrlf && event->timestamp() != 0) {
        m_enterReleaseWaiting = true;
        m_enterReleaseTime = event->timestamp();
        m_enterSettle.start();
        m_navKeyDown = false;
        return;
    }
    SettleEnterRelease(); // a waiting line break goes before this key's effect
    if (IsEnterKey(key)) {
        BreakAfterEnter();
        m_enterReleaseTime = event->timestamp();
    } else if (IsNavigationKey(key)) {
        GetPara(false);
    } else if (key == Qt::Key_F1) {
        emit HelpRequest();
    }
    m_navKeyDown = false;
    m_oldCrlf = false;
}

void KtText::SettleEnterRelease() {
    if (!m_enterReleaseWaiting)
        return;
    m_enterReleaseWaiting = false;
    m_enterSettle.stop();
    BreakAfterEnter();
}

// The key-up of Enter: the line break, if one is due, and the hold is over.
void KtText::BreakAfterEnter() {
    m_enterHeld = false;
    if (m_oldCrlf)
        ReplaceSelection(QStringLiteral("\r\n") + m_oldWhtSpc, false);
    m_oldCrlf = false;
}

void KtText::InsertTemplate(const QString& text, bool byEnter) {
    // The Enter that chose it ends no line, nor do its repeats or release.
    if (byEnter)
        m_enterHeld = true;
    QTextCursor cursor = m_text->textCursor();
    const QString prefix = m_completer->Prefix();
    const QString beforeCaret = cursor.block().text().left(cursor.positionInBlock());
    if (cursor.hasSelection() || prefix.isEmpty() ||
        !beforeCaret.endsWith(prefix, Qt::CaseInsensitive))
        return;
    // One edit, processed as typing is.
    cursor.setPosition(cursor.position() - static_cast<int>(prefix.size()),
                       QTextCursor::KeepAnchor);
    cursor.insertText(text);
    m_text->setTextCursor(cursor);
}

void KtText::Undo() {
    SettleEnterRelease();
    m_completer->Close();
    m_text->undo();
}

void KtText::Redo() {
    SettleEnterRelease();
    m_completer->Close();
    m_text->redo();
}

bool KtText::CanUndo() const {
    return m_text->document()->isUndoAvailable();
}

bool KtText::CanRedo() const {
    return m_text->document()->isRedoAvailable();
}

void KtText::SelectAll() {
    SettleEnterRelease();
    m_completer->Close();
    if (!m_text->document()->isEmpty())
        m_text->selectAll();
}

void KtText::SetErrorLine(qint64 line) {
    m_errorLine = line >= 1 && line <= m_text->document()->blockCount() ? line : 0;
    PaintBreaks();
}

QString KtText::ErrorTipAt(const QPoint& viewportPos) const {
    const QTextBlock block = m_text->cursorForPosition(viewportPos).block();
    const std::optional<KtHighlighter::Rejection> rejection = KtHighlighter::Rejected(block.text());
    if (!rejection)
        return {};
    QTextCursor cursor(block);
    cursor.setPosition(block.position() + rejection->start);
    const QRect from = m_text->cursorRect(cursor);
    cursor.setPosition(block.position() + rejection->start + rejection->length);
    const QRect to = m_text->cursorRect(cursor);
    // Only over the underlined statement itself.
    if (viewportPos.y() < from.top() || viewportPos.y() > from.bottom() ||
        viewportPos.x() < from.left() || viewportPos.x() > to.right())
        return {};
    const std::string_view message = compiler::CompileMessage(rejection->code);
    QString tip = QString::fromLatin1(message.data(), static_cast<qsizetype>(message.size()));
    // Read as the highlighter read it when it underlined the line.
    const std::string hint = compiler::LineHint(block.text().toStdString(), rejection->code);
    if (!hint.empty())
        tip += u'\n' + QString::fromStdString(hint);
    return tip;
}

QString KtText::HoverTipAt(const QPoint& viewportPos) const {
    const int at = m_text->CharacterAt(viewportPos);
    if (!m_hoverSource || at < 0)
        return {};
    const QTextBlock block = m_text->document()->findBlock(at);
    const QString word = WordAt(block.text(), at - block.position());
    return word.isEmpty() ? QString() : m_hoverSource(word);
}

void KtText::SetLineNotes(const std::map<int, QString>& notes) {
    m_text->SetNotes(notes);
}

void KtText::ClearLineNotes() {
    m_text->SetNotes({});
}

void KtText::SetHoverSource(HoverSource source) {
    m_hoverSource = std::move(source);
}

void KtText::ShowCornerPicture() {
    m_picture1->setPixmap(MarkImages::CornerPicture(palette(), devicePixelRatioF()));
}

bool KtText::ColourText() {
    const QPalette& colours = palette();
    return m_highlighter->SetColours(colours.color(QPalette::Text),
                                     {colours.color(QPalette::Base), RunLineColour(colours)},
                                     HighContrast(colours));
}

void KtText::FollowPalette() {
    // The cells repaint themselves; the corner and the run line hold colours.
    ShowCornerPicture();
    QList<QTextEdit::ExtraSelection> selections = m_text->extraSelections();
    for (QTextEdit::ExtraSelection& selection : selections)
        StyleRunLine(selection.format);
    m_text->setExtraSelections(selections);
    if (!ColourText())
        return;
    m_restyling = true;
    m_highlighter->rehighlight();
    m_restyling = false;
}

void KtText::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        FollowPalette();
}

bool KtText::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_text->viewport() && event->type() == QEvent::MouseButtonPress)
        SettleEnterRelease(); // before the click moves the caret
    if (watched == m_text->viewport() && event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        QString tip = ErrorTipAt(help->pos());
        if (tip.isEmpty())
            tip = HoverTipAt(help->pos());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, m_text->viewport());
        return true;
    }
    if (watched == m_text) {
        if (event->type() == QEvent::FocusOut) {
            // The key-up, if any, goes elsewhere now.
            SettleEnterRelease();
            m_enterHeld = false;
        }
        if (event->type() == QEvent::ShortcutOverride &&
            !IsEnterKey(static_cast<QKeyEvent*>(event)->key()))
            SettleEnterRelease(); // a shortcut may read the text
        if (event->type() == QEvent::KeyPress)
            return OnKeyPress(static_cast<QKeyEvent*>(event));
        // A release flagged as auto-repeat is half of a repeat pair: only
        // the release that ends the hold counts.
        if (event->type() == QEvent::KeyRelease) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (!key->isAutoRepeat())
                OnKeyRelease(key);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void KtText::paintEvent(QPaintEvent*) {
    // The gutter's ground below its cells, as the cells' own.
    QPainter(this).fillRect(0, 0, m_rowHeight, height(), MarkImages::ColoursFor(palette()).ground);
}

void KtText::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut(width(), height());
}

void KtText::LayOut(int width, int height) {
    // The gutter is as wide as a row is high: 16 pixels until zoomed.
    const bool rowChanged = m_text->RowHeight() != m_rowHeight;
    m_rowHeight = m_text->RowHeight();
    m_text->setGeometry(m_rowHeight, 0, std::max(width - m_rowHeight, 0), height);
    m_picture1->move(width - kCornerSize, height - kCornerSize);
    m_picture1->raise();
    if (rowChanged) {
        for (int i = 0; i < PicBreakCount(); ++i) {
            m_picBreak[i]->SetSide(m_rowHeight);
            m_picBreak[i]->move(0, i * m_rowHeight);
        }
        update();
    }

    const int rows = (height - kRowsMargin) / m_rowHeight;
    if (rows <= 0 || (rows == m_picCount && !rowChanged))
        return;
    for (int i = m_picCount; i < rows; ++i) {
        if (i >= PicBreakCount()) {
            auto* cell = new BreakCell(i, this);
            cell->SetSide(m_rowHeight);
            connect(cell, &BreakCell::clicked, this, &KtText::OnCellClicked);
            m_picBreak.push_back(cell);
        }
        m_picBreak[i]->move(0, m_picBreak[i - 1]->y() + m_rowHeight);
        m_picBreak[i]->show();
    }
    // Cells past the rows in use keep existing but show nothing stale.
    for (int i = rows; i < PicBreakCount(); ++i)
        m_picBreak[i]->hide();
    m_picCount = rows;
    GetPara(false);
}

void KtText::PaintBreaks() {
    emit marksChanged();
    bool plain = false;
    for (int i = 0; i < m_picCount; ++i) {
        const qint64 line = m_firstVisibleLine + i + 1;
        int image = 0;
        if (!plain) {
            const bool known = line <= static_cast<qint64>(m_breakList.size()) &&
                               m_breakList[line - 1] >= 0 &&
                               m_breakList[line - 1] < MarkImages::kCount;
            if (known)
                image = m_breakList[line - 1];
            else
                plain = true; // this row and all below it
        }
        m_picBreak[i]->ShowImage(image);
        m_picBreak[i]->ShowError(line == m_errorLine);
    }
}

void KtText::StyleRunLine(QTextCharFormat& format) const {
    format.setBackground(RunLineColour(palette()));
    // The theme's selection pair on a high-contrast theme, whose text has
    // no colours of its own there.
    if (HighContrast(palette()))
        format.setForeground(palette().color(QPalette::HighlightedText));
    else
        format.clearForeground();
}

void KtText::SetRunLine(int line) {
    m_runLine = line;
    QList<QTextEdit::ExtraSelection> selections;
    const QTextBlock block = m_text->document()->findBlockByNumber(line - 1);
    if (line > 0 && block.isValid()) {
        QTextEdit::ExtraSelection selection;
        selection.cursor = QTextCursor(block);
        StyleRunLine(selection.format);
        selection.format.setProperty(QTextFormat::FullWidthSelection, true);
        selections.append(selection);
        // Scrolled into view, without moving the caret, when out of it.
        QScrollBar* bar = m_text->verticalScrollBar();
        const int row = block.blockNumber();
        if (row < bar->value() || row >= bar->value() + m_picCount)
            bar->setValue(std::clamp(row - m_picCount / 3, 0, bar->maximum()));
    }
    m_text->setExtraSelections(selections);
}

void KtText::SetBreak(qint64 index, quint8& pictureIndex) {
    if (pictureIndex > 2)
        pictureIndex = 0;
    if (index >= 1 && index <= static_cast<qint64>(m_breakList.size())) {
        m_breakList[index - 1] = pictureIndex;
        PaintBreaks();
    }
    m_text->setFocus();
}

void KtText::SetRunBreak(std::vector<int> marks) {
    // One item per text line, whatever the caller hands over.
    marks.resize(static_cast<std::size_t>(m_text->document()->blockCount()), 0);
    m_breakList = std::move(marks);
    PaintBreaks();
}

void KtText::OnCellClicked(int index) {
    ToggleMarkOf(m_firstVisibleLine + index + 1);
}

void KtText::ToggleMark() {
    ToggleMarkOf(m_text->textCursor().blockNumber() + 1);
}

// Cycles 0 and 1, turns a 2 into a 1 and a 3 into a 2.
void KtText::ToggleMarkOf(qint64 line) {
    if (line > static_cast<qint64>(m_breakList.size()))
        return;
    const int current = m_breakList[line - 1];
    quint8 mark = static_cast<quint8>(current != 0 ? current - 1 : 1);
    SetBreak(line, mark);
}

} // namespace kt::editor
