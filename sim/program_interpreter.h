// The simulated drive's program interpreter: runs a 254-byte program image
// over a data memory laid out as the drive's, on a deterministic clock, with
// the motor model and the four timers moving along with it. The memory can be
// the interpreter's own or one it is given (the virtual drive's), so every
// value a reader of the memory sees is the program's.
// Not the drive's real interpreter, whose behaviour is unknown: the choices
// made here are listed in kSimulationAssumptions. No threads, no real time.
// Values can be forced: held at a value whatever the program writes, until
// released. Breakpoints on data (an If's condition, or a value that changed)
// end a run after the statement at which they hold; lines are the caller's.
// A run's state can be saved and restored (RunHistory goes back with it).
#pragma once

#include "compiler/program_compiler.h"
#include "drivemap/drive_catalogue.h"
#include "sim/instruction_decoder.h"
#include "sim/motor_model.h"

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace kt::sim {

struct MemoryChange {
    std::uint16_t address = 0;
    std::uint8_t before = 0;
    std::uint8_t after = 0;
};

// One statement as it ran.
struct TraceRecord {
    std::uint64_t timeMs = 0;  // simulated time the statement started
    std::size_t statement = 0; // index in the image: bytes 2k, 2k + 1
    std::uint8_t opcode = 0;
    std::uint8_t operand = 0;
    // Bytes of the used memory that changed during the statement's time, by
    // the statement or by the timers and the motor, in address order.
    std::span<const MemoryChange> changes;
};

using TraceHook = std::function<void(const TraceRecord&)>;

// A breakpoint that held after a statement.
struct BreakHit {
    int id = 0;
    std::size_t statement = 0;
    std::uint64_t timeMs = 0; // simulated time the statement started
};

class ProgramInterpreter {
public:
    static constexpr int kStatementMs = 1;   // one statement per millisecond
    static constexpr int kTimerTickMs = 100; // a timer counts down once per tick
    static constexpr int kMotorPeriodMs = 10;
    static constexpr std::size_t kMaxStatements = compiler::kProgramSize / 2;
    static constexpr std::size_t kNoStatement = static_cast<std::size_t>(-1);

    // Its own memory of drivemap::kAddressSpace bytes, powered up.
    ProgramInterpreter();
    // Works on memory, which must outlive it and hold at least
    // drivemap::kUsedSize bytes (std::invalid_argument otherwise). The
    // memory is left as it is; PowerUp() writes the power-up values.
    explicit ProgramInterpreter(std::span<std::uint8_t> memory);

    // The catalogue's power-up values, no program, the clock at 0.
    void PowerUp();

    // Checks the image, pairs its blocks and starts it from its first
    // statement. Returns 0, or the drive error code it also leaves in the
    // error byte: 2 for an opcode or operand the drive does not know or a
    // block closed without being opened, 1 for a block never closed. A
    // program that fails to load does not run. An erased image loads as no
    // program: nothing runs and no error is set.
    std::uint8_t Load(const compiler::ProgramImage& image);
    // No program: nothing runs.
    void Erase();
    // From the first statement again, with the click memories forgotten; the
    // error byte cleared. Nothing happens without a loaded program.
    void Restart();
    // Stops the program where it is, without an error, as an error stops
    // it: ProgramRunMode and the command bits cleared, the motor left to
    // slow to rest as simulated time moves on.
    void Stop();

    bool Running() const { return m_running; }
    // Runs one statement if the program runs, and moves the clock on by one
    // statement's time either way. True when a statement ran.
    bool Step();
    // Moves the clock on by the simulated time, a statement per millisecond
    // while the program runs; ends early after a statement at which a
    // breakpoint holds.
    void RunFor(std::uint64_t milliseconds);
    std::uint64_t TimeMs() const { return m_timeMs; }

    // The state a run depends on at one moment: the used memory, where the
    // program is, the clock, timers and motor, the click memories, the
    // forcings and the breakpoints' own memories. Not the breakpoint list
    // (the user edits it while paused), the trace hook or a held motor.
    class Snapshot;
    Snapshot Save() const;
    // Back to a saved moment of the program loaded now. A snapshot taken
    // with another program (or none) loaded is refused and nothing changes.
    // A breakpoint added since the snapshot starts with no click memory.
    bool Restore(const Snapshot& snapshot);

    std::size_t StatementCount() const { return m_program.size(); }
    // The statement the next Step() runs.
    std::size_t NextStatement() const { return m_next; }
    // Where the last load or run error was found; kNoStatement if none.
    std::size_t ErrorStatement() const { return m_errorStatement; }
    std::uint8_t Error() const;

    // The user's side: inputs 0..7 and analog inputs 0..5. False for a
    // number the drive does not have. The program never writes either.
    bool SetInput(int n, bool on);
    bool SetAnalog(int n, std::uint16_t value);

    // Timer flag n (0..3): timer n has run out since it was last triggered.
    bool TimerFlag(int n) const;

    // Forcing: an input, output or flag bit, or a channel of the analog
    // inputs, counters, word counters or timers, held at a count within its
    // range from now on. The program's writes to it have no effect, its
    // reads see the count, a forced timer does not count down, and the
    // user's SetInput or SetAnalog changes nothing while it is forced.
    // Forcing it again changes the count. False for anything else.
    static bool Forceable(const drivemap::ValueRef& ref);
    bool Force(const drivemap::ValueRef& ref, std::uint16_t count);
    // The program takes over again from the forced count, or with restore
    // from the count it had before it was forced. False if it is not forced.
    bool Release(const drivemap::ValueRef& ref, bool restore);
    // Whether any of its bits is held: a counter is forced with its word
    // counter.
    bool Forced(const drivemap::ValueRef& ref) const;

    // Data breakpoints, checked after each statement that runs, in the order
    // added; a Step() after which one holds sets LastHit(), and RunFor()
    // ends there. A condition is the text after "If " on an If line, compiled
    // as that line and evaluated as the If would be; the line compiler's
    // result code is returned (1 for a line that is no If), 0 with id set.
    std::uint8_t AddBreakCondition(std::string_view condition, int& id);
    // Holds when a value's bytes, or its bit, differ from before the
    // statement. Nothing for no value.
    std::optional<int> AddBreakOnChange(const drivemap::ValueRef& ref);
    // False for an id not in the list.
    bool EnableBreakpoint(int id, bool enabled);
    bool RemoveBreakpoint(int id);
    void ClearBreakpoints() { m_breaks.clear(); }
    // The breakpoint that held after the last Step(); the first in the list
    // if several did.
    const std::optional<BreakHit>& LastHit() const { return m_hit; }

    // Called after each statement that runs; an empty hook costs nothing.
    void SetTraceHook(TraceHook hook) { m_trace = std::move(hook); }

    std::span<std::uint8_t> Memory() const { return m_memory; }
    std::uint8_t Byte(std::uint16_t address) const { return m_memory[address]; }
    std::uint16_t Word(std::uint16_t address) const; // low byte first
    const MotorModel& Motor() const { return m_motor; }
    // A held motor stands as it is, its values in memory untouched: for
    // tests that set them by hand.
    void HoldMotor(bool held) { m_motorHeld = held; }

private:
    friend class RunHistory;

    struct Statement {
        Instruction instruction;
        BitOperand bit;
        std::uint8_t opcode = 0;
        std::uint8_t operand = 0;
        // If: where a false condition goes; Else: past its End If; Do Until:
        // past its Loop; Loop: its Do.
        std::uint16_t jump = 0;
        bool clickPrimed = false; // the statement has run once
        bool clickLast = false;   // the input when it last ran
    };

    // Bytes of the memory and the bits of their first byte that a value
    // covers.
    struct Cover {
        std::uint16_t address = 0;
        std::uint8_t size = 1;
        std::uint8_t mask = 0xFF;
    };
    struct Forcing {
        drivemap::ValueRef ref;
        Cover cover;
        std::array<std::uint8_t, 2> held{}; // low byte first, as stored
        std::array<std::uint8_t, 2> before{};
    };

    struct Breakpoint {
        int id = 0;
        bool enabled = true;
        bool onChange = false;
        Statement condition; // an If, with its own click memory
        Cover cover;         // onChange: what is watched
        std::array<std::uint8_t, 2> before{};
    };

    static compiler::ProgramImage NoProgram();
    static Cover CoverOf(const drivemap::ValueRef& ref);
    void Put(const Cover& cover, const std::array<std::uint8_t, 2>& bytes);
    void HoldForced();
    bool TimerForced(int n) const;
    void Halt();
    void Fail(std::uint8_t error, std::size_t statement);
    void Execute();
    void RunStatement();
    bool Holds(Statement& statement);
    bool ReadBit(const BitOperand& bit) const;
    void WriteBit(const BitOperand& bit, bool on);
    void SetWord(std::uint16_t address, std::uint16_t value);
    void AdvanceClock();
    void TickTimers();
    void TracedStep();
    std::array<std::uint8_t, 2> Get(const Cover& cover) const;
    void CheckBreaks(std::size_t statement, std::uint64_t startMs);

    std::vector<std::uint8_t> m_ownMemory;
    std::span<std::uint8_t> m_memory;
    std::vector<Statement> m_program;
    compiler::ProgramImage m_image = NoProgram(); // what Restore checks
    std::size_t m_next = 0;
    std::size_t m_errorStatement = kNoStatement;
    bool m_running = false;

    std::uint64_t m_timeMs = 0;
    int m_toTimerTick = kTimerTickMs;
    int m_toMotorUpdate = kMotorPeriodMs;
    std::uint8_t m_timerFlags = 0; // bit n: timer n ran out
    MotorModel m_motor;
    bool m_motorHeld = false;

    std::vector<Forcing> m_forced; // in the order forced: a later one wins

    std::vector<Breakpoint> m_breaks;
    int m_lastBreakId = 0;
    std::optional<BreakHit> m_hit;

    TraceHook m_trace;
    std::vector<std::uint8_t> m_before;
    std::vector<MemoryChange> m_changes;
    // Going over a recorded run again (RunHistory): the trace hook is not
    // called and RunFor does not end at a breakpoint.
    bool m_replaying = false;
};

class ProgramInterpreter::Snapshot {
public:
    std::uint64_t TimeMs() const { return m_timeMs; }
    std::span<const std::uint8_t, drivemap::kUsedSize> Memory() const { return m_memory; }
    std::uint8_t TimerFlags() const { return m_timerFlags; }

private:
    friend class ProgramInterpreter;

    struct BreakMemory {
        int id = 0;
        bool clickPrimed = false;
        bool clickLast = false;
        std::array<std::uint8_t, 2> before{};
    };

    std::array<std::uint8_t, drivemap::kUsedSize> m_memory{};
    compiler::ProgramImage m_program{};
    std::bitset<kMaxStatements> m_clickPrimed;
    std::bitset<kMaxStatements> m_clickLast;
    std::size_t m_next = 0;
    std::size_t m_errorStatement = kNoStatement;
    bool m_running = false;
    std::uint64_t m_timeMs = 0;
    int m_toTimerTick = kTimerTickMs;
    int m_toMotorUpdate = kMotorPeriodMs;
    std::uint8_t m_timerFlags = 0;
    MotorModel m_motor;
    std::vector<Forcing> m_forced;
    std::vector<BreakMemory> m_breaks;
    std::optional<BreakHit> m_hit;
};

} // namespace kt::sim
