// The main window offscreen over a temporary folder, its questions answered
// by the scripted prompts, and the file helpers of the main window's tests.
#pragma once

#include "editor/kt_text.h"
#include "editor/text_box.h"
#include "mainwindow/frm_motor.h"
#include "platform/app_settings.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

namespace kt::mainwindow::test {

using platform::Answer;

inline QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline QString Put(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
        << path.toStdString();
    return path;
}

// As a drag delivers it: the drop goes where the entering drag was taken,
// and the window acts on it once the drop has ended.
inline void Drop(FrmMotor& window, const QUrl& url) {
    QMimeData data;
    data.setUrls({url});
    QWidget* target = window.KtText1()->RText()->viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    QCoreApplication::processEvents();
}

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() {
        platform::AppSettings::Remove("RecentFiles");
        Show();
    }
    ~MainWindowTest() override { EXPECT_EQ(m_prompts.Unscripted().join(u'|').toStdString(), ""); }
    // Shortcuts reach only the active window.
    void Show() {
        m_window->show();
        m_window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
        Box()->setFocus();
    }
    // A fresh window holding typed, unsaved work.
    void Restart(const QString& typed = "Do") {
        m_window = std::make_unique<FrmMotor>(m_prompts, m_folder.path(), m_folder.path());
        Show();
        m_prompts.Clear();
        Type(typed);
    }
    void Type(const QString& text) { QTest::keyClicks(Box(), text); }
    QString Path(const QString& name) const { return m_folder.filePath(name); }
    editor::TextBox* Box() const { return m_window->KtText1()->RText(); }
    QAction* Action(const char* name) const { return m_window->findChild<QAction*>(name); }
    QMenu* Menu(const char* name) const { return m_window->findChild<QMenu*>(name); }
    std::vector<QString> Shown() const { return m_prompts.ShownTexts(); }

    QTemporaryDir m_folder;
    platform::ScriptedPrompts m_prompts;
    std::unique_ptr<FrmMotor> m_window =
        std::make_unique<FrmMotor>(m_prompts, m_folder.path(), m_folder.path());
};

} // namespace kt::mainwindow::test
