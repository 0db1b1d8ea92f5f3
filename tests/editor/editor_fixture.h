// The editor control on its own, shown offscreen, with its two events recorded.
#pragma once

#include "editor/kt_text.h"
#include "editor/text_box.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <memory>

namespace kt::editor::test {

class EditorFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_editor = std::make_unique<KtText>();
        m_editor->resize(400, 261);
        m_editor->show();
        m_compile = std::make_unique<QSignalSpy>(m_editor.get(), &KtText::CompileLine);
        m_selChange = std::make_unique<QSignalSpy>(m_editor.get(), &KtText::SelChange);
    }

    TextBox* Box() const { return m_editor->RText(); }

    // The text, and the caret at a CR LF offset as a click puts it; nothing recorded yet.
    void Start(const QString& text, qint64 caret) {
        Box()->SetText(text);
        Box()->SetSelStart(caret);
        m_editor->GetPara(false);
        m_compile->clear();
        m_selChange->clear();
    }

    std::unique_ptr<KtText> m_editor;
    std::unique_ptr<QSignalSpy> m_compile;
    std::unique_ptr<QSignalSpy> m_selChange;
};

} // namespace kt::editor::test
