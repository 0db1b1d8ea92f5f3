#include "device/frm_device.h"

#include "compiler/number_rules.h"
#include "compiler/program_compiler.h"
#include "drivemap/drive_catalogue.h"
#include "link/cls_kt_motor.h"
#include "link/frm_motor_com.h"
#include "link/link_observer.h"
#include "platform/announce.h"
#include "platform/prompt_service.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

#include <cmath>
#include <optional>

namespace kt::device {

namespace {

using Byte = link::ClsKtMotor::Byte;

constexpr int kClientHeight = 6900;
constexpr int kCollapsedWidth = 5160;
constexpr int kExpandedWidth = 12075;
// The line dividing the halves.
constexpr int kRightHalf = 5040;
// Our status line, below the specified client area (pixels).
constexpr int kStatusLineHeight = 22;
const QString kNotRead =
    QStringLiteral("Not Read, Either device not ready Or communication error.");
const QString kErrorWriting = QStringLiteral("Error writing");

int Px(int twips) {
    return twips / FrmDevice::kTwipsPerPixel;
}

void Place(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(Px(left), Px(top), Px(width), Px(height));
}

// Numbers as the user writes them: the locale's decimal separator, blanks
// around allowed.
QString NumberText(float value) {
    QString text = QString::fromStdString(compiler::FormatSingle(value));
    return text.replace(u'.', QLocale().decimalPoint());
}

std::string PlainNumber(const QString& text) {
    QString plain = text.trimmed();
    plain.replace(QLocale().decimalPoint(), QStringLiteral("."));
    return plain.toStdString();
}

std::optional<float> ToSingle(const QString& text) {
    return compiler::TypedSingle(PlainNumber(text));
}

std::optional<long long> ToWhole(const QString& text, double low, double high) {
    return compiler::TypedWhole(PlainNumber(text), low, high);
}

// The catalogue's value behind a box, by the window's index map.
drivemap::ValueRef ValueOfBox(int box) {
    using drivemap::Id;
    const auto ref = [](Id id, int channel = drivemap::ValueRef::kWhole) {
        return drivemap::ValueRef{.value = &drivemap::At(id), .channel = channel};
    };
    if (box >= 8 && box <= 15)
        return ref(Id::Counter, box - 8);
    if (box >= 16 && box <= 19)
        return ref(Id::WordCounter, box - 16);
    if (box >= 20 && box <= 23)
        return ref(Id::Timer, box - 20);
    if (box >= 24 && box <= 29)
        return ref(Id::Analog, box - 24);
    switch (box) {
    case 0:
        return ref(Id::AccelerationRate);
    case 1:
        return ref(Id::DecelerationRate);
    case 2:
        return ref(Id::ReferenceSpeed);
    case 3:
        return ref(Id::CurrentSpeed);
    case 4:
        return ref(Id::BusVolt);
    case 5:
        return ref(Id::CurrentLimit);
    case 6:
        return ref(Id::MotorCurrent);
    case 7:
        return ref(Id::ReferenceVolt);
    case 30:
        return ref(Id::Error);
    default:
        return ref(Id::MotorVolt);
    }
}

// Boxes 3, 4, 6, 24 to 30 and 35 only show what was read.
bool HasWrite(int box) {
    return box <= 23 && box != 3 && box != 4 && box != 6;
}

// What a screen reader tells beside a box's label: the catalogue's name,
// range and unit, and whether the box is only shown.
QString BoxDescription(int box) {
    const drivemap::ValueRef ref = ValueOfBox(box);
    const drivemap::DriveValue& value = *ref.value;
    QString text = QString::fromStdString(drivemap::Name(ref)) +
                   (value.kind == drivemap::Kind::Text ? QStringLiteral(", a code from %1 to %2 "
                                                                        "and its text")
                                                       : QStringLiteral(", from %1 to %2"))
                       .arg(NumberText(value.range.low), NumberText(value.range.high));
    if (!value.unit.empty())
        text +=
            u' ' + QString::fromUtf8(value.unit.data(), static_cast<qsizetype>(value.unit.size()));
    if (!HasWrite(box))
        text += QStringLiteral(", shown only");
    return text;
}

// A caption without its colon, for the button beside it.
QString Bare(const QString& caption) {
    QString bare = caption.trimmed();
    if (bare.endsWith(u':'))
        bare.chop(1);
    return bare;
}

QCursor HandCursor() {
    return QCursor(Qt::PointingHandCursor);
}

// The image bytes the compile filled: the statements before the first fill
// byte in an opcode's place (no opcode is the fill byte).
qsizetype FilledBytes(const QByteArray& image) {
    qsizetype filled = 0;
    while (filled < image.size() &&
           static_cast<std::uint8_t>(image[filled]) != compiler::kImageFill)
        filled += 2;
    return std::min(filled, image.size());
}

// Watches the link while a program command runs, for the erase and the
// download ending well: a declined confirmation returns success too, having
// sent nothing.
class ProgramExchanges : public link::LinkObserver {
public:
    explicit ProgramExchanges(link::FrmMotorCom& link) : m_link(link) { m_link.AddObserver(this); }
    ~ProgramExchanges() override { m_link.RemoveObserver(this); }
    ProgramExchanges(const ProgramExchanges&) = delete;
    ProgramExchanges& operator=(const ProgramExchanges&) = delete;

    void Observe(const link::LinkEvent& event) override {
        if (event.kind != link::LinkEvent::Kind::Ended)
            return;
        if (event.function == drivemap::kErase)
            m_erased = event.code == link::kSent;
        else if (event.function == drivemap::kProgram)
            m_written = event.code == link::kSent;
    }
    bool Erased() const { return m_erased; }
    bool Written() const { return m_written; }

private:
    link::FrmMotorCom& m_link;
    bool m_erased = false;
    bool m_written = false;
};

} // namespace

// Keeps the window alive across a command's wait, and closes it afterwards
// when the user closed it meanwhile.
struct FrmDevice::Busy {
    explicit Busy(FrmDevice* window) : m_window(window) { ++window->m_busy; }
    ~Busy() {
        if (m_window && --m_window->m_busy == 0 && m_window->m_closePending)
            m_window->deleteLater();
    }
    QPointer<FrmDevice> m_window;
};

FrmDevice::FrmDevice(link::FrmMotorCom& link, platform::PromptService& prompts,
                     ProgramSource program, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint |
                         Qt::WindowTitleHint),
      m_link(link), m_prompts(prompts), m_program(std::move(program)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    QFont font(QStringLiteral("Courier New"));
    font.setPointSizeF(9.75);
    font.setStyleHint(QFont::TypeWriter);
    setFont(font);
    Build();
    BuildTabOrder();
    // The right half beyond the collapsed window's edge is hidden, so that
    // Tab and a screen reader only find what the user can see.
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child->x() > Px(kRightHalf) && !child->isHidden())
            m_rightHalf.push_back(child);
    ShowRightHalf(false);
    setFixedSize(Px(kCollapsedWidth), Px(kClientHeight) + kStatusLineHeight);

    m_motor = std::make_unique<link::ClsKtMotor>(m_link, m_prompts);
    m_motorPort = m_motor->OpenPort();
    setWindowTitle(m_motorPort != 0
                       ? QStringLiteral("KtMotor Found on port ") + QString::number(m_motorPort)
                       : QStringLiteral("KtMotor Not Found"));
    m_chkFault->setFocus();
    // A port the user may not open looks like no drive: say how to get access.
    if (m_motorPort == 0 && !m_link.DeniedPorts().isEmpty())
        m_prompts.Message({.text = link::FrmMotorCom::PermissionHint(m_link.DeniedPorts())});
}

FrmDevice::~FrmDevice() = default;

void FrmDevice::Build() {
    QFont bold = font();
    bold.setBold(true);
    bold.setPointSizeF(12);
    QFont smallBold = font();
    smallBold.setBold(true);

    const auto button = [this](const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setCursor(HandCursor());
        b->setAutoDefault(false);
        return b;
    };
    const auto label = [&](int index, const QString& caption, int left, int top, int width) {
        m_lbl[index] = new QLabel(caption, this);
        m_lbl[index]->setFont(bold);
        Place(m_lbl[index], left, top, width, 330);
    };
    const auto box = [this](int index, int left, int top, int width) {
        m_txtPara[index] = new QLineEdit(this);
        m_txtPara[index]->installEventFilter(this);
        Place(m_txtPara[index], left, top, width, 330);
    };
    const auto check = [&](const QString& caption, int left, int top, int width, const QFont& f) {
        auto* c = new QCheckBox(caption, this);
        c->setFont(f);
        Place(c, left, top, width, 330);
        return c;
    };
    const auto write = [&](int index, const QString& caption, int left, int top, int width,
                           int height) {
        m_cmdWrite[index] = button(caption);
        Place(m_cmdWrite[index], left, top, width, height);
        connect(m_cmdWrite[index], &QPushButton::clicked, this,
                [this, index] { CmdWrite_Click(index); });
    };
    const auto read = [&](int index, const QString& caption, bool visible, bool left) {
        m_cmdRead[index] = button(caption);
        if (left)
            Place(m_cmdRead[index], 120, 30, visible ? 2535 : 2055, 375);
        else
            Place(m_cmdRead[index], 5160, 30, 6615, 375);
        m_cmdRead[index]->setVisible(visible);
        connect(m_cmdRead[index], &QPushButton::clicked, this,
                [this, index] { CmdRead_Click(index); });
    };

    // Hidden read buttons first, so the visible "Read All" buttons lie on top.
    for (int i = 0; i <= 35; ++i) {
        const bool leftHalf = i <= 7 || i == 30 || i == 34 || i == 35;
        QString caption = QStringLiteral("Read");
        if (i == 30)
            caption = QStringLiteral("Read Error");
        else if (i == 4)
            caption = QStringLiteral("Read BusVolt");
        else if (i == 35)
            caption = QStringLiteral("Read MotorVolt%");
        else if (i == 6)
            caption = QStringLiteral("Read MotorCurrent");
        else if (i == 3)
            caption = QStringLiteral("Read CurrentSpeed");
        else if (i == 34)
            caption = QStringLiteral("Read All Status");
        else if (i >= 31 && i <= 33)
            caption = QStringLiteral("Read All");
        read(i, caption, false, leftHalf);
    }
    read(36, QStringLiteral("Read All"), true, true);
    read(37, QStringLiteral("Read All"), true, false);

    m_cmdExpand = button(QStringLiteral(">>"));
    Place(m_cmdExpand, 2760, 0, 2175, 375);
    m_cmdRead[36]->setAccessibleDescription(
        QStringLiteral("Reads the status, the error and the values on the left"));
    m_cmdRead[37]->setAccessibleDescription(QStringLiteral(
        "Reads the counters, flags, inputs, word counters, timers, analog inputs and outputs"));
    connect(m_cmdExpand, &QPushButton::clicked, this, &FrmDevice::CmdExpand_Click);

    // Left half: the status and settable check boxes.
    m_chkMotorForward = check(QStringLiteral("MotorForward"), 120, 600, 2600, bold);
    m_chkMotorEnable = check(QStringLiteral("MotorEnable"), 2880, 600, 2100, bold);
    m_chkFault = check(QStringLiteral("DeviceError"), 120, 960, 2600, bold);
    m_chkProgram = check(QStringLiteral("Programmed"), 2880, 960, 2100, bold);
    // The settable ones carry the tick on the right, their right edges at 3615.
    m_chkAutoTorque = check(QStringLiteral("AutoTorque"), 1680, 5040, 3615 - 1680, bold);
    m_chkCommandForward = check(QStringLiteral("CommandForward"), 1080, 5400, 3615 - 1080, bold);
    m_chkCommandReverse = check(QStringLiteral("CommandReverse"), 1080, 5760, 3615 - 1080, bold);
    for (QCheckBox* c : {m_chkAutoTorque, m_chkCommandForward, m_chkCommandReverse})
        c->setLayoutDirection(Qt::RightToLeft);
    write(34, QStringLiteral("Write"), 3720, 4920, 1215, 350);
    write(36, QStringLiteral("Write"), 3720, 5280, 1215, 350);
    write(35, QStringLiteral("Write"), 3720, 5640, 1215, 350);
    write(37, QStringLiteral("Erase Program"), 120, 6360, 2295, 375);
    write(38, QStringLiteral("Write Program"), 2640, 6360, 2295, 375);

    // Left half: value rows (label index, box index, top).
    struct Row {
        int label;
        QString caption;
        int box;
        int top;
    };
    const Row rows[] = {
        {30, "Error:", 30, 1320},       {3, "BusVolt:", 4, 1680},
        {4, "MotorVolt:", 35, 2040},    {6, "MotorCurrent:", 6, 2400},
        {31, "CurrentSpeed:", 3, 2760}, {0, "Accelerate:", 0, 3120},
        {1, "Decelerate", 1, 3480},     {2, "ReferenceSpeed:", 2, 3840},
        {5, "CurrentLimit:", 5, 4200},  {7, "ReferenceVolt%:", 7, 4560},
    };
    for (const Row& row : rows) {
        const bool narrow = row.box == 2 || row.box == 5 || row.box == 7;
        label(row.label, row.caption, 120, row.top, (narrow ? 2400 : 2040) - 120);
        if (row.box == 0 || row.box == 1)
            box(row.box, 2040, row.top, 1575);
        else if (row.box == 2 || row.box == 5 || row.box == 7)
            box(row.box, 2400, row.top, 1215);
        else
            box(row.box, 2040, row.top, 2895);
        if (row.box <= 2 || row.box == 5 || row.box == 7)
            write(row.box, QStringLiteral("Write"), 3720, row.top, 1215, 350);
    }

    // Right half.
    for (int k = 0; k < 8; ++k) {
        const int top = 600 + 360 * k;
        label(8 + k, QStringLiteral("Counter%1:").arg(k) + (k == 1 ? " " : ""), 5160, top, 1400);
        box(8 + k, 6600, top, 735);
        write(8 + k, QStringLiteral("Write"), 7440, top, 855, 350);
        m_chkFlag[k] = check(QStringLiteral("Flag%1").arg(k), 8520, top, 1050, font());
        write(24 + k, QStringLiteral("Write"), 9600, top, 855, 350);
        m_chkInput[k] = check(QStringLiteral("Input%1").arg(k), 10680, top, 1150, font());
    }
    for (int k = 0; k < 4; ++k) {
        const int top = 3720 + 360 * k;
        label(16 + k, QStringLiteral("WordCounter%1:").arg(k), 5280, top, 2000);
        box(16 + k, 7320, top, 975);
        write(16 + k, QStringLiteral("Write"), 8400, top, 855, 350);
        const int timerTop = 5280 + 360 * k;
        label(20 + k, QStringLiteral("Timer%1:").arg(k), 6120, timerTop, 1150);
        box(20 + k, 7320, timerTop, 975);
        write(20 + k, QStringLiteral("Write"), 8400, timerTop, 855, 350);
    }
    for (int k = 0; k < 6; ++k) {
        const int top = 3720 + 360 * k;
        label(24 + k, QStringLiteral("Analog%1:").arg(k), 9600, top, 1150);
        box(24 + k, 10800, top, 975);
    }
    for (int k = 0; k < 2; ++k) {
        const int top = 6000 + 360 * k;
        m_chkOutput[k] = check(QStringLiteral("Output%1").arg(k), 9600, top, 1300, smallBold);
        write(32 + k, QStringLiteral("Write"), 10920, top, 855, 350);
    }
    // The Error box explains its code when the mouse is over it.
    m_txtPara[30]->setMouseTracking(true);

    // A box is named by the label beside it; a Write button says what it writes.
    for (int label = 0; label < static_cast<int>(m_lbl.size()); ++label) {
        const int box = label == 3 ? 4 : label == 4 ? 35 : label == 31 ? 3 : label;
        m_lbl[label]->setBuddy(m_txtPara[box]);
        m_txtPara[box]->setAccessibleDescription(BoxDescription(box));
        if (HasWrite(box))
            m_cmdWrite[box]->setAccessibleDescription(QStringLiteral("Writes ") +
                                                      Bare(m_lbl[label]->text()));
    }
    std::vector<std::pair<QCheckBox*, int>> checks = {
        {m_chkAutoTorque, 34}, {m_chkCommandReverse, 35}, {m_chkCommandForward, 36}};
    for (int k = 0; k < 8; ++k)
        checks.emplace_back(m_chkFlag[k], 24 + k);
    for (int k = 0; k < 2; ++k)
        checks.emplace_back(m_chkOutput[k], 32 + k);
    for (const auto& [check, write] : checks)
        m_cmdWrite[write]->setAccessibleDescription(QStringLiteral("Writes ") + check->text());

    // Separator lines: x1, y1, x2, y2 in twips.
    const std::array<std::array<int, 4>, 12> lines = {{{5040, 0, 5040, 6840},
                                                       {5040, 0, 5040, 6840},
                                                       {0, 480, 11880, 480},
                                                       {5040, 3600, 11880, 3600},
                                                       {9480, 3600, 9480, 6840},
                                                       {10560, 480, 10560, 3600},
                                                       {8400, 480, 8400, 3600},
                                                       {9480, 5880, 11880, 5880},
                                                       {0, 6840, 11880, 6840},
                                                       {0, 6240, 5040, 6240},
                                                       {11880, 0, 11880, 6840},
                                                       {5040, 5160, 9480, 5160}}};
    // As wide as the expanded window; the collapsed one shows its left part.
    m_statusLine = new QLabel(this);
    m_statusLine->setIndent(Px(120));
    m_statusLine->setGeometry(0, Px(kClientHeight), Px(kExpandedWidth), kStatusLineHeight);

    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto& [x1, y1, x2, y2] = lines[i];
        m_line1[i] = new QFrame(this);
        m_line1[i]->setFrameShape(x1 == x2 ? QFrame::VLine : QFrame::HLine);
        m_line1[i]->setFrameShadow(QFrame::Plain);
        m_line1[i]->setGeometry(Px(x1), Px(y1), std::max(Px(x2 - x1), 1), std::max(Px(y2 - y1), 1));
        m_line1[i]->lower();
    }
}

void FrmDevice::BuildTabOrder() {
    // The drive's own order, kept as users of the window know it; hidden
    // controls are skipped.
    std::vector<QWidget*> order = {m_chkFault,          m_chkMotorEnable, m_chkMotorForward,
                                   m_chkProgram,        m_chkAutoTorque,  m_cmdWrite[34],
                                   m_chkCommandReverse, m_cmdWrite[35],   m_chkCommandForward,
                                   m_cmdWrite[36],      m_cmdWrite[37],   m_cmdWrite[38]};
    for (int i : {0, 1, 2, 5, 7}) {
        order.push_back(m_txtPara[i]);
        order.push_back(m_cmdWrite[i]);
    }
    for (int i = 8; i <= 23; ++i) {
        order.push_back(m_txtPara[i]);
        order.push_back(m_cmdWrite[i]);
    }
    for (int i = 24; i <= 29; ++i)
        order.push_back(m_txtPara[i]);
    for (int k = 0; k < 8; ++k) {
        order.push_back(m_chkFlag[k]);
        order.push_back(m_cmdWrite[24 + k]);
    }
    for (int k = 0; k < 2; ++k) {
        order.push_back(m_chkOutput[k]);
        order.push_back(m_cmdWrite[32 + k]);
    }
    for (QCheckBox* input : m_chkInput)
        order.push_back(input);
    for (QWidget* w : {static_cast<QWidget*>(m_cmdExpand), static_cast<QWidget*>(m_cmdRead[36]),
                       static_cast<QWidget*>(m_txtPara[35]), static_cast<QWidget*>(m_txtPara[30]),
                       static_cast<QWidget*>(m_txtPara[6]), static_cast<QWidget*>(m_txtPara[4]),
                       static_cast<QWidget*>(m_txtPara[3]), static_cast<QWidget*>(m_cmdRead[37])})
        order.push_back(w);
    for (std::size_t i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
}

bool FrmDevice::Expanded() const {
    return m_cmdExpand->text() == QStringLiteral("<<");
}

void FrmDevice::CmdExpand_Click() {
    const bool expand = !Expanded();
    if (expand)
        ShowRightHalf(true);
    setFixedSize(Px(expand ? kExpandedWidth : kCollapsedWidth), height());
    m_cmdExpand->setText(expand ? QStringLiteral("<<") : QStringLiteral(">>"));
    if (!expand)
        ShowRightHalf(false);
}

void FrmDevice::ShowRightHalf(bool shown) {
    for (QWidget* widget : m_rightHalf)
        widget->setVisible(shown);
    m_cmdExpand->setAccessibleDescription(
        shown ? QStringLiteral("Hides the counters, flags, inputs, timers and outputs")
              : QStringLiteral("Shows the counters, flags, inputs, timers and outputs"));
}

bool FrmDevice::eventFilter(QObject* watched, QEvent* event) {
    for (int index = 0; index < static_cast<int>(m_txtPara.size()); ++index) {
        QLineEdit* box = m_txtPara[index];
        if (watched != box)
            continue;
        if (event->type() == QEvent::FocusIn) {
            // The Error box keeps its code in view: all selected, cursor at the start.
            const auto selectAll = [box, index] {
                if (index == 30)
                    box->setSelection(static_cast<int>(box->text().size()),
                                      -static_cast<int>(box->text().size()));
                else
                    box->selectAll();
            };
            selectAll();
            // A click places the cursor after the focus arrives: select again then.
            QTimer::singleShot(0, box, selectAll);
        } else if (event->type() == QEvent::MouseMove && index == 30) {
            box->setToolTip(link::ClsKtMotor::ErrorDescription(box->text()));
        }
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void FrmDevice::closeEvent(QCloseEvent* event) {
    if (m_busy > 0) {
        // A command still waits for the drive: go away now, be deleted after.
        hide();
        m_closePending = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void FrmDevice::done(int result) {
    if (m_busy > 0) {
        hide();
        m_closePending = true;
        return;
    }
    QDialog::done(result);
}

void FrmDevice::showEvent(QShowEvent* event) {
    // Shown again before the waiting command ended: it stays.
    m_closePending = false;
    QDialog::showEvent(event);
}

bool FrmDevice::ReadOne(int index) {
    link::ClsKtMotor& motor = *m_motor;
    Byte result = 0;
    float single = 0;
    Byte byte = 0;
    std::int32_t word = 0;
    QLineEdit* target = index < static_cast<int>(m_txtPara.size()) ? m_txtPara[index] : nullptr;
    const auto singleRead = [&](Byte (link::ClsKtMotor::*read)(float&)) {
        result = (motor.*read)(single);
        return NumberText(single);
    };
    QString text;
    if (index == 0)
        text = singleRead(&link::ClsKtMotor::ReadAccelerationRate);
    else if (index == 1)
        text = singleRead(&link::ClsKtMotor::ReadDecelerationRate);
    else if (index == 2)
        text = singleRead(&link::ClsKtMotor::ReadReferenceSpeed);
    else if (index == 3)
        text = singleRead(&link::ClsKtMotor::ReadCurrentSpeed);
    else if (index == 4)
        text = singleRead(&link::ClsKtMotor::ReadBusVolt);
    else if (index == 5)
        text = singleRead(&link::ClsKtMotor::ReadCurrentLimit);
    else if (index == 6)
        text = singleRead(&link::ClsKtMotor::ReadMotorCurrent);
    else if (index == 7) {
        result = motor.ReadReferenceVolt(byte);
        text = QString::number(byte);
    } else if (index >= 8 && index <= 15) {
        result = motor.ReadCounter(static_cast<Byte>(index - 8), byte);
        text = QString::number(byte);
    } else if (index >= 16 && index <= 19) {
        result = motor.ReadWordCounter(static_cast<Byte>(index - 16), word);
        text = QString::number(word);
    } else if (index >= 20 && index <= 23) {
        result = motor.ReadTimer(static_cast<Byte>(index - 20), byte);
        text = QString::number(byte);
    } else if (index >= 24 && index <= 29) {
        result = motor.ReadAnalog(static_cast<Byte>(index - 24), word);
        text = QString::number(word);
    } else if (index == 35) {
        result = motor.ReadMotorVolt(byte);
        text = QString::number(byte);
    } else {
        return true;
    }
    if (result != link::kSent)
        return false;
    target->setText(text);
    return true;
}

bool FrmDevice::ReadErrorBox() {
    Byte code = 0;
    if (m_motor->ReadError(code) != link::kSent)
        return false;
    m_txtPara[30]->setText(QString::number(code) + QStringLiteral(": ") +
                           link::ClsKtMotor::ErrorDescription(static_cast<double>(code)));
    // setText leaves the cursor at the end, which scrolls the code out of a
    // box narrower than its text.
    m_txtPara[30]->home(false);
    return true;
}

bool FrmDevice::ReadStatusBoxes() {
    bool fault = false, enable = false, forward = false, program = false, torque = false,
         reverse = false, commandForward = false;
    if (m_motor->ReadStatus(fault, enable, forward, program, torque, reverse, commandForward) !=
        link::kSent)
        return false;
    m_chkFault->setChecked(fault);
    m_chkMotorEnable->setChecked(enable);
    m_chkMotorForward->setChecked(forward);
    m_chkProgram->setChecked(program);
    m_chkAutoTorque->setChecked(torque);
    m_chkCommandReverse->setChecked(reverse);
    m_chkCommandForward->setChecked(commandForward);
    return true;
}

void FrmDevice::CmdRead_Click(int index) {
    const Busy busy(this);
    const QPointer<FrmDevice> self(this);
    bool ok = true;
    bool flags[8] = {}, inputs[8] = {};
    bool op0 = false, op1 = false;
    if (index == 36) {
        for (int step : {0, 1, 2, 3, 4, 5, 6, 7, 35}) {
            ok = ReadOne(step);
            if (!self || !ok)
                break;
        }
        if (self && ok)
            ok = ReadStatusBoxes();
        if (self && ok)
            ok = ReadErrorBox();
    } else if (index == 37) {
        for (int k = 0; k < 4 && ok; ++k) {
            std::int32_t data = 0;
            ok = m_motor->ReadWordCounter(static_cast<Byte>(k), data) == link::kSent;
            if (!self)
                return;
            if (ok) {
                // The byte counters share these bytes, low byte first.
                m_txtPara[16 + k]->setText(QString::number(data));
                m_txtPara[8 + 2 * k]->setText(QString::number(data % 256));
                m_txtPara[9 + 2 * k]->setText(QString::number(data / 256));
            }
        }
        for (int i = 20; i <= 29 && ok && self; ++i)
            ok = ReadOne(i);
        if (self && ok && (ok = m_motor->ReadFlags(flags) == link::kSent)) {
            if (self) {
                for (int k = 0; k < 8; ++k)
                    m_chkFlag[k]->setChecked(flags[k]);
            }
        }
        if (self && ok && (ok = m_motor->ReadOutputs(op0, op1) == link::kSent)) {
            if (self) {
                m_chkOutput[0]->setChecked(op0);
                m_chkOutput[1]->setChecked(op1);
            }
        }
        if (self && ok && (ok = m_motor->ReadInputs(inputs) == link::kSent)) {
            if (self) {
                for (int k = 0; k < 8; ++k)
                    m_chkInput[k]->setChecked(inputs[k]);
            }
        }
    } else if (index == 30) {
        ok = ReadErrorBox();
    } else if (index == 31) {
        ok = m_motor->ReadFlags(flags) == link::kSent;
        if (self && ok) {
            for (int k = 0; k < 8; ++k)
                m_chkFlag[k]->setChecked(flags[k]);
        }
    } else if (index == 32) {
        ok = m_motor->ReadInputs(inputs) == link::kSent;
        if (self && ok) {
            for (int k = 0; k < 8; ++k)
                m_chkInput[k]->setChecked(inputs[k]);
        }
    } else if (index == 33) {
        ok = m_motor->ReadOutputs(op0, op1) == link::kSent;
        if (self && ok) {
            m_chkOutput[0]->setChecked(op0);
            m_chkOutput[1]->setChecked(op1);
        }
    } else if (index == 34) {
        ok = ReadStatusBoxes();
    } else {
        ok = ReadOne(index);
    }
    if (!ok)
        m_prompts.Message({.text = kNotRead});
}

bool FrmDevice::WriteOne(int index) {
    link::ClsKtMotor& motor = *m_motor;
    const QString text = index < static_cast<int>(m_txtPara.size()) && m_txtPara[index]
                             ? m_txtPara[index]->text()
                             : QString();
    const auto single = [&](Byte (link::ClsKtMotor::*write)(float&)) {
        std::optional<float> value = ToSingle(text);
        return value && (motor.*write)(*value) == link::kSent;
    };
    const auto byte = [&]() { return ToWhole(text, 0, 255); };
    switch (index) {
    case 0:
        return single(&link::ClsKtMotor::WriteAccelerationRate);
    case 1:
        return single(&link::ClsKtMotor::WriteDecelerationRate);
    case 2:
        return single(&link::ClsKtMotor::WriteReferenceSpeed);
    case 5:
        return single(&link::ClsKtMotor::WriteCurrentLimit);
    case 7: {
        const auto value = byte();
        return value && motor.WriteReferenceVolt(static_cast<Byte>(*value)) == link::kSent;
    }
    case 34:
        return motor.WriteAutoTorque(m_chkAutoTorque->isChecked()) == link::kSent;
    case 35:
        return motor.WriteCommandReverse(m_chkCommandReverse->isChecked()) == link::kSent;
    case 36:
        return motor.WriteCommandForward(m_chkCommandForward->isChecked()) == link::kSent;
    default:
        break;
    }
    if (index >= 8 && index <= 15) {
        const auto value = byte();
        return value && motor.WriteCounter(static_cast<Byte>(index - 8),
                                           static_cast<Byte>(*value)) == link::kSent;
    }
    if (index >= 16 && index <= 19) {
        const auto value = ToWhole(text, -2147483648.0, 2147483647.0);
        return value && motor.WriteWordCounter(static_cast<Byte>(index - 16),
                                               static_cast<std::int32_t>(*value)) == link::kSent;
    }
    if (index >= 20 && index <= 23) {
        const auto value = byte();
        return value && motor.WriteTimer(static_cast<Byte>(index - 20),
                                         static_cast<Byte>(*value)) == link::kSent;
    }
    if (index >= 24 && index <= 31)
        return motor.WriteFlag(static_cast<Byte>(index - 24), m_chkFlag[index - 24]->isChecked()) ==
               link::kSent;
    if (index == 32 || index == 33)
        return motor.WriteOutput(static_cast<Byte>(index - 32),
                                 m_chkOutput[index - 32]->isChecked()) == link::kSent;
    return true; // 3, 4 and 6 have no write button
}

void FrmDevice::WriteProgram() {
    std::uint8_t error = 0;
    long lineCount = 0;
    const QByteArray image = m_program ? m_program(error, lineCount) : QByteArray();
    const QPointer<FrmDevice> self(this);
    if (error != 0) {
        const QString text = QStringLiteral("ProgramError at Line") + QString::number(lineCount);
        m_prompts.Message({.text = text});
        if (self)
            platform::Announce(m_statusLine, text);
        return;
    }
    const ProgramExchanges exchanges(m_link);
    const bool sent = m_motor->WriteProgram(image) == link::kSent;
    if (!sent)
        m_prompts.Message({.text = kErrorWriting});
    if (!self)
        return;
    // The status line tells what the drive holds.
    if (exchanges.Written()) {
        m_statusLine->setText(QStringLiteral("Program written: %1 of %2 bytes")
                                  .arg(FilledBytes(image))
                                  .arg(compiler::kProgramSize));
        platform::Announce(m_statusLine, m_statusLine->text());
    } else if (exchanges.Erased()) {
        m_statusLine->clear();
    }
    if (!sent)
        platform::Announce(m_statusLine, kErrorWriting);
}

void FrmDevice::EraseProgram() {
    const QPointer<FrmDevice> self(this);
    const ProgramExchanges exchanges(m_link);
    if (m_motor->ProgramErase() != link::kSent)
        m_prompts.Message({.text = kErrorWriting});
    if (self && exchanges.Erased())
        m_statusLine->clear();
}

void FrmDevice::CmdWrite_Click(int index) {
    const Busy busy(this);
    if (index == 38)
        WriteProgram();
    else if (index == 37)
        EraseProgram();
    else if (!WriteOne(index))
        m_prompts.Message({.text = kErrorWriting});
}

} // namespace kt::device
