// The find dialog: searches the editor's text for a string and selects each
// match in turn, one character after the previous match's start, offering to
// start again from the top when it runs out. Positions are in the editor's
// CR LF text. It reads the text and sets the selection; it never changes the
// text, and it does not replace.
#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace kt::editor {
class TextBox;
}
namespace kt::platform {
class PromptService;
}

namespace kt::mainwindow {

// What the dialog keeps between being closed and shown again; the main window
// owns it for the whole run.
struct FindState {
    QString FindText;
    qint64 FoundPos = 0; // 1-based start of the last match, 0 for none
};

class FrmFind : public QDialog {
    Q_OBJECT

public:
    static constexpr int kCaseSensitive = 0;
    static constexpr int kCaseInsensitive = 1;

    // Modeless, owned by `owner`, and deleted when closed.
    explicit FrmFind(FindState& state, editor::TextBox& box, platform::PromptService& prompts,
                     QWidget* owner);

    int CompareMode() const { return m_compareMode; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnFindTextChanged(const QString& text);
    void OnCaseToggled(bool checked);
    void OnFind();
    void PlaceAtOwnerCorner();

    FindState& m_state;
    editor::TextBox& m_box;
    platform::PromptService& m_prompts;
    int m_compareMode = kCaseInsensitive; // every load, as ChkCase starts unchecked

    QLineEdit* m_txtFind;
    QCheckBox* m_chkCase;
    QPushButton* m_cmdFind;
};

} // namespace kt::mainwindow
