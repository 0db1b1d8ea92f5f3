#include "mainwindow/frm_company.h"

#include "editor/kt_text.h"
#include "platform/prompt_service.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScreen>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

namespace kt::mainwindow {

const QString FrmCompany::kProductName = QStringLiteral("KtMotor Programming Environment");
const QString FrmCompany::kMaker = QStringLiteral("Kt Drives");
const QString FrmCompany::kSupportAddress = QStringLiteral("support@ktdrives.example");

namespace {

// Odd on both sides: the animation then never reaches its end, and the
// start-up card always goes after its five seconds.
constexpr int kPictureWidth = 121;
constexpr int kPictureHeight = 121;
constexpr int kLogoSize = 64;

const QColor kCanvasColor(14, 30, 58);
const QColor kTraceColor(70, 190, 240);

// Our emblem: a motor housing with cooling fins, shaft and feet, and a spark
// for the drive electronics. The steel blue sinks into a dark window: there
// the housing gets a light rim. Drawn at the screen's pixel ratio.
QPixmap DrawLogo(bool darkGround, qreal ratio) {
    const int side = qRound(kLogoSize * ratio);
    QPixmap logo(side, side);
    logo.setDevicePixelRatio(ratio);
    logo.fill(Qt::transparent);
    QPainter painter(&logo);
    painter.setRenderHint(QPainter::Antialiasing);

    const QColor steel(52, 84, 128);
    const QColor light(150, 180, 215);
    const QPen rim = darkGround ? QPen(light, 1) : QPen(Qt::NoPen);
    painter.setPen(rim);
    painter.setBrush(steel.darker(130));
    painter.drawRoundedRect(QRectF(10, 50, 36, 6), 2, 2); // feet
    painter.setBrush(steel.darker(120));
    painter.drawRect(QRectF(46, 20, 6, 26)); // end shield
    painter.setBrush(steel);
    painter.drawRoundedRect(QRectF(4, 14, 42, 38), 6, 6); // housing
    painter.setPen(Qt::NoPen);
    painter.setBrush(light);
    painter.drawRect(QRectF(52, 30, 9, 6)); // shaft

    painter.setPen(QPen(light, 1.5));
    for (int x = 10; x <= 40; x += 6)
        painter.drawLine(QPointF(x, 17), QPointF(x, 23)); // fins

    QPainterPath spark;
    spark.moveTo(28, 24);
    spark.lineTo(18, 38);
    spark.lineTo(25, 38);
    spark.lineTo(21, 48);
    spark.lineTo(33, 33);
    spark.lineTo(26, 33);
    spark.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(250, 200, 40));
    painter.drawPath(spark);
    return logo;
}

QPixmap BlankCanvas(const QSize& size) {
    QPixmap canvas(size);
    canvas.fill(kCanvasColor);
    return canvas;
}

} // namespace

FrmCompany::FrmCompany(Mode mode, platform::PromptService& prompts, QWidget* owner)
    : QDialog(mode == Mode::StartUp ? owner : nullptr, Qt::Dialog | Qt::FramelessWindowHint),
      m_prompts(prompts),
      m_openUrl([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {
    setObjectName(QStringLiteral("FrmCompany"));
    setWindowTitle(QStringLiteral("About ") + kProductName);
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    // An open About box alone must not keep the program running.
    if (mode == Mode::About)
        setAttribute(Qt::WA_QuitOnClose, false);
    setFocusPolicy(Qt::StrongFocus);

    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setFrameStyle(QFrame::Box | QFrame::Raised);
    frame->setLineWidth(2);

    m_logo = new QLabel(frame);
    m_logo->setObjectName(QStringLiteral("imgLogo"));
    ShowLogo();

    m_picButton = new QLabel(frame);
    m_picButton->setObjectName(QStringLiteral("PicButton"));
    m_picButton->setFixedSize(kPictureWidth, kPictureHeight);
    m_canvas = BlankCanvas(m_picButton->contentsRect().size());
    m_picButton->setPixmap(m_canvas);

    QLabel* product = AddLabel("lblProductName", kProductName, frame);
    QFont big = product->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    product->setFont(big);
    QLabel* maker = AddLabel("lblCompanyProduct", kMaker, frame);
    QLabel* company = AddLabel("lblCompany", QStringLiteral("Company ") + kMaker, frame);
    QLabel* version = AddLabel("lblVersion", QStringLiteral("Version 1.1"), frame);
    QLabel* platform = AddLabel("lblPlatform", QStringLiteral("Programmable motor drives"), frame);
    QLabel* warning = AddLabel(
        "lblWarning", QStringLiteral(" Warning To be operated by authorized users"), frame);
    QFont bold = warning->font();
    bold.setBold(true);
    warning->setFont(bold);
    m_lblEmail = AddLabel("LblEmail", QStringLiteral("Email: ") + kSupportAddress, frame);
    m_lblEmail->setCursor(Qt::PointingHandCursor);

    for (QWidget* closer : std::initializer_list<QWidget*>{
             product, maker, company, version, platform, warning, m_logo, frame, m_picButton})
        closer->installEventFilter(this);
    m_lblEmail->installEventFilter(this);

    auto* grid = new QGridLayout(frame);
    grid->setHorizontalSpacing(16);
    grid->addWidget(m_logo, 0, 0, 2, 1, Qt::AlignCenter);
    grid->addWidget(product, 0, 1);
    grid->addWidget(maker, 1, 1);
    grid->addWidget(m_picButton, 2, 0, 5, 1, Qt::AlignTop);
    grid->addWidget(company, 2, 1);
    grid->addWidget(version, 3, 1);
    grid->addWidget(platform, 4, 1);
    grid->addWidget(warning, 5, 1);
    grid->addWidget(m_lblEmail, 6, 1);
    auto* outer = new QGridLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame, 0, 0);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    auto* exit = new QAction(QStringLiteral("Exit"), this);
    exit->setObjectName(QStringLiteral("MnuExit"));
    addAction(exit);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(exit, &QAction::triggered, this, &QWidget::close);

    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_timer1.setInterval(kCloseInterval);
    m_timer2.setObjectName(QStringLiteral("Timer2"));
    m_timer2.setInterval(kFrameInterval);
    connect(&m_timer1, &QTimer::timeout, this, &FrmCompany::CloseTick);
    connect(&m_timer2, &QTimer::timeout, this, &FrmCompany::AnimationTick);

    CenterOnScreen();
    if (mode == Mode::StartUp) {
        m_timer1.start();
        m_timer2.start();
    }
}

QLabel* FrmCompany::AddLabel(const char* name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}

void FrmCompany::ShowLogo() {
    m_logo->setPixmap(DrawLogo(editor::KtText::DarkPalette(palette()), devicePixelRatioF()));
}

void FrmCompany::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // The texts follow the palette by themselves; the logo is a picture.
    if (event->type() == QEvent::PaletteChange && m_logo)
        ShowLogo();
}

void FrmCompany::CenterOnScreen() {
    adjustSize();
    const QScreen* screen =
        parentWidget() ? parentWidget()->screen() : QApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}

QUrl FrmCompany::SupportMailUrl() {
    QUrl url(QStringLiteral("mailto:") + kSupportAddress);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("cc"), kSupportAddress);
    url.setQuery(query);
    return url;
}

void FrmCompany::AnimationTick() {
    const QSize inner = m_picButton->contentsRect().size();
    if (m_canvas.size() != inner) {
        QPixmap resized = BlankCanvas(inner);
        QPainter(&resized).drawPixmap(0, 0, m_canvas);
        m_canvas = resized;
    }
    const int w = inner.width();
    const int h = inner.height();
    // Opposite corners either way round, right and bottom edges left out,
    // as the system's rounded rectangle has them: past the middle the
    // rectangles grow again, turned inside out.
    const int left = std::min(m_insetStep, w - m_insetStep);
    const int right = std::max(m_insetStep, w - m_insetStep);
    const int top = std::min(m_insetStep, h - m_insetStep);
    const int bottom = std::max(m_insetStep, h - m_insetStep);
    if (right > left && bottom > top) {
        QPainter painter(&m_canvas);
        painter.setPen(QPen(kTraceColor, 0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(left, top, right - left - 1, bottom - top - 1), 5, 5);
    }
    m_picButton->setPixmap(m_canvas);

    if (w - m_insetStep == -20 || h - m_insetStep == -20)
        m_timer1.stop(); // the card now stays until dismissed
    else
        m_insetStep += 2;
}

void FrmCompany::CloseTick() {
    m_timer1.stop();
    close();
}

void FrmCompany::OnEmail() {
    if (m_openUrl && m_openUrl(SupportMailUrl()))
        return;
    const QPointer<FrmCompany> alive(this);
    m_prompting = true;
    m_prompts.Message({.text = QString::number(kMailErrorNumber) + QLatin1Char('\n') +
                               QStringLiteral("No mail program could be opened.")});
    if (!alive)
        return;
    m_prompting = false;
    if (m_closePending)
        close();
}

bool FrmCompany::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const auto* widget = static_cast<QWidget*>(watched);
        // A click is a left press and release over the same control; a
        // release elsewhere must not reach the frame behind as a click there.
        if (mouse->button() == Qt::LeftButton) {
            if (!widget->rect().contains(mouse->position().toPoint()))
                return true;
            if (watched == m_lblEmail)
                OnEmail();
            else
                close();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool FrmCompany::event(QEvent* event) {
    // Back to the front when another window takes over, but never above a
    // modal dialog, which would then hide behind us.
    if (event->type() == QEvent::WindowDeactivate && isVisible() &&
        !QApplication::activeModalWidget() && !QApplication::activePopupWidget())
        raise();
    return QDialog::event(event);
}

void FrmCompany::keyPressEvent(QKeyEvent* event) {
    event->accept();
    close();
}

void FrmCompany::closeEvent(QCloseEvent* event) {
    if (m_prompting) {
        // Not while our own message is up; it closes us when it is answered.
        m_closePending = true;
        event->ignore();
        return;
    }
    m_timer1.stop();
    m_timer2.stop();
    QDialog::closeEvent(event);
}

} // namespace kt::mainwindow
