// Offers the instruction table's statement templates in a popup while the
// user types the first word of a line: matched by prefix, any case, from two
// characters on. Enter or Tab in the popup chooses, Escape closes it. It
// changes no text itself: the editor puts the chosen template in place of
// the typed prefix. Every other key pressed while the popup is open goes on
// to the text box, so typing goes on exactly as without it.
#pragma once

#include <QObject>
#include <QStringList>

class QAbstractItemView;
class QCompleter;
class QPlainTextEdit;

namespace kt::editor {

class TemplateCompleter : public QObject {
    Q_OBJECT

public:
    static constexpr int kMinimumPrefix = 2;

    // The templates in table order, each once.
    static const QStringList& Templates();
    // The statement head being typed: the line's text after its indentation
    // when the caret stands at the line's end and that text is one word of
    // at least two characters (no blank, no comment); empty otherwise.
    static QString TypedHead(const QString& line, qsizetype column);

    explicit TemplateCompleter(QPlainTextEdit* box);
    ~TemplateCompleter() override;

    // After a key edited the text: offers the templates for the head at the
    // caret, or closes the popup. mayOpen: whether a closed popup may open.
    void Update(bool mayOpen);
    void Close();
    bool IsOpen() const;

    QAbstractItemView* Popup() const;
    // The templates the popup offers now, in its order.
    QStringList Offered() const;
    // The prefix the offered templates replace.
    const QString& Prefix() const { return m_prefix; }

signals:
    // The user chose a template; byEnter when with the Enter key.
    void Chosen(const QString& text, bool byEnter);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Choose(bool byEnter);

    QPlainTextEdit* m_box;
    QCompleter* m_completer;
    QString m_prefix;
};

} // namespace kt::editor
