#include "simulator/frm_simulator.h"

#include "compiler/compile_hint.h"
#include "compiler/compile_messages.h"
#include "compiler/program_text.h"
#include "drive/virtual_drive.h"
#include "drivemap/drive_catalogue.h"
#include "link/cls_kt_motor.h"
#include "platform/announce.h"
#include "platform/prompt_service.h"
#include "platform/text_zoom.h"
#include "sim/program_interpreter.h"
#include "simulator/breakpoint_list.h"
#include "simulator/force_panel.h"
#include "simulator/lamp.h"
#include "simulator/sim_timeline.h"
#include "simulator/statement_values.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace kt::simulator {

namespace {

using drivemap::Address;
using drivemap::Channels;
using drivemap::Id;

QString Caption(const drivemap::ValueRef& ref) {
    const std::string_view unit = ref.value->unit;
    return QString::fromStdString(drivemap::Name(ref)) +
           (unit.empty() ? QString() : QStringLiteral(" [%1]").arg(QLatin1String(unit)));
}

void SetLamp(Lamp* lamp, bool on) {
    if (lamp != nullptr)
        lamp->SetOn(on);
}

const QString kForcedMark = QStringLiteral(" (F)");

// While running, the timeline is drawn again every this many slices: a few
// times a second, as each drawing replays the recorded run.
constexpr int kSlicesPerDrawing = 10;

QString FromProgramText(const std::string& text) {
    return QString::fromStdString(compiler::Windows1252ToUtf8(text));
}

} // namespace

FrmSimulator::FrmSimulator(drive::VirtualDrive& drive, platform::PromptService& prompts,
                           ProgramSource program, LineSource lines, QWidget* owner)
    : QDialog(owner), m_drive(drive), m_prompts(prompts), m_program(std::move(program)),
      m_lineSource(std::move(lines)), m_history(drive.Interpreter()) {
    setWindowTitle(QStringLiteral("Simulator \u2014 a simulation, not the drive"));
    Build();
    platform::TextZoom::Instance().Follow(this);
    platform::TextZoom::Instance().AddActions(this);
    m_slice.setInterval(kSliceMs);
    connect(&m_slice, &QTimer::timeout, this, &FrmSimulator::AdvanceSlice);
    connect(this, &QDialog::finished, this, &FrmSimulator::Stop);
    UpdateButtons();
    Refresh();
}

// Sized when first shown, with the style's and the zoom's sizes in place:
// all of it where the screen has room, else as much as fits.
void FrmSimulator::showEvent(QShowEvent* event) {
    if (!std::exchange(m_sized, true)) {
        QSize size(width(),
                   height() - m_scroll->height() + m_scroll->widget()->sizeHint().height());
        if (const QScreen* where = screen())
            size = size.boundedTo(where->availableSize() - (frameGeometry().size() - this->size()));
        resize(size);
    }
    QDialog::showEvent(event);
}

FrmSimulator::~FrmSimulator() {
    m_slice.stop();
    m_breakpoints->Uninstall();
    GiveBackClock();
}

void FrmSimulator::Build() {
    auto* top = new QVBoxLayout(this);

    auto* controls = new QHBoxLayout;
    m_run = new QPushButton(QStringLiteral("Run"), this);
    m_pause = new QPushButton(QStringLiteral("Pause"), this);
    m_step = new QPushButton(QStringLiteral("Step"), this);
    m_stop = new QPushButton(QStringLiteral("Stop"), this);
    for (QPushButton* button : {m_run, m_pause, m_step, m_stop}) {
        button->setAutoDefault(false);
        controls->addWidget(button);
    }
    connect(m_run, &QPushButton::clicked, this, &FrmSimulator::Run);
    connect(m_pause, &QPushButton::clicked, this, &FrmSimulator::Pause);
    connect(m_step, &QPushButton::clicked, this, &FrmSimulator::Step);
    connect(m_stop, &QPushButton::clicked, this, &FrmSimulator::Stop);
    m_stepBack = new QPushButton(QStringLiteral("&Step back"), this);
    m_stepBack->setToolTip(QStringLiteral("Back one statement"));
    m_runBack = new QPushButton(QStringLiteral("R&un back"), this);
    m_runBack->setToolTip(
        QStringLiteral("Back to where the run would have paused before: a marked line or a "
                       "data breakpoint, else the start of what is recorded"));
    for (QPushButton* button : {m_stepBack, m_runBack}) {
        button->setAutoDefault(false);
        button->setAccessibleName(button->text().remove(QLatin1Char('&')));
        controls->addWidget(button);
    }
    connect(m_stepBack, &QPushButton::clicked, this, &FrmSimulator::StepBack);
    connect(m_runBack, &QPushButton::clicked, this, &FrmSimulator::RunBack);
    // Window-wide keys, as the main window's Simulate menu has F5 and F10;
    // going back is the same key with Ctrl+Shift. Shift+F10 stays the
    // context menu's.
    const std::pair<QPushButton*, QKeySequence> keys[] = {
        {m_run, QKeySequence(Qt::Key_F5)},
        {m_pause, QKeySequence(Qt::Key_F6)},
        {m_step, QKeySequence(Qt::Key_F10)},
        {m_stop, QKeySequence(Qt::SHIFT | Qt::Key_F5)},
        {m_stepBack, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F10)},
        {m_runBack, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F5)}};
    for (const auto& [button, key] : keys) {
        auto* action = new QAction(button->text().remove(QLatin1Char('&')), this);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        // A disabled button ignores its click, and so its key.
        connect(action, &QAction::triggered, button, &QPushButton::click);
        const QString what = button->toolTip().isEmpty() ? action->text() : button->toolTip();
        button->setToolTip(
            QStringLiteral("%1 (%2)").arg(what, key.toString(QKeySequence::NativeText)));
    }
    controls->addStretch();
    auto* speedLabel = new QLabel(QStringLiteral("S&peed"), this);
    controls->addWidget(speedLabel);
    m_speed = new QComboBox(this);
    speedLabel->setBuddy(m_speed);
    m_speed->addItems(
        {QStringLiteral("1x"), QStringLiteral("10x"), QStringLiteral("As fast as possible")});
    controls->addWidget(m_speed);
    top->addLayout(controls);

    auto* state = new QHBoxLayout;
    m_stateLine = new QLabel(this);
    m_stateLine->setWordWrap(true);
    m_stateLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_stateLine->setAccessibleName(QStringLiteral("State"));
    QFont bold = m_stateLine->font();
    bold.setBold(true);
    m_stateLine->setFont(bold);
    m_time = new QLabel(this);
    m_time->setAccessibleName(QStringLiteral("Simulated time"));
    m_time->setToolTip(QStringLiteral("Simulated time since Run"));
    state->addWidget(m_stateLine, 1);
    state->addWidget(m_time, 0, Qt::AlignRight | Qt::AlignTop);
    top->addLayout(state);

    // Below the run's controls the window scrolls, so it fits a laptop's
    // screen or a large text size without cutting anything off.
    auto* page = new QWidget;
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    auto* body = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    body->addLayout(left, 3);
    body->addLayout(right, 2);
    pageLayout->addLayout(body);
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    top->addWidget(m_scroll, 1);

    auto* inputs = new QGroupBox(QStringLiteral("Inputs"), this);
    auto* inputGrid = new QGridLayout(inputs);
    for (int n = 0; n < Channels(Id::Inputs); ++n) {
        m_inputs[n] = new QCheckBox(QLatin1String(drivemap::kInputBits[n].name), inputs);
        inputGrid->addWidget(m_inputs[n], n / 4, n % 4);
        connect(m_inputs[n], &QCheckBox::clicked, this,
                [this, n](bool on) { UserSetInput(n, on); });
    }
    for (int n = 0; n < Channels(Id::Analog); ++n) {
        const drivemap::ValueRef ref{&drivemap::At(Id::Analog), n};
        m_analogs[n] = new QSlider(Qt::Horizontal, inputs);
        m_analogs[n]->setRange(static_cast<int>(ref.value->range.low),
                               static_cast<int>(ref.value->range.high));
        m_analogs[n]->setAccessibleName(QString::fromStdString(drivemap::Name(ref)));
        const std::string_view unit = ref.value->unit;
        m_analogs[n]->setAccessibleDescription(
            QStringLiteral("%1 to %2%3")
                .arg(QString::fromStdString(drivemap::Format(ref, ref.value->range.low)),
                     QString::fromStdString(drivemap::Format(ref, ref.value->range.high)),
                     unit.empty() ? QString() : QLatin1Char(' ') + QLatin1String(unit)));
        // Page Up and Page Down cross the range in sixteen steps.
        m_analogs[n]->setPageStep(std::max(1, m_analogs[n]->maximum() / 16));
        auto* caption = new QLabel(Caption(ref), inputs);
        caption->setBuddy(m_analogs[n]);
        // Its number, refreshed with the other values from the drive's memory.
        auto* number = new QLabel(inputs);
        number->setMinimumWidth(number->fontMetrics().horizontalAdvance(QString::fromStdString(
            drivemap::Format(ref, static_cast<double>(ref.value->range.high)))));
        number->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        inputGrid->addWidget(caption, 2 + n, 0);
        inputGrid->addWidget(m_analogs[n], 2 + n, 1, 1, 3);
        inputGrid->addWidget(number, 2 + n, 4);
        m_values.push_back({ref, number});
        connect(m_analogs[n], &QSlider::valueChanged, this,
                [this, n](int value) { UserSetAnalog(n, static_cast<std::uint16_t>(value)); });
    }
    left->addWidget(inputs);

    auto* bits = new QGroupBox(QStringLiteral("Outputs, flags and status"), this);
    auto* bitGrid = new QGridLayout(bits);
    for (const drivemap::Bit& bit : drivemap::kOutputBits) {
        m_outputs[bit.index] = new Lamp(QLatin1String(bit.name), bits);
        bitGrid->addWidget(m_outputs[bit.index], 0, bit.index);
    }
    for (const drivemap::Bit& bit : drivemap::kFlagBits) {
        m_flags[bit.index] = new Lamp(QLatin1String(bit.name), bits);
        bitGrid->addWidget(m_flags[bit.index], 1 + bit.index / 4, bit.index % 4);
    }
    for (int n = 0; n < Channels(Id::Timer); ++n) {
        m_timerFlags[n] = new Lamp(QStringLiteral("TimerFlag.%1").arg(n), bits);
        bitGrid->addWidget(m_timerFlags[n], 3, n);
    }
    int cell = 0;
    for (const drivemap::Bit& bit : drivemap::kStatusBits) {
        m_status[bit.index] = new Lamp(QLatin1String(bit.name), bits);
        bitGrid->addWidget(m_status[bit.index], 4 + cell / 4, cell % 4);
        ++cell;
    }
    left->addWidget(bits);

    auto* values = new QGroupBox(QStringLiteral("Values"), this);
    auto* valueGrid = new QGridLayout(values);
    // Every number but the analog inputs, which have their sliders, and the
    // identification, which never changes.
    int place = 0;
    for (const drivemap::DriveValue& value : drivemap::Values()) {
        if (value.kind == drivemap::Kind::Bits || value.id == Id::Analog ||
            value.id == Id::Identification)
            continue;
        const int channels = std::max<int>(value.channels, 1);
        for (int channel = 0; channel < channels; ++channel) {
            const drivemap::ValueRef ref{&value, value.channels > 0 ? channel : -1};
            auto* label = new QLabel(values);
            label->setTextInteractionFlags(Qt::TextSelectableByMouse);
            // The error's text is long: it gets a row of its own.
            const int span = value.kind == drivemap::Kind::Text ? 3 : 1;
            if (place % 4 + span > 4)
                place += 4 - place % 4;
            valueGrid->addWidget(new QLabel(Caption(ref), values), place / 4, 2 * (place % 4));
            valueGrid->addWidget(label, place / 4, 2 * (place % 4) + 1, 1, 2 * span - 1);
            place += span;
            m_values.push_back({ref, label});
        }
    }
    left->addWidget(values);
    left->addStretch();

    m_forcePanel = new ForcePanel(this);
    connect(m_forcePanel, &ForcePanel::forceRequested, this, &FrmSimulator::UserForce);
    connect(m_forcePanel, &ForcePanel::releaseRequested, this, &FrmSimulator::UserRelease);
    right->addWidget(m_forcePanel);
    m_breakpoints = new BreakpointList(m_drive.Interpreter(), this);
    right->addWidget(m_breakpoints);
    right->addStretch();

    m_timeline = new SimTimeline(m_history, this);
    connect(m_timeline, &SimTimeline::timeClicked, this, &FrmSimulator::MoveTo);
    pageLayout->addWidget(m_timeline, 1);
    m_scroll->setWidget(page);
    // The window grows as wide as what it holds, as far as the screen lets it.
    page->installEventFilter(this);
}

bool FrmSimulator::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_scroll->widget() && event->type() == QEvent::LayoutRequest) {
        int wanted = m_scroll->widget()->minimumSizeHint().width() +
                     m_scroll->verticalScrollBar()->sizeHint().width();
        if (const QScreen* where = screen())
            wanted =
                std::min(wanted, where->availableSize().width() - (width() - m_scroll->width()));
        m_scroll->setMinimumWidth(wanted);
    }
    return QDialog::eventFilter(watched, event);
}

void FrmSimulator::UserSetInput(int n, bool on) {
    m_history.SetInput(n, on);
    Refresh();
}

void FrmSimulator::UserSetAnalog(int n, std::uint16_t value) {
    m_history.SetAnalog(n, value);
    Refresh();
}

void FrmSimulator::UserForce(const drivemap::ValueRef& ref, std::uint16_t count) {
    if (!m_history.Force(ref, count)) {
        m_forcePanel->SetMessage(
            QStringLiteral("%1 cannot be forced").arg(QString::fromStdString(drivemap::Name(ref))));
        return;
    }
    if (std::ranges::find(m_forced, ref) == m_forced.end())
        m_forced.push_back(ref);
    Refresh();
}

void FrmSimulator::UserRelease(const drivemap::ValueRef& ref, bool restore) {
    if (!m_history.Release(ref, restore)) {
        m_forcePanel->SetMessage(
            QStringLiteral("%1 is not forced").arg(QString::fromStdString(drivemap::Name(ref))));
        return;
    }
    Refresh();
}

void FrmSimulator::SetBreakLines(const std::vector<int>& lines) {
    m_breakLines = std::set<int>(lines.begin(), lines.end());
}

void FrmSimulator::SetSpeed(Speed speed) {
    m_speed->setCurrentIndex(static_cast<int>(speed));
}

FrmSimulator::Speed FrmSimulator::CurrentSpeed() const {
    return static_cast<Speed>(std::max(0, m_speed->currentIndex()));
}

void FrmSimulator::Run() {
    if (m_state == State::Running)
        return;
    if (m_state == State::Paused) {
        // The statement paused before is the one the user asked to run on
        // from; after a data breakpoint its mark has not been seen yet.
        m_leaveBreak = m_reason != Reason::DataBreakpoint;
    } else {
        if (!Load())
            return;
        m_leaveBreak = false;
    }
    m_state = State::Running;
    m_reason = Reason::None;
    m_breakpoints->ClearHit();
    m_slice.start();
    UpdateButtons();
    Refresh();
}

void FrmSimulator::Pause() {
    if (m_state != State::Running)
        return;
    m_slice.stop();
    m_state = State::Paused;
    ShowLine(LineOf(m_drive.Interpreter().NextStatement()));
    UpdateButtons();
    Refresh();
}

void FrmSimulator::Step() {
    // Also ends a motor's slowing down: the new run has the clock now.
    m_slice.stop();
    m_reason = Reason::None;
    m_breakpoints->ClearHit();
    if (m_state == State::Stopped) {
        if (!Load()) {
            Settle();
            return;
        }
        m_state = State::Paused;
    } else {
        m_state = State::Paused;
        const sim::ProgramInterpreter& interpreter = m_drive.Interpreter();
        m_history.Step();
        if (!interpreter.Running()) {
            ProgramEnded();
            return;
        }
        if (interpreter.LastHit())
            PauseForHit(*interpreter.LastHit());
    }
    ShowLine(LineOf(m_drive.Interpreter().NextStatement()));
    UpdateButtons();
    Refresh();
}

void FrmSimulator::Stop() {
    StopFor(Reason::StopPressed);
}

void FrmSimulator::ProgramEdited() {
    StopFor(Reason::Edited);
}

void FrmSimulator::StepBack() {
    if (m_state == State::Paused && m_history.StepBack())
        Moved(Reason::SteppedBack);
}

void FrmSimulator::RunBack() {
    if (m_state == State::Paused &&
        m_history.RunBack([this](std::size_t next) { return BreaksAt(next); }))
        Moved(Reason::RanBack);
}

void FrmSimulator::MoveTo(std::uint64_t timeMs) {
    Pause();
    if (m_state == State::Paused &&
        m_history.SeekTo(std::clamp(timeMs, m_history.EarliestMs(), m_history.LatestMs())))
        Moved(Reason::Moved);
}

void FrmSimulator::Moved(Reason reason) {
    m_reason = reason;
    m_breakpoints->ClearHit();
    ShowLine(LineOf(m_drive.Interpreter().NextStatement()));
    UpdateButtons();
    Refresh();
}

void FrmSimulator::FreezeTimeline() {
    m_timeline->Update();
    m_timeline->SetLive(false);
}

void FrmSimulator::StopFor(Reason reason) {
    if (m_state != State::Stopped) {
        FreezeTimeline();
        m_drive.Interpreter().Stop();
        m_reason = reason;
    }
    m_breakpoints->Uninstall();
    m_breakpoints->ClearHit();
    m_state = State::Stopped;
    // Always told, so a highlight left from elsewhere goes too.
    m_line = 0;
    emit statementLine(0);
    Settle();
    UpdateButtons();
    Refresh();
}

void FrmSimulator::AdvanceSlice() {
    if (m_state == State::Stopped && m_holdsClock) {
        m_drive.RunFor(SliceSimulatedMs());
        Settle();
    }
    if (m_state != State::Running) {
        Refresh();
        return;
    }
    switch (CurrentSpeed()) {
    case Speed::RealTime:
    case Speed::TenTimes:
        RunStatements(SliceSimulatedMs(), true);
        break;
    case Speed::Fastest:
        RunStatements(kFastestStatements, false);
        break;
    }
    Refresh();
}

int FrmSimulator::SliceSimulatedMs() const {
    switch (CurrentSpeed()) {
    case Speed::RealTime:
        return kSliceMs;
    case Speed::TenTimes:
        return 10 * kSliceMs;
    case Speed::Fastest:
        break;
    }
    return kFastestStatements * sim::ProgramInterpreter::kStatementMs;
}

// Every step is one millisecond of simulated time, so a time budget and a
// statement budget count alike; they differ once the program has ended.
void FrmSimulator::RunStatements(int budget, bool byTime) {
    sim::ProgramInterpreter& interpreter = m_drive.Interpreter();
    for (int spent = 0; spent < budget; ++spent) {
        if (!interpreter.Running()) {
            if (byTime)
                m_drive.RunFor(budget - spent);
            ProgramEnded();
            return;
        }
        const std::size_t next = interpreter.NextStatement();
        if (!std::exchange(m_leaveBreak, false) && BreaksAt(next)) {
            m_slice.stop();
            m_state = State::Paused;
            m_reason = Reason::Breakpoint;
            ShowLine(LineOf(next));
            UpdateButtons();
            return;
        }
        m_history.Step();
        if (interpreter.LastHit() && interpreter.Running()) {
            PauseForHit(*interpreter.LastHit());
            return;
        }
    }
    if (interpreter.Running())
        ShowLine(LineOf(interpreter.NextStatement()));
    else
        ProgramEnded();
}

bool FrmSimulator::Load() {
    std::uint8_t error = 0;
    long lineCount = 0;
    const QByteArray bytes = m_program ? m_program(error, lineCount) : QByteArray();
    if (error != 0) {
        // The box names the line only; the state line, shown first, says
        // what is wrong.
        m_reason = Reason::ProgramError;
        m_told.clear(); // the same error again is told again
        m_error = QStringLiteral("program error at line %1: %2")
                      .arg(lineCount)
                      .arg(QLatin1String(compiler::CompileMessage(error)));
        if (m_textSource) {
            const std::string hint = compiler::ProgramHint(m_textSource(), error, lineCount);
            if (!hint.empty())
                m_error += QLatin1Char(' ') + FromProgramText(hint);
        }
        Refresh();
        m_prompts.Message(
            {.text = QStringLiteral("ProgramError at Line") + QString::number(lineCount)});
        return false;
    }
    compiler::ProgramImage image;
    image.fill(compiler::kImageFill);
    std::copy_n(bytes.begin(), std::min<qsizetype>(bytes.size(), image.size()), image.begin());
    m_lines = m_lineSource ? m_lineSource() : std::vector<int>();
    m_image = image;

    TakeClock();
    sim::ProgramInterpreter& interpreter = m_drive.Interpreter();
    // A load error is left in the drive's error byte, which the window shows.
    if (interpreter.Load(image) != 0 || !interpreter.Running()) {
        ProgramEnded();
        return false;
    }
    m_startMs = interpreter.TimeMs();
    m_history.Start();
    m_timeline->SetOrigin(m_startMs);
    m_timeline->SetLive(true);
    m_reason = Reason::None;
    m_breakpoints->Install();
    ShowLine(LineOf(interpreter.NextStatement()));
    Refresh();
    return true;
}

// The program stopped by itself: an error, or the drive was erased.
void FrmSimulator::ProgramEnded() {
    FreezeTimeline();
    m_state = State::Stopped;
    m_breakpoints->Uninstall();
    const sim::ProgramInterpreter& interpreter = m_drive.Interpreter();
    m_reason = Reason::DriveError;
    // The error as the drive's error byte reads: "1: Program passed end of buffer."
    const QString error = QString::fromStdString(
        drivemap::Text(drivemap::ValueRef{&drivemap::At(Id::Error)}, interpreter.Memory()));
    const int line = LineOf(interpreter.ErrorStatement());
    if (interpreter.Error() == 0)
        m_error = QStringLiteral("the program ended");
    else if (line > 0)
        m_error = QStringLiteral("run error at line %1: %2").arg(QString::number(line), error);
    else
        m_error = QStringLiteral("run error: %1").arg(error);
    ShowLine(0);
    Settle();
    UpdateButtons();
    Refresh();
}

void FrmSimulator::Settle() {
    const sim::ProgramInterpreter& interpreter = m_drive.Interpreter();
    const bool turning = interpreter.Motor().Velocity() != 0 ||
                         (interpreter.Byte(Address(Id::Status)) &
                          drivemap::Mask(drivemap::StatusBit::MotorEnable)) != 0;
    if (m_state == State::Stopped && m_holdsClock && turning) {
        if (!m_slice.isActive())
            m_slice.start();
        return;
    }
    if (m_state == State::Stopped) {
        m_slice.stop();
        GiveBackClock();
    }
}

// While the window runs the program, only it moves simulated time: the
// drive's own clock would run on through a pause.
void FrmSimulator::TakeClock() {
    if (m_holdsClock)
        return;
    m_driveClock = m_drive.RealTime();
    m_drive.SetRealTime(false);
    m_holdsClock = true;
}

void FrmSimulator::GiveBackClock() {
    if (!m_holdsClock)
        return;
    m_elapsedMs = m_drive.Interpreter().TimeMs() - m_startMs;
    if (m_driveClock)
        m_drive.SetRealTime(true);
    m_holdsClock = false;
}

void FrmSimulator::ShowLine(int line) {
    if (line == m_line)
        return;
    m_line = line;
    emit statementLine(line);
}

int FrmSimulator::LineOf(std::size_t statement) const {
    return statement < m_lines.size() ? m_lines[statement] : 0;
}

bool FrmSimulator::BreaksAt(std::size_t statement) const {
    return !m_breakLines.empty() && m_breakLines.contains(LineOf(statement));
}

void FrmSimulator::PauseForHit(const sim::BreakHit& hit) {
    m_slice.stop();
    m_state = State::Paused;
    m_reason = Reason::DataBreakpoint;
    m_hitText = m_breakpoints->MarkHit(hit.id);
    m_hitLine = LineOf(hit.statement);
    ShowLine(LineOf(m_drive.Interpreter().NextStatement()));
    UpdateButtons();
}

void FrmSimulator::UpdateButtons() {
    m_run->setEnabled(m_state != State::Running);
    m_pause->setEnabled(m_state == State::Running);
    m_stop->setEnabled(m_state != State::Stopped);
    const bool earlier = m_state == State::Paused && m_history.NowMs() > m_history.EarliestMs();
    m_stepBack->setEnabled(earlier);
    m_runBack->setEnabled(earlier);
}

QString FrmSimulator::StateText() const {
    switch (m_state) {
    case State::Running:
        return QStringLiteral("Running");
    case State::Paused: {
        QString text = QStringLiteral("Paused at line %1").arg(m_line);
        switch (m_reason) {
        case Reason::Breakpoint:
            return text + QStringLiteral(": breakpoint");
        case Reason::DataBreakpoint:
            return text + QStringLiteral(": %1 at line %2").arg(m_hitText).arg(m_hitLine);
        case Reason::SteppedBack:
            return text + QStringLiteral(": stepped back");
        case Reason::RanBack:
            return text + QStringLiteral(": ran back");
        case Reason::Moved:
            return text + QStringLiteral(": moved on the timeline");
        case Reason::None:
        case Reason::StopPressed:
        case Reason::Edited:
        case Reason::ProgramError:
        case Reason::DriveError:
            break;
        }
        return text;
    }
    case State::Stopped:
        break;
    }
    QString text = QStringLiteral("Stopped");
    switch (m_reason) {
    case Reason::None:
    case Reason::Breakpoint:
    case Reason::DataBreakpoint:
    case Reason::SteppedBack:
    case Reason::RanBack:
    case Reason::Moved:
        break;
    case Reason::StopPressed:
        text += QStringLiteral(": Stop");
        break;
    case Reason::Edited:
        text += QStringLiteral(": the program was edited");
        break;
    case Reason::ProgramError:
    case Reason::DriveError:
        text += QStringLiteral(": ") + m_error;
        break;
    }
    if (m_holdsClock)
        text += QStringLiteral(" (the motor slows to rest)");
    return text;
}

void FrmSimulator::Refresh() {
    const auto byte = [this](int address) {
        return m_drive.DataByte(static_cast<std::uint16_t>(address));
    };
    const auto word = [this](int address) {
        return m_drive.DataWord(static_cast<std::uint16_t>(address));
    };
    const sim::ProgramInterpreter& interpreter = m_drive.Interpreter();
    const auto forcedBit = [&interpreter](Id id, int bit) {
        return interpreter.Forced({&drivemap::At(id), drivemap::ValueRef::kWhole, bit});
    };
    const std::uint8_t inputs = byte(Address(Id::Inputs));
    for (int n = 0; n < Channels(Id::Inputs); ++n) {
        const QSignalBlocker block(m_inputs[n]);
        m_inputs[n]->setChecked((inputs >> n & 1) != 0);
        const bool forced = forcedBit(Id::Inputs, n);
        m_inputs[n]->setEnabled(!forced);
        m_inputs[n]->setText(QLatin1String(drivemap::kInputBits[n].name) +
                             (forced ? kForcedMark : QString()));
    }
    for (int n = 0; n < Channels(Id::Analog); ++n) {
        m_analogs[n]->setEnabled(!interpreter.Forced({&drivemap::At(Id::Analog), n}));
        if (m_analogs[n]->isSliderDown())
            continue;
        const QSignalBlocker block(m_analogs[n]);
        m_analogs[n]->setValue(word(Address(Id::Analog) + 2 * n));
    }
    for (const drivemap::Bit& bit : drivemap::kOutputBits) {
        SetLamp(m_outputs[bit.index], (byte(Address(Id::Outputs)) >> bit.index & 1) != 0);
        m_outputs[bit.index]->SetForced(forcedBit(Id::Outputs, bit.index));
    }
    for (const drivemap::Bit& bit : drivemap::kFlagBits) {
        SetLamp(m_flags[bit.index], (byte(Address(Id::Flags)) >> bit.index & 1) != 0);
        m_flags[bit.index]->SetForced(forcedBit(Id::Flags, bit.index));
    }
    for (int n = 0; n < Channels(Id::Timer); ++n)
        SetLamp(m_timerFlags[n], m_drive.Interpreter().TimerFlag(n));
    for (const drivemap::Bit& bit : drivemap::kStatusBits)
        SetLamp(m_status[bit.index], (byte(Address(Id::Status)) >> bit.index & 1) != 0);
    const std::span<const std::uint8_t> memory = m_drive.Interpreter().Memory();
    for (const ShownValue& shown : m_values) {
        const QString text = QString::fromStdString(drivemap::Text(shown.ref, memory)) +
                             (interpreter.Forced(shown.ref) ? kForcedMark : QString());
        if (shown.label->text() != text)
            shown.label->setText(text);
    }
    // Only time the window moved counts; the drive's own clock is not the run's.
    if (m_holdsClock)
        m_elapsedMs = m_drive.Interpreter().TimeMs() - m_startMs;
    m_time->setText(QStringLiteral("t = %1.%2 s")
                        .arg(m_elapsedMs / 1000)
                        .arg(m_elapsedMs % 1000, 3, 10, QLatin1Char('0')));
    m_stateLine->setText(StateText());
    // Told once each: where and why the run paused (again after a step or a
    // move, though the words be the same), and a stop on an error, not the
    // motor's slowing after it.
    QString tell;
    if (m_state == State::Paused)
        tell = StateText();
    else if (m_reason == Reason::ProgramError || m_reason == Reason::DriveError)
        tell = QStringLiteral("Stopped: ") + m_error;
    const QString told = tell + (m_state == State::Paused ? m_time->text() : QString());
    if (!tell.isEmpty() && told != m_told)
        platform::Announce(m_stateLine, tell);
    m_told = told;

    QStringList forced;
    for (const drivemap::ValueRef& ref : m_forced)
        if (interpreter.Forced(ref))
            forced << Note(ref).chopped(kForcedMark.size());
    m_forcePanel->ShowForced(forced);

    if (m_state == State::Paused ||
        (m_state == State::Running && ++m_slicesDrawn >= kSlicesPerDrawing)) {
        m_slicesDrawn = 0;
        m_timeline->Update();
    }

    if (std::map<int, QString> notes = LineNotes(); notes != m_notes) {
        m_notes = std::move(notes);
        emit lineNotes(m_notes);
    }
}

// "Counter.3 = 5", "CurrentLimit = 2.55 A", "Output.0 = 1 (F)".
QString FrmSimulator::Note(const drivemap::ValueRef& ref) const {
    const sim::ProgramInterpreter& interpreter = m_drive.Interpreter();
    const std::string_view unit = ref.value->unit;
    return QStringLiteral("%1 = %2").arg(
               QString::fromStdString(drivemap::Name(ref)),
               QString::fromStdString(drivemap::Text(ref, interpreter.Memory()))) +
           (unit.empty() ? QString() : QLatin1Char(' ') + QLatin1String(unit)) +
           (interpreter.Forced(ref) ? kForcedMark : QString());
}

std::map<int, QString> FrmSimulator::LineNotes() const {
    std::map<int, QString> notes;
    if (m_state != State::Paused)
        return notes;
    const std::size_t statements = std::min(m_lines.size(), m_drive.Interpreter().StatementCount());
    std::map<int, std::vector<StatementValue>> byLine;
    for (std::size_t k = 0; k < statements; ++k) {
        std::vector<StatementValue>& values = byLine[m_lines[k]];
        for (const StatementValue& value : StatementValues(m_image[2 * k], m_image[2 * k + 1]))
            if (std::ranges::find(values, value) == values.end())
                values.push_back(value);
    }
    for (const auto& [line, values] : byLine) {
        QStringList parts;
        for (const StatementValue& value : values)
            parts << (value.timerFlag >= 0
                          ? QStringLiteral("TimerFlag.%1 = %2")
                                .arg(value.timerFlag)
                                .arg(m_drive.Interpreter().TimerFlag(value.timerFlag) ? 1 : 0)
                          : Note(value.ref));
        if (!parts.isEmpty())
            notes[line] = parts.join(QStringLiteral(", "));
    }
    return notes;
}

QString FrmSimulator::HoverText(const QString& name) const {
    const std::optional<drivemap::ValueRef> ref = drivemap::Find(name.toStdString());
    return m_state == State::Paused && ref ? Note(*ref) : QString();
}

QLabel* FrmSimulator::ValueLabel(const QString& name) const {
    const std::optional<drivemap::ValueRef> ref = drivemap::Find(name.toStdString());
    if (!ref)
        return nullptr;
    for (const ShownValue& shown : m_values) {
        if (shown.ref.value == ref->value &&
            std::max(shown.ref.channel, 0) == std::max(ref->channel, 0) && ref->bit < 0)
            return shown.label;
    }
    return nullptr;
}

} // namespace kt::simulator
