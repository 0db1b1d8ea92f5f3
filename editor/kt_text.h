// The program editor control: a text box with a gutter of line marks on its
// left. It keeps a record of the caret's line after every caret move and text
// change, carries a line's indentation to the next when Enter ends it, tells
// its host of every ended line (CompileLine), of every update (SelChange) and
// of F1 (HelpRequest), and keeps one mark per text line. A held Enter gives
// one line break, on release, however the window system reports its repeats.
// It colours the text, offers statement templates while a line's first word
// is typed, marks the line the host reports in error, and tells on hover why
// a line would be rejected; while a run is paused it shows notes after lines
// and a name's value on hover, both given by the host. None of these changes
// the text, the caret record or the events. Its colours come from its
// palette and follow a change of it. It does not act on any check: the host
// answers its events.
#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <map>
#include <vector>

class QKeyEvent;
class QLabel;
class QTextCharFormat;

namespace kt::editor {

class BreakCell;
class KtHighlighter;
class TemplateCompleter;
class TextBox;

class KtText : public QWidget {
    Q_OBJECT

public:
    explicit KtText(QWidget* parent = nullptr);

    // The inner text box, in the CR LF text model.
    TextBox* RText() const { return m_text; }

    // The caret record, as of the last update.
    const QString& CurrentLine() const { return m_currentLine; }
    const QString& OldWhtSpc() const { return m_oldWhtSpc; }
    bool OldCrlf() const { return m_oldCrlf; }
    qint64 CurrentLineSS() const { return m_currentLineSS; }
    qint64 LineNumber() const { return m_lineNumber; }
    qint64 ColNumber() const { return m_colNumber; }
    bool Save() const { return m_save; } // set by every processed text change, never cleared
    const QString& HelpWord() const { return m_helpWord; }
    int PicCount() const { return m_picCount; }

    // Brings the caret record, the marks and the gutter up to date and raises
    // the events; textChange tells that the text changed.
    void GetPara(bool textChange);
    // Replaces the selection without any update or event.
    void InsertChr(const QString& chrs);
    // Ends the caret line and starts a new one with the same indentation.
    void NextLine();

    // How long a released Enter waits for a press that would make the
    // release half of a key repeat, before the line break goes in. A release
    // already waiting waits the new time from now.
    void SetEnterSettleTime(int milliseconds) { m_enterSettle.setInterval(milliseconds); }

    // Sets the mark of line index (1-based); a mark above 2 becomes 0, in the
    // caller's variable too. A line without a mark changes nothing.
    void SetBreak(qint64 index, quint8& pictureIndex);
    // The marks, one per text line, item 0 for line 1.
    const std::vector<int>& RunBreak() const { return m_breakList; }
    void SetRunBreak(std::vector<int> marks);

    // Toggles the caret line's mark as a click on its gutter cell does.
    void ToggleMark();

    // Gutter cells created so far (at least PicCount()).
    int PicBreakCount() const { return static_cast<int>(m_picBreak.size()); }
    BreakCell* PicBreak(int index) const { return m_picBreak.at(static_cast<std::size_t>(index)); }

    // The editor's one rule for a dark theme, which picks the highlighter's
    // colour set, the gutter's marks and the About box's logo: the text
    // ground (Base) is darker than mid-grey.
    static bool DarkPalette(const QPalette& palette);
    // A high-contrast theme, whose own colours the editor keeps: its text
    // and its selection both read at 7:1 or more. (Text alone does on
    // ordinary themes too.)
    static bool HighContrast(const QPalette& palette);
    // The band behind the simulator's run line: on a high-contrast theme its
    // selection colour, otherwise a share of it over the text's ground, kept
    // light or dark enough for the text to read on it.
    static QColor RunLineColour(const QPalette& palette);

    // Strips blanks and tabs at both ends of t; returns the leading ones.
    static QString WhtSpc(QString& t);

    // Edit commands for the host's menu. An undo or redo is a text change
    // like any other: the caret record, the marks and the events follow it.
    void Undo();
    void Redo();
    bool CanUndo() const;
    bool CanRedo() const;
    // As Ctrl+A: selects the whole text unless it is empty; no event.
    void SelectAll();

    // The line (1-based) the host found in error; 0 for none, as is a line
    // the text does not have. Its gutter cell shows the error image in place
    // of its mark, which stays as it is. It moves with lines inserted or
    // deleted above it and goes at the next text change made on it.
    void SetErrorLine(qint64 line);
    // The simulator's statement about to run, shown as a highlighted line
    // (1-based; 0 clears). A look only: text, caret and events untouched.
    void SetRunLine(int line);
    int RunLine() const { return m_runLine; }
    qint64 ErrorLine() const { return m_errorLine; }

    // The compiler's message for the rejected statement under a point of the
    // text box's viewport, and on a second line how to fix it when that can
    // be said, as its tooltip shows it; empty elsewhere.
    QString ErrorTipAt(const QPoint& viewportPos) const;

    // Notes drawn after the end of their lines (1-based), such as a paused
    // run's values; a look only. The host clears them when they go stale.
    void SetLineNotes(const std::map<int, QString>& notes);
    void ClearLineNotes();
    // Asked for the tooltip of a name hovered in the text; an empty answer
    // shows none. A rejected statement's own tooltip comes first.
    using HoverSource = std::function<QString(const QString& word)>;
    void SetHoverSource(HoverSource source);

    KtHighlighter* Highlighter() const { return m_highlighter; }
    TemplateCompleter* Completer() const { return m_completer; }

signals:
    // A line was ended by Enter or NextLine: its text before the break and
    // the CR LF offset of its start.
    void CompileLine(const QString& OldLine, qint64 OldLineStart, bool CErr);
    void SelChange(bool TextChange);
    void HelpRequest();
    void undoAvailable(bool available);
    // The gutter was repainted: a mark may have been set, cleared or moved.
    void marksChanged();
    void redoAvailable(bool available);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void OnTextChanged();
    bool OnKeyPress(const QKeyEvent* event);
    void OnEnterPress(const QKeyEvent* event);
    void OnKeyRelease(const QKeyEvent* event);
    void SettleEnterRelease();
    void BreakAfterEnter();
    void RecordLineForEnter();
    void ReplaceSelection(const QString& text, bool inserting);
    void LayOut(int width, int height);
    void PaintBreaks();
    void OnCellClicked(int index);
    void ToggleMarkOf(qint64 line);
    void UpdateMarkList(qint64 oldLineNumber, qint64 newCount, bool textChange);
    void InsertTemplate(const QString& text, bool byEnter);
    void FollowPalette();
    void ShowCornerPicture();
    // The highlighter's colours for the palette; true when they changed.
    bool ColourText();
    void StyleRunLine(QTextCharFormat& format) const;
    QString HoverTipAt(const QPoint& viewportPos) const;

    TextBox* m_text;
    QLabel* m_picture1;
    std::vector<BreakCell*> m_picBreak;
    KtHighlighter* m_highlighter;
    TemplateCompleter* m_completer;

    QString m_currentLine;
    QString m_oldWhtSpc;
    bool m_oldCrlf = false;
    qint64 m_currentLineSS = 0;
    qint64 m_lineNumber = 1;
    qint64 m_colNumber = 0;
    bool m_save = false;
    QString m_helpWord;
    int m_picCount = 1;
    // The side of a gutter cell and the gutter's width: the text's row height.
    int m_rowHeight;

    std::vector<int> m_breakList{0};
    qint64 m_lastLineCount = 1;
    int m_lastTopLine = 0;
    // The first visible line the gutter shows.
    int m_firstVisibleLine = 0;
    bool m_navKeyDown = false;
    bool m_lineBreaking = false;
    bool m_inserting = false;
    bool m_lineError = false;
    qint64 m_errorLine = 0;
    // The highlighter is recolouring the whole text: Qt reports that as a
    // change of the text, which it is not.
    bool m_restyling = false;

    // Enter is down: its repeats, flagged or not, add nothing.
    bool m_enterHeld = false;
    // An Enter release waits for m_enterSettle: a press right after it in
    // event time would make it half of a repeat pair.
    bool m_enterReleaseWaiting = false;
    quint64 m_enterReleaseTime = 0; // event time of the last timed Enter release
    QTimer m_enterSettle;
    int m_runLine = 0;
    HoverSource m_hoverSource;
};

} // namespace kt::editor
