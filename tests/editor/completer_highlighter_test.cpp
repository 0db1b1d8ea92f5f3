// When the template popup opens: from the second typed character of a line's
// first word, and only for a key that types. Offscreen.
#include "editor/template_completer.h"
#include "editor_fixture.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QTest>

namespace {

class CompleterTest : public kt::editor::test::EditorFixture {
protected:
    bool PopupOpen() const { return m_editor->Completer()->IsOpen(); }
    // While the popup is open the keyboard is its.
    QWidget* KeyTarget() const {
        return PopupOpen() ? static_cast<QWidget*>(m_editor->Completer()->Popup()) : Box();
    }
    void Key(Qt::Key key) { QTest::keyClick(KeyTarget(), key); }
    void Type(char c) { QTest::keyClick(KeyTarget(), c); }
};

} // namespace

// Two characters open it; Escape closes it, deleting does not bring it back,
// typing again does.
TEST_F(CompleterTest, OpensOnTypingFromTwoCharacters) {
    Start("", 0);
    Type('w');
    EXPECT_FALSE(PopupOpen());
    Type('o');
    ASSERT_TRUE(PopupOpen());
    EXPECT_TRUE(m_editor->Completer()->Offered().front().startsWith("WordCounter"));
    Type('r');
    Key(Qt::Key_Escape);
    EXPECT_FALSE(PopupOpen());
    Key(Qt::Key_Backspace);
    EXPECT_EQ(Box()->Text(), "wo");
    EXPECT_FALSE(PopupOpen());
    Type('r');
    EXPECT_TRUE(PopupOpen());
}
