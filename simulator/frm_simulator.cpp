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

QString Caption(const drivemap::ValueRef& ref) {
    const std::string_view unit = ref.value->unit;
    return QString::fromStdString(drivemap::Name(ref)) +
           (unit.empty() ? QString() : QStringLiteral(" [%1]").arg(QLatin1String(unit)));
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
        m_inputs[n] = new QCheckBox(QLatin1String(drivemap::kInputBits[n].name), inputs);
        inputGrid->addWidget(m_inputs[n], n / 4, n % 4);
        connect(m_inputs[n], &QCheckBox::clicked, this, [this, n](bool on) {
            m_drive.Interpreter().SetInput(n, on);
            Refresh();
        });
    }
    for (int n = 0; n < Channels(Id::Analog); ++n) {
        m_analogs[n] = new QSlider(Qt::Horizontal, inputs);
        m_analogs[n]->setRange(static_cast<int>(drivemap::At(Id::Analog).range.low),
                               static_cast<int>(drivemap::At(Id::Analog).range.high));
        inputGrid->addWidget(new QLabel(Caption({&drivemap::At(Id::Analog), n}), inputs), 2 + n, 0);
        inputGrid->addWidget(m_analogs[n], 2 + n, 1, 1, 3);
        connect(m_analogs[n], &QSlider::valueChanged, this, [this, n](int value) {
            m_drive.Interpreter().SetAnalog(n, static_cast<std::uint16_t>(value));
        });
    }
    top->addWidget(inputs);

    auto* bits = new QGroupBox(QStringLiteral("Outputs, flags and status"), this);
    auto* bitGrid = new QGridLayout(bits);
    for (const drivemap::Bit& bit : drivemap::kOutputBits) {
        m_outputs[bit.index] = Lamp(QLatin1String(bit.name), bits);
        bitGrid->addWidget(m_outputs[bit.index], 0, bit.index);
    }
    for (const drivemap::Bit& bit : drivemap::kFlagBits) {
        m_flags[bit.index] = Lamp(QLatin1String(bit.name), bits);
        bitGrid->addWidget(m_flags[bit.index], 1 + bit.index / 4, bit.index % 4);
    }
    for (int n = 0; n < Channels(Id::Timer); ++n) {
        m_timerFlags[n] = Lamp(QStringLiteral("TimerFlag.%1").arg(n), bits);
        bitGrid->addWidget(m_timerFlags[n], 3, n);
    }
    int cell = 0;
    for (const drivemap::Bit& bit : drivemap::kStatusBits) {
        m_status[bit.index] = Lamp(QLatin1String(bit.name), bits);
        bitGrid->addWidget(m_status[bit.index], 4 + cell / 4, cell % 4);
        ++cell;
    }
    top->addWidget(bits);

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
    for (const drivemap::Bit& bit : drivemap::kOutputBits)
        SetLamp(m_outputs[bit.index], (byte(Address(Id::Outputs)) >> bit.index & 1) != 0);
    for (const drivemap::Bit& bit : drivemap::kFlagBits)
        SetLamp(m_flags[bit.index], (byte(Address(Id::Flags)) >> bit.index & 1) != 0);
    for (int n = 0; n < Channels(Id::Timer); ++n)
        SetLamp(m_timerFlags[n], m_drive.Interpreter().TimerFlag(n));
    for (const drivemap::Bit& bit : drivemap::kStatusBits)
        SetLamp(m_status[bit.index], (byte(Address(Id::Status)) >> bit.index & 1) != 0);
    const std::span<const std::uint8_t> memory = m_drive.Interpreter().Memory();
    for (const ShownValue& shown : m_values) {
        const QString text = QString::fromStdString(drivemap::Text(shown.ref, memory));
        if (shown.label->text() != text)
            shown.label->setText(text);
    }
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
