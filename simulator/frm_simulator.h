// The simulator window: runs the editor's program on the virtual drive's
// interpreter with Run, Pause, Step and Stop, pauses before marked lines,
// lets the user flip the inputs and move the analog inputs, and shows the
// drive's values as the program changes them, what state the run is in, why
// it stopped and the simulated time since Run. Simulated time advances in
// slices from a timer, never in a blocking loop; after a stop it runs on
// until the motor has slowed to rest.
// Values can be forced and released from its force panel, and data
// breakpoints (a condition, a value that changes) pause the run after the
// statement at which they hold. A forced input's tick box or slider is
// disabled and shows the forced value: what the user could set there would
// have no effect, so the window does not let it be set. While paused, the
// window works out the values each line reads or writes, for the editor to
// draw beside the code.
// The run is recorded as it goes (RunHistory), so a paused run can step
// back a statement, run back to where it would have paused before, or move
// to a time clicked on the timeline, and from there run on over what was
// recorded until the user changes something.
// Every command has a key of its own that works anywhere in the window, and
// a pause, or a stop on an error, is announced as the state line says it.
// Not the drive and not the device window: nothing here goes over a line.
#pragma once

#include "compiler/program_compiler.h"
#include "drivemap/drive_catalogue.h"
#include "sim/run_history.h"

#include <QByteArray>
#include <QDialog>
#include <QString>
#include <QTimer>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QSlider;

namespace kt::drive {
class VirtualDrive;
}
namespace kt::sim {
struct BreakHit;
}
namespace kt::platform {
class PromptService;
}

namespace kt::simulator {

class BreakpointList;
class ForcePanel;
class Lamp;
class SimTimeline;

class FrmSimulator : public QDialog {
    Q_OBJECT

public:
    // The program image, as the device window gets it: empty with RetError
    // set (and RetLineCount the failing line) when the program does not
    // compile.
    using ProgramSource = std::function<QByteArray(std::uint8_t& RetError, long& RetLineCount)>;
    // The 1-based source line of each statement of the image the program
    // source returned last (the compiler's StatementLines()). Asked right
    // after a successful program source call.
    using LineSource = std::function<std::vector<int>()>;
    // The program text as the compiler read it (Windows-1252, CR LF lines),
    // for the hint beside a compile error.
    using TextSource = std::function<std::string()>;

    enum class State { Stopped, Running, Paused };
    // Why the run paused or stopped last.
    // Breakpoint: a marked line; DataBreakpoint: one of the breakpoint list;
    // SteppedBack, RanBack, Moved: the user went back, or to a clicked time.
    enum class Reason {
        None,
        Breakpoint,
        DataBreakpoint,
        SteppedBack,
        RanBack,
        Moved,
        StopPressed,
        Edited,
        ProgramError,
        DriveError
    };
    enum class Speed { RealTime, TenTimes, Fastest };

    static constexpr int kSliceMs = 20;
    // Statements per slice when running as fast as possible.
    static constexpr int kFastestStatements = 20000;

    FrmSimulator(drive::VirtualDrive& drive, platform::PromptService& prompts,
                 ProgramSource program, LineSource lines, QWidget* owner = nullptr);
    ~FrmSimulator() override;

    // Without one, a compile error is told without a hint.
    void SetTextSource(TextSource text) { m_textSource = std::move(text); }

    // Marked source lines (1-based): the run pauses before their statements.
    void SetBreakLines(const std::vector<int>& lines);
    void SetSpeed(Speed speed);
    Speed CurrentSpeed() const;
    State CurrentState() const { return m_state; }
    // The source line of the statement about to run; 0 when stopped.
    int CurrentLine() const { return m_line; }
    Reason CurrentReason() const { return m_reason; }
    // "Running", "Paused at line 5: breakpoint", "Stopped: Stop",
    // "Paused at line 6: Counter0 >= 5 held at line 5",
    // "Paused at line 3: stepped back".
    QString StateText() const;

    // While paused, by 1-based source line, the values its statements read
    // or write: "Counter.0 = 5, Output.0 = 1 (F)". Empty otherwise.
    std::map<int, QString> LineNotes() const;
    // While paused, a value named as the catalogue accepts ("Counter3",
    // "RefrenceSpeed") with its reading: "Counter.3 = 5". Empty otherwise.
    QString HoverText(const QString& name) const;

    // One slice of simulated time, as the timer runs it while running.
    void AdvanceSlice();

    // The controls, for the tests.
    QPushButton* RunButton() const { return m_run; }
    QPushButton* PauseButton() const { return m_pause; }
    QPushButton* StepButton() const { return m_step; }
    QPushButton* StopButton() const { return m_stop; }
    QPushButton* StepBackButton() const { return m_stepBack; }
    QPushButton* RunBackButton() const { return m_runBack; }
    QComboBox* SpeedBox() const { return m_speed; }
    QCheckBox* InputBox(int n) const { return m_inputs.at(n); }
    QSlider* AnalogSlider(int n) const { return m_analogs.at(n); }
    Lamp* OutputLamp(int n) const { return m_outputs.at(n); }
    Lamp* FlagLamp(int n) const { return m_flags.at(n); }
    Lamp* TimerFlagLamp(int n) const { return m_timerFlags.at(n); }
    // By bit of the status byte; nullptr for bit 6, which the drive lacks.
    Lamp* StatusLamp(int bit) const { return m_status.at(bit); }
    // A value's text, by any name the drive's catalogue knows
    // ("Counter.3", "ReferenceSpeed", "Error", "Analog.2"); nullptr when
    // not shown.
    QLabel* ValueLabel(const QString& name) const;
    QLabel* StateLabel() const { return m_stateLine; }
    // "t = 12.340 s": simulated time since the last Run or Step started.
    QLabel* TimeLabel() const { return m_time; }
    ForcePanel* Forcing() const { return m_forcePanel; }
    BreakpointList* Breakpoints() const { return m_breakpoints; }
    SimTimeline* Timeline() const { return m_timeline; }

public slots:
    // Compiles and starts the program, or resumes a paused one.
    void Run();
    void Pause();
    // Runs one statement; from stopped it loads the program and pauses
    // before its first statement.
    void Step();
    void Stop();
    // While paused with an earlier moment recorded: one statement back (one
    // millisecond of simulated time); back to where a run would have paused
    // before (a marked line, a data breakpoint), or to the recording's start.
    void StepBack();
    void RunBack();
    // While paused or running (which pauses first): the run as it was at a
    // recorded moment, clamped to the recording.
    void MoveTo(std::uint64_t timeMs);
    // The text changed: a run of the old text ends.
    void ProgramEdited();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

signals:
    // The 1-based source line of the statement about to run; 0 when stopped.
    void statementLine(int line);
    // LineNotes() whenever they change: when the run pauses, a value changes
    // while paused, and (empty) when it runs on or stops.
    void lineNotes(const std::map<int, QString>& notes);

private:
    void Build();
    bool Load();
    void Refresh();
    void ShowLine(int line);
    int LineOf(std::size_t statement) const;
    bool BreaksAt(std::size_t statement) const;
    // Runs statements until the budget is spent or a mark is met.
    void RunStatements(int budget, bool byTime);
    void ProgramEnded();
    void StopFor(Reason reason);
    // After a stop, time runs on while the motor slows; then the clock goes
    // back to the drive.
    void Settle();
    int SliceSimulatedMs() const;
    void TakeClock();
    void GiveBackClock();
    void UpdateButtons();
    void PauseForHit(const sim::BreakHit& hit);
    // After the run moved back or to a time: paused there, everything shown again.
    void Moved(Reason reason);
    // The run's last curves drawn before it stops; no more asked for after.
    void FreezeTimeline();
    QString Note(const drivemap::ValueRef& ref) const;
    // Every change the user makes to the drive passes one of these.
    void UserSetInput(int n, bool on);
    void UserSetAnalog(int n, std::uint16_t value);
    void UserForce(const drivemap::ValueRef& ref, std::uint16_t count);
    void UserRelease(const drivemap::ValueRef& ref, bool restore);

    drive::VirtualDrive& m_drive;
    platform::PromptService& m_prompts;
    ProgramSource m_program;
    LineSource m_lineSource;
    TextSource m_textSource;
    std::vector<int> m_lines;
    compiler::ProgramImage m_image{}; // as loaded last, for the line notes
    std::set<int> m_breakLines;
    State m_state = State::Stopped;
    int m_line = 0;
    Reason m_reason = Reason::None;
    QString m_error;               // what went wrong, for the program and drive errors
    QString m_hitText;             // "Counter0 >= 5 held", for a data breakpoint
    int m_hitLine = 0;             // the line of the statement after which it held
    std::uint64_t m_startMs = 0;   // the drive's time when the run began
    std::uint64_t m_elapsedMs = 0; // shown as the time since Run
    bool m_leaveBreak = false;     // the next statement runs even if marked
    bool m_driveClock = false;     // the drive followed the clock before us
    bool m_holdsClock = false;
    QTimer m_slice;
    // Every statement and user action of a run goes through it.
    sim::RunHistory m_history;
    int m_slicesDrawn = 0; // slices since the timeline was drawn, while running

    QPushButton* m_run = nullptr;
    QPushButton* m_pause = nullptr;
    QPushButton* m_step = nullptr;
    QPushButton* m_stop = nullptr;
    QPushButton* m_stepBack = nullptr;
    QPushButton* m_runBack = nullptr;
    QComboBox* m_speed = nullptr;
    QLabel* m_stateLine = nullptr;
    QLabel* m_time = nullptr;
    std::array<QCheckBox*, 8> m_inputs{};
    std::array<QSlider*, 6> m_analogs{};
    std::array<Lamp*, 2> m_outputs{};
    std::array<Lamp*, 8> m_flags{};
    std::array<Lamp*, 4> m_timerFlags{};
    std::array<Lamp*, 8> m_status{};
    ForcePanel* m_forcePanel = nullptr;
    BreakpointList* m_breakpoints = nullptr;
    SimTimeline* m_timeline = nullptr;
    QScrollArea* m_scroll = nullptr; // everything below the run's controls
    bool m_sized = false;
    // Everything the user has forced, in the order first forced; listed
    // while the interpreter holds it, which a step back or a reset changes.
    std::vector<drivemap::ValueRef> m_forced;
    std::map<int, QString> m_notes; // as told last
    QString m_told;                 // the pause or error announced last
    // Every number the drive keeps, named, formatted and in its unit as
    // the catalogue says, so the panel reads as the CLI and Monitor do.
    struct ShownValue {
        drivemap::ValueRef ref;
        QLabel* label = nullptr;
    };
    std::vector<ShownValue> m_values;
};

} // namespace kt::simulator
