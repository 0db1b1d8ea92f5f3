#include "editor/template_completer.h"

#include "compiler/instruction_table.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStringListModel>
#include <QTextBlock>

namespace kt::editor {

namespace {

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

// Keys the open popup keeps for moving through its list.
bool IsListKey(int key) {
    return key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
           key == Qt::Key_PageDown;
}

// Keys that move the caret away from the head being typed.
bool MovesCaret(int key) {
    return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Home || key == Qt::Key_End;
}

} // namespace

const QStringList& TemplateCompleter::Templates() {
    static const QStringList templates = [] {
        QStringList list;
        for (int i = 0; i < compiler::kInstructionCount; ++i) {
            const std::string_view text = compiler::TemplateTextOf(i);
            list << QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
        }
        list.removeDuplicates();
        return list;
    }();
    return templates;
}

QString TemplateCompleter::TypedHead(const QString& line, qsizetype column) {
    if (column != line.size())
        return {};
    qsizetype start = 0;
    while (start < line.size() && IsBlank(line[start]))
        ++start;
    const QString head = line.mid(start);
    if (head.size() < kMinimumPrefix || head.contains(u' ') || head.contains(u'\t') ||
        head.contains(u'\''))
        return {};
    return head;
}

TemplateCompleter::TemplateCompleter(QPlainTextEdit* box)
    : QObject(box), m_box(box), m_completer(new QCompleter(this)) {
    m_completer->setModel(new QStringListModel(Templates(), m_completer));
    m_completer->setCaseSensitivity(Qt::CaseInsensitive);
    m_completer->setFilterMode(Qt::MatchStartsWith);
    m_completer->setCompletionMode(QCompleter::PopupCompletion);
    m_completer->setWrapAround(false);
    m_completer->setWidget(box);
    // Installed after the completer's own filter, so it sees the popup's
    // keys first: the completer would hand Enter to the text box as a line
    // break.
    Popup()->installEventFilter(this);
    connect(m_completer, qOverload<const QString&>(&QCompleter::activated), this,
            [this](const QString& text) { emit Chosen(text, false); });
}

TemplateCompleter::~TemplateCompleter() {
    Popup()->removeEventFilter(this);
}

QAbstractItemView* TemplateCompleter::Popup() const {
    return m_completer->popup();
}

bool TemplateCompleter::IsOpen() const {
    return Popup()->isVisible();
}

void TemplateCompleter::Close() {
    if (IsOpen())
        Popup()->hide();
}

void TemplateCompleter::Update(bool mayOpen) {
    const QTextCursor cursor = m_box->textCursor();
    const QString head = cursor.hasSelection()
                             ? QString()
                             : TypedHead(cursor.block().text(), cursor.positionInBlock());
    // A whole statement typed as it stands (Do, Loop, Else) keeps Enter for
    // ending its line.
    if (head.isEmpty() || (!mayOpen && !IsOpen()) || Templates().contains(head)) {
        Close();
        return;
    }
    m_prefix = head;
    m_completer->setCompletionPrefix(head);
    if (m_completer->completionCount() == 0) {
        Close();
        return;
    }
    QRect rect = m_box->cursorRect().translated(m_box->viewport()->pos());
    rect.setWidth(Popup()->sizeHintForColumn(0) + Popup()->verticalScrollBar()->sizeHint().width());
    m_completer->complete(rect);
    Popup()->setCurrentIndex(m_completer->completionModel()->index(0, 0));
}

QStringList TemplateCompleter::Offered() const {
    QStringList offered;
    const QAbstractItemModel* model = m_completer->completionModel();
    for (int row = 0; row < model->rowCount(); ++row)
        offered << model->index(row, 0).data().toString();
    return offered;
}

void TemplateCompleter::Choose(bool byEnter) {
    QModelIndex index = Popup()->currentIndex();
    if (!index.isValid())
        index = m_completer->completionModel()->index(0, 0);
    const QString text = index.data().toString();
    Close();
    if (!text.isEmpty())
        emit Chosen(text, byEnter);
}

bool TemplateCompleter::eventFilter(QObject* watched, QEvent* event) {
    if (watched != Popup() ||
        (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease))
        return QObject::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (IsOpen() && IsListKey(key->key()))
        return false; // the popup moves through its list
    if (event->type() == QEvent::KeyPress && IsOpen()) {
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Choose(true);
            return true;
        case Qt::Key_Tab:
            Choose(false);
            return true;
        case Qt::Key_Escape:
        case Qt::Key_Backtab:
            Close();
            return true;
        default:
            if (MovesCaret(key->key()))
                Close();
            break;
        }
    }
    // Everything else is the text box's, as if the popup were not there;
    // the release of a key the popup took too, so the editor sees it end.
    QCoreApplication::sendEvent(m_box, event);
    return true;
}

} // namespace kt::editor
