#include "mainwindow/frm_find.h"

#include "editor/text_box.h"
#include "platform/prompt_service.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

namespace kt::mainwindow {

namespace {

QFont DialogFont(bool bold) {
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSizeF(9.75);
    font.setBold(bold);
    return font;
}

} // namespace

FrmFind::FrmFind(FindState& state, editor::TextBox& box, platform::PromptService& prompts,
                 QWidget* owner)
    : QDialog(owner), m_state(state), m_box(box), m_prompts(prompts) {
    setObjectName(QStringLiteral("FrmFind"));
    setWindowTitle(QStringLiteral("Find/Replace"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(DialogFont(false));

    auto* label = new QLabel(QStringLiteral("Find:"), this);
    label->setObjectName(QStringLiteral("LblFind"));
    label->setFont(DialogFont(true));
    m_txtFind = new QLineEdit(this);
    m_txtFind->setObjectName(QStringLiteral("TxtFind"));
    label->setBuddy(m_txtFind); // its name for assistive technology
    m_chkCase = new QCheckBox(QStringLiteral("Match Case"), this);
    m_chkCase->setObjectName(QStringLiteral("ChkCase"));
    m_chkCase->setFont(DialogFont(true));
    m_cmdFind = new QPushButton(QStringLiteral("Find"), this);
    m_cmdFind->setObjectName(QStringLiteral("CmdFind"));
    m_cmdFind->setFont(DialogFont(true));
    m_cmdFind->setDefault(true);
    m_cmdFind->setEnabled(false);

    auto* layout = new QGridLayout(this);
    layout->addWidget(label, 0, 0);
    layout->addWidget(m_txtFind, 0, 1);
    layout->addWidget(m_cmdFind, 0, 2);
    layout->addWidget(m_chkCase, 1, 1);
    layout->setColumnMinimumWidth(1, 240);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_txtFind, &QLineEdit::textChanged, this, &FrmFind::OnFindTextChanged);
    connect(m_chkCase, &QCheckBox::toggled, this, &FrmFind::OnCaseToggled);
    connect(m_cmdFind, &QPushButton::clicked, this, &FrmFind::OnFind);

    m_txtFind->setText(m_state.FindText);
}

void FrmFind::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    PlaceAtOwnerCorner();
}

// Bottom-right corner of the owner: out of the way of a maximised editor.
void FrmFind::PlaceAtOwnerCorner() {
    const QWidget* owner = parentWidget();
    if (!owner)
        return;
    const QRect frame = owner->window()->frameGeometry();
    const QSize size = frameGeometry().size();
    move(frame.x() + frame.width() - size.width(), frame.y() + frame.height() - size.height());
}

void FrmFind::OnFindTextChanged(const QString& text) {
    m_state.FindText = text;
    m_cmdFind->setEnabled(!text.isEmpty());
}

void FrmFind::OnCaseToggled(bool checked) {
    m_compareMode = checked ? kCaseSensitive : kCaseInsensitive;
}

void FrmFind::OnFind() {
    // An empty string would "match" everywhere; the button is off for it anyway.
    if (m_state.FindText.isEmpty())
        return;
    const QPointer<FrmFind> alive(this);
    for (;;) {
        const QString text = m_box.Text();
        if (m_state.FoundPos >= text.size())
            m_state.FoundPos = 0;
        const Qt::CaseSensitivity sensitivity =
            m_compareMode == kCaseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
        // Searching from 0-based FoundPos is searching from 1-based FoundPos + 1.
        const qsizetype index = text.indexOf(m_state.FindText, m_state.FoundPos, sensitivity);
        m_state.FoundPos = index < 0 ? 0 : index + 1;
        if (m_state.FoundPos > 0) {
            m_box.SetSelStart(m_state.FoundPos - 1);
            m_box.SetSelLength(m_state.FindText.size());
            m_box.setFocus();
            return;
        }
        // No is the default, so a question nobody answers cannot go round forever.
        const platform::Answer answer = m_prompts.Message(
            {.text = QStringLiteral("Find reached to end, Do you want to start from begining?"),
             .buttons = platform::Buttons::YesNo,
             .defaultAnswer = platform::Answer::No});
        if (!alive || answer != platform::Answer::Yes)
            return;
        m_state.FoundPos = 0;
    }
}

} // namespace kt::mainwindow
