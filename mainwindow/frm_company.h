// The About box: product, maker, version, a usage warning, our logo, the
// support e-mail line and an animated picture area of accumulating rounded
// rectangles. Shown as a start-up card that closes itself after five seconds,
// or from the Help menu as a static box that stays until dismissed. Any click
// on its contents or any key closes it. Its texts and frame take the palette's
// colours and the logo follows a change of it. It does not compose mail
// itself: the e-mail line hands a mailto link to the desktop.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <QTimer>

#include <cstdint>
#include <functional>

class QAction;
class QLabel;
class QUrl;

namespace kt::platform {
class PromptService;
}

namespace kt::mainwindow {

class FrmCompany : public QDialog {
    Q_OBJECT

public:
    enum class Mode { StartUp, About };

    static const QString kProductName;
    static const QString kMaker;
    static const QString kSupportAddress;
    static constexpr int kCloseInterval = 5000; // ms
    static constexpr int kFrameInterval = 60;   // ms
    static constexpr int kMailErrorNumber = 1;

    using UrlOpener = std::function<bool(const QUrl&)>;

    // StartUp: owned by `owner`, both timers running. About: a window of its
    // own (owner ignored), static. Either way it deletes itself when closed.
    explicit FrmCompany(Mode mode, platform::PromptService& prompts, QWidget* owner = nullptr);

    QTimer& Timer1() { return m_timer1; }
    QTimer& Timer2() { return m_timer2; }
    std::int32_t InsetStep() const { return m_insetStep; }
    // What the animation has drawn so far, the size of PicButton's inside.
    const QPixmap& Canvas() const { return m_canvas; }
    // The e-mail line goes through this; the desktop's URL handler by default.
    void SetUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }
    static QUrl SupportMailUrl();

    void AnimationTick(); // Timer2
    void CloseTick();     // Timer1

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QLabel* AddLabel(const char* name, const QString& text, QWidget* parent);
    void CenterOnScreen();
    void ShowLogo();
    void OnEmail();

    platform::PromptService& m_prompts;
    QTimer m_timer1;
    QTimer m_timer2;
    std::int32_t m_insetStep = 0;
    QPixmap m_canvas;
    QLabel* m_logo = nullptr;
    QLabel* m_picButton = nullptr;
    QLabel* m_lblEmail = nullptr;
    UrlOpener m_openUrl;
    bool m_prompting = false; // a message is up: closing now would pull the box from under it
    bool m_closePending = false;
};

} // namespace kt::mainwindow
