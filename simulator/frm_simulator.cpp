#include "simulator/frm_simulator.h"

#include "drive/virtual_drive.h"
#include "drivemap/drive_catalogue.h"
#include "link/cls_kt_motor.h"
#include "platform/prompt_service.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
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

// A read-only check box: the program sets it, the user cannot.
QCheckBox* Lamp(const QString& text, QWidget* parent) {
    auto* lamp = new QCheckBox(text, parent);
    lamp->setAttribute(Qt::WA_TransparentForMouseEvents);
    lamp->setFocusPolicy(Qt::NoFocus);
    return lamp;
}

QString Tenths(int value) {
    return QString::number(value / 10.0, 'f', 1);
}

void SetLamp(QCheckBox* lamp, bool on) {
    if (lamp != nullptr && lamp->isChecked() != on)
        lamp->setChecked(on);
}

} // namespace

FrmSimulator::FrmSimulator(drive::VirtualDrive& drive, platform::PromptService& prompts,
                           ProgramSource program, LineSource lines, QWidget* owner)
    : QDialog(owner), m_drive(drive), m_prompts(prompts), m_program(std::move(program)),
      m_lineSource(std::move(lines)) {
    setWindowTitle(QStringLiteral("Simulator \u2014 a simulation, not the drive"));
    Build();
    m_slice.setInterval(kSliceMs);
    connect(&m_slice, &QTimer::timeout, this, &FrmSimulator::AdvanceSlice);
    connect(this, &QDialog::finished, this, &FrmSimulator::Stop);
    UpdateButtons();
    Refresh();
}

FrmSimulator::~FrmSimulator() {
    m_slice.stop();
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
    controls->addStretch();
    controls->addWidget(new QLabel(QStringLiteral("Speed"), this));
    m_speed = new QComboBox(this);
    m_speed->addItems(
        {QStringLiteral("1x"), QStringLiteral("10x"), QStringLiteral("As fast as possible")});
    controls->addWidget(m_speed);
    top->addLayout(controls);

    auto* inputs = new QGroupBox(QStringLiteral("Inputs"), this);
    auto* inputGrid = new QGridLayout(inputs);
    for (int n = 0; n < Channels(Id::Inputs); ++n) {
        m_inputs[n] = new QCheckBox(QStringLiteral("Input.%1").arg(n), inputs);
        inputGrid->addWidget(m_inputs[n], n / 4, n % 4);
        connect(m_inputs[n], &QCheckBox::clicked, this, [this, n](bool on) {
            m_drive.Interpreter().SetInput(n, on);
            Refresh();
        });
    }
    for (int n = 0; n < Channels(Id::Analog); ++n) {
        m_analogs[n] = new QSlider(Qt::Horizontal, inputs);
        m_analogs[n]->setRange(0, 1023);
        inputGrid->addWidget(new QLabel(QStringLiteral("Analog.%1").arg(n), inputs), 2 + n, 0);
        inputGrid->addWidget(m_analogs[n], 2 + n, 1, 1, 3);
        connect(m_analogs[n], &QSlider::valueChanged, this, [this, n](int value) {
            m_drive.Interpreter().SetAnalog(n, static_cast<std::uint16_t>(value));
        });
    }
    top->addWidget(inputs);

    auto* bits = new QGroupBox(QStringLiteral("Outputs, flags and status"), this);
    auto* bitGrid = new QGridLayout(bits);
    for (int n = 0; n < 2; ++n) {
        m_outputs[n] = Lamp(QStringLiteral("Output.%1").arg(n), bits);
        bitGrid->addWidget(m_outputs[n], 0, n);
    }
    for (int n = 0; n < 8; ++n) {
        m_flags[n] = Lamp(QStringLiteral("Flag.%1").arg(n), bits);
        bitGrid->addWidget(m_flags[n], 1 + n / 4, n % 4);
    }
    for (int n = 0; n < Channels(Id::Timer); ++n) {
        m_timerFlags[n] = Lamp(QStringLiteral("TimerFlag.%1").arg(n), bits);
        bitGrid->addWidget(m_timerFlags[n], 3, n);
    }
    const std::array<QString, 8> statusNames = {QStringLiteral("CommandForward"),
                                                QStringLiteral("CommandReverse"),
                                                QStringLiteral("AutoTorque"),
                                                QStringLiteral("ProgramRunMode"),
                                                QStringLiteral("MotorForward"),
                                                QStringLiteral("MotorEnable"),
                                                QString(),
                                                QStringLiteral("Fault")};
    int cell = 0;
    for (int bit = 0; bit < 8; ++bit) {
        if (statusNames[bit].isEmpty())
            continue;
        m_status[bit] = Lamp(statusNames[bit], bits);
        bitGrid->addWidget(m_status[bit], 4 + cell / 4, cell % 4);
        ++cell;
    }
    top->addWidget(bits);

    auto* values = new QGroupBox(QStringLiteral("Values"), this);
    auto* valueGrid = new QGridLayout(values);
    const auto addValue = [&](const QString& name, int row, int column) {
        auto* label = new QLabel(QStringLiteral("0"), values);
        valueGrid->addWidget(new QLabel(name, values), row, 2 * column);
        valueGrid->addWidget(label, row, 2 * column + 1);
        return label;
    };
    for (int n = 0; n < Channels(Id::Counter); ++n)
        m_counters[n] = addValue(QStringLiteral("Counter%1").arg(n), n / 4, n % 4);
    for (int n = 0; n < Channels(Id::WordCounter); ++n)
        m_wordCounters[n] = addValue(QStringLiteral("WordCounter%1").arg(n), 2, n);
    for (int n = 0; n < Channels(Id::Timer); ++n)
        m_timers[n] = addValue(QStringLiteral("Timer%1").arg(n), 3, n);
    m_currentSpeed = addValue(QStringLiteral("CurrentSpeed"), 4, 0);
    m_referenceSpeed = addValue(QStringLiteral("RefrenceSpeed"), 4, 1);
    valueGrid->addWidget(new QLabel(QStringLiteral("Error"), values), 5, 0);
    m_error = new QLabel(values);
    valueGrid->addWidget(m_error, 5, 1, 1, 7);
    top->addWidget(values);
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
        // The statement paused before is the one the user asked to run on from.
        m_leaveBreak = true;
    } else {
        if (!Load())
            return;
        m_leaveBreak = false;
    }
    m_state = State::Running;
    m_slice.start();
    UpdateButtons();
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
    if (m_state == State::Stopped) {
        if (!Load())
            return;
        m_state = State::Paused;
    } else {
        m_slice.stop();
        m_state = State::Paused;
        sim::ProgramInterpreter& interpreter = m_drive.Interpreter();
        interpreter.Step();
        if (!interpreter.Running()) {
            ProgramEnded();
            return;
        }
    }
    ShowLine(LineOf(m_drive.Interpreter().NextStatement()));
    UpdateButtons();
    Refresh();
}

void FrmSimulator::Stop() {
    m_slice.stop();
    if (m_state != State::Stopped)
        m_drive.Interpreter().Stop();
    m_state = State::Stopped;
    GiveBackClock();
    // Always told, so a highlight left from elsewhere goes too.
    m_line = 0;
    emit statementLine(0);
    UpdateButtons();
    Refresh();
}

void FrmSimulator::AdvanceSlice() {
    if (m_state != State::Running)
        return;
    switch (CurrentSpeed()) {
    case Speed::RealTime:
        RunStatements(kSliceMs, true);
        break;
    case Speed::TenTimes:
        RunStatements(10 * kSliceMs, true);
        break;
    case Speed::Fastest:
        RunStatements(kFastestStatements, false);
        break;
    }
    Refresh();
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
            ShowLine(LineOf(next));
            UpdateButtons();
            return;
        }
        interpreter.Step();
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
        m_prompts.Message(
            {.text = QStringLiteral("ProgramError at Line") + QString::number(lineCount)});
        return false;
    }
    compiler::ProgramImage image;
    image.fill(compiler::kImageFill);
    std::copy_n(bytes.begin(), std::min<qsizetype>(bytes.size(), image.size()), image.begin());
    m_lines = m_lineSource ? m_lineSource() : std::vector<int>();

    TakeClock();
    sim::ProgramInterpreter& interpreter = m_drive.Interpreter();
    // A load error is left in the drive's error byte, which the window shows.
    if (interpreter.Load(image) != 0 || !interpreter.Running()) {
        GiveBackClock();
        Refresh();
        return false;
    }
    ShowLine(LineOf(interpreter.NextStatement()));
    Refresh();
    return true;
}

// The program stopped by itself: an error, or the drive was erased.
void FrmSimulator::ProgramEnded() {
    m_slice.stop();
    m_state = State::Stopped;
    GiveBackClock();
    ShowLine(0);
    UpdateButtons();
    Refresh();
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

void FrmSimulator::UpdateButtons() {
    m_run->setEnabled(m_state != State::Running);
    m_pause->setEnabled(m_state == State::Running);
    m_stop->setEnabled(m_state != State::Stopped);
}

void FrmSimulator::Refresh() {
    const auto byte = [this](int address) {
        return m_drive.DataByte(static_cast<std::uint16_t>(address));
    };
    const auto word = [this](int address) {
        return m_drive.DataWord(static_cast<std::uint16_t>(address));
    };
    const std::uint8_t inputs = byte(Address(Id::Inputs));
    for (int n = 0; n < Channels(Id::Inputs); ++n) {
        const QSignalBlocker block(m_inputs[n]);
        m_inputs[n]->setChecked((inputs >> n & 1) != 0);
    }
    for (int n = 0; n < Channels(Id::Analog); ++n) {
        if (m_analogs[n]->isSliderDown())
            continue;
        const QSignalBlocker block(m_analogs[n]);
        m_analogs[n]->setValue(word(Address(Id::Analog) + 2 * n));
    }
    for (int n = 0; n < 2; ++n)
        SetLamp(m_outputs[n], (byte(Address(Id::Outputs)) >> n & 1) != 0);
    for (int n = 0; n < 8; ++n)
        SetLamp(m_flags[n], (byte(Address(Id::Flags)) >> n & 1) != 0);
    for (int n = 0; n < Channels(Id::Timer); ++n)
        SetLamp(m_timerFlags[n], m_drive.Interpreter().TimerFlag(n));
    for (int bit = 0; bit < 8; ++bit)
        SetLamp(m_status[bit], (byte(Address(Id::Status)) >> bit & 1) != 0);
    for (int n = 0; n < Channels(Id::Counter); ++n)
        m_counters[n]->setText(QString::number(byte(Address(Id::Counter) + n)));
    for (int n = 0; n < Channels(Id::WordCounter); ++n)
        m_wordCounters[n]->setText(QString::number(word(Address(Id::Counter) + 2 * n)));
    for (int n = 0; n < Channels(Id::Timer); ++n)
        m_timers[n]->setText(QString::number(byte(Address(Id::Timer) + n)));
    m_currentSpeed->setText(Tenths(word(Address(Id::CurrentSpeed))));
    m_referenceSpeed->setText(Tenths(word(Address(Id::ReferenceSpeed))));
    const int error = byte(Address(Id::Error));
    m_error->setText(
        QStringLiteral("%1: %2").arg(error).arg(link::ClsKtMotor::ErrorDescription(error)));
}

} // namespace kt::simulator
