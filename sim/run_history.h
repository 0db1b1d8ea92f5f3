// A recorded run of a ProgramInterpreter it does not own, for going back in
// simulated time: snapshots every kSnapshotMs and the user's actions with
// their times, over at least the last kKeptMs. A moment is rebuilt by
// restoring the snapshot before it and replaying, which is exact because the
// interpreter is deterministic. The timeline of every byte's changes is
// derived the same way when asked for, so recording costs next to nothing.
// Not a recorder of what bypasses it: the user's inputs and forcings must go
// through it, and a write over the link (the device window's, into a
// virtual drive's memory) while it records is not replayed. After Load,
// Restart, Stop, Erase or PowerUp of the interpreter, call Start() again.
// Replays call no trace hook and do not end at breakpoints.
#pragma once

#include "drivemap/drive_catalogue.h"
#include "sim/program_interpreter.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <utility>
#include <vector>

namespace kt::sim {

class RunHistory {
public:
    static constexpr std::uint64_t kKeptMs = 12000;
    static constexpr std::uint64_t kSnapshotMs = 100;
    // The used memory and, at kTimerFlags, the timer flags (bit n: timer n).
    static constexpr std::uint16_t kTimerFlags = drivemap::kUsedSize;
    using Bytes = std::array<std::uint8_t, drivemap::kUsedSize + 1>;
    // A byte at address became after at the moment timeMs.
    struct Change {
        std::uint64_t timeMs = 0;
        std::uint16_t address = 0;
        std::uint8_t after = 0;
        bool operator==(const Change&) const = default;
    };

    // Starts recording.
    explicit RunHistory(ProgramInterpreter& interpreter);

    // Forgets everything and records from the interpreter's state now.
    void Start();

    // The interpreter's, recorded at the moment they are made. Made while
    // back in time, they drop the recorded future: the run branches here.
    bool SetInput(int n, bool on);
    bool SetAnalog(int n, std::uint16_t value);
    bool Force(const drivemap::ValueRef& ref, std::uint16_t count);
    bool Release(const drivemap::ValueRef& ref, bool restore);

    // The interpreter's, recording as they go; behind LatestMs() they go
    // over the recorded future again, the user's actions included.
    bool Step();
    void RunFor(std::uint64_t milliseconds);

    std::uint64_t EarliestMs() const { return m_snapshots.front().TimeMs(); }
    std::uint64_t LatestMs() const { return m_latestMs; } // the furthest recorded
    std::uint64_t NowMs() const { return m_interpreter.TimeMs(); }

    // To any moment in [EarliestMs(), LatestMs()], the user's actions made
    // at it included; false, and nothing moves, outside it.
    bool SeekTo(std::uint64_t timeMs);
    // To where the last Step() started: one millisecond back, whether or not
    // a statement ran in it.
    bool StepBack();
    // To the latest earlier moment at which a forward run would have
    // stopped: before a running statement for which pausesBefore holds, or
    // right after a statement at which an enabled breakpoint held; to
    // EarliestMs() if there is none. False if it did not move.
    bool RunBack(const std::function<bool(std::size_t nextStatement)>& pausesBefore);

    // The timeline over [EarliestMs(), LatestMs()]: every change, in time
    // order (several at one moment in the order they were made).
    std::span<const Change> Changes();
    // The bytes at a recorded moment; the nearest recorded one outside.
    Bytes BytesAt(std::uint64_t timeMs);
    // A value's reading at EarliestMs(), at each moment it changed and at
    // LatestMs(): a step curve for a plot.
    std::vector<std::pair<std::uint64_t, double>> Curve(const drivemap::ValueRef& ref);

private:
    struct Action {
        enum class Kind { Input, Analog, Force, Release } kind = Kind::Input;
        std::uint64_t timeMs = 0;
        int n = 0;
        std::uint16_t value = 0; // the input's state, the analog value, the count, restore
        drivemap::ValueRef ref;
    };

    bool Act(const Action& action);
    bool Record(Action action);
    void ApplyActionsAt(std::uint64_t timeMs);
    std::uint64_t NextActionAfter(std::uint64_t timeMs) const;
    std::size_t SnapshotBefore(std::uint64_t timeMs) const; // at or before
    bool RestoreSnapshot(std::size_t index);
    void ReplayTo(std::uint64_t timeMs);
    void Recorded();
    void Snap(Bytes& bytes) const;

    ProgramInterpreter& m_interpreter;
    std::deque<ProgramInterpreter::Snapshot> m_snapshots; // in time order
    std::deque<Action> m_actions;                         // in time order
    std::uint64_t m_latestMs = 0;

    // The derived timeline, rebuilt when the recording has changed.
    std::uint64_t m_generation = 0;
    std::uint64_t m_timelineGeneration = 0;
    std::vector<Change> m_changes;
};

} // namespace kt::sim
