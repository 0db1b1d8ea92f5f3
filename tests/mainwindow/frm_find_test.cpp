// The find dialog over a bare text box, offscreen, its wrap question answered
// by the scripted prompt service.
#include "editor/text_box.h"
#include "mainwindow/frm_find.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QVBoxLayout>

#include <array>

using kt::mainwindow::FrmFind;
using kt::platform::Answer;

namespace {

constexpr Answer Yes = Answer::Yes;
constexpr Answer No = Answer::No;

class FrmFindTest : public ::testing::Test {
protected:
    FrmFindTest() {
        auto* layout = new QVBoxLayout(&m_owner);
        layout->addWidget(m_other);
        layout->addWidget(m_box);
        m_owner.setGeometry(100, 80, 700, 500);
        m_owner.show();
    }
    ~FrmFindTest() override {
        delete m_find; // it deletes itself when closed
        EXPECT_EQ(m_prompts.Unscripted().join(u'|').toStdString(), "");
    }
    QWidget* Open() {
        delete m_find;
        m_find = new FrmFind(m_state, *m_box, m_prompts, &m_owner);
        m_find->show();
        return m_find;
    }
    template <typename T = QWidget> T* Child(const char* name) const {
        return m_find->findChild<T*>(name);
    }

    QWidget m_owner;
    QLineEdit* m_other = new QLineEdit(&m_owner);
    kt::editor::TextBox* m_box = new kt::editor::TextBox(&m_owner);
    kt::platform::ScriptedPrompts m_prompts;
    kt::mainwindow::FindState m_state;
    QPointer<FrmFind> m_find;
};

TEST_F(FrmFindTest, SelectsEachMatchInTurn) {
    // After each click on Find: selection start and length, FoundPos, wrap questions so far.
    using Step = std::array<qint64, 4>;
    struct Case {
        QString text, find;
        bool matchCase;
        std::vector<Answer> answers;
        std::vector<Step> clicks;
    };
    const Case cases[] = {
        {"loop\r\nLoop", "Loop", true, {}, {{6, 4, 7, 0}}},
        {"aaa", "aa", false, {No}, {{0, 2, 1, 0}, {1, 2, 2, 0}, {1, 2, 0, 1}}},
        {"Loop\r\nDo\r\nLoop", "LOOP", false, {Yes}, {{0, 4, 1, 0}, {10, 4, 11, 0}, {0, 4, 1, 1}}},
        {"Do\r\nLoop", "If", false, {Yes, Yes, No}, {{0, 0, 0, 3}}},
        // A match on the last character leaves FoundPos at the text's length:
        // the next search starts over without asking.
        {"abab", "b", false, {}, {{1, 1, 2, 0}, {3, 1, 4, 0}, {1, 1, 2, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.find.toStdString() + " in " + c.text.toStdString());
        m_state = {};
        m_prompts.Clear();
        m_box->SetText(c.text);
        for (Answer answer : c.answers)
            m_prompts.Push(answer);
        Open();
        Child<QLineEdit>("TxtFind")->setText(c.find);
        Child<QCheckBox>("ChkCase")->setChecked(c.matchCase);
        for (const Step& want : c.clicks) {
            QTest::mouseClick(Child("CmdFind"), Qt::LeftButton);
            EXPECT_EQ((Step{m_box->SelStart(), m_box->SelLength(), m_state.FoundPos,
                            qint64(m_prompts.Shown().size())}),
                      want);
        }
        for (const auto& question : m_prompts.Shown())
            EXPECT_EQ(question.defaultAnswer, No); // an unanswered script cannot loop
    }
}

// Modeless, in the owner's bottom-right corner; Enter finds only with a
// search text and hands the focus back to the editor.
TEST_F(FrmFindTest, OpensModelessInTheCornerAndEnterFindsOnlyWithText) {
    m_box->SetText("Do\r\nLoop");
    m_other->setFocus();
    EXPECT_EQ(Open()->frameGeometry().bottomRight(), m_owner.frameGeometry().bottomRight());
    EXPECT_FALSE(Child("CmdFind")->isEnabled());
    QTest::keyClicks(Child("TxtFind"), "oo");
    QTest::keyClick(Child("TxtFind"), Qt::Key_Return);
    EXPECT_EQ(m_box->SelText(), "oo");
    EXPECT_EQ(m_owner.focusWidget(), m_box);
}

} // namespace
