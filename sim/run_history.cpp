#include "sim/run_history.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

namespace kt::sim {

namespace {

constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();

void Fill(RunHistory::Bytes& bytes, const ProgramInterpreter::Snapshot& snapshot) {
    std::ranges::copy(snapshot.Memory(), bytes.begin());
    bytes[RunHistory::kTimerFlags] = snapshot.TimerFlags();
}

} // namespace

RunHistory::RunHistory(ProgramInterpreter& interpreter) : m_interpreter(interpreter) {
    Start();
}

void RunHistory::Start() {
    m_snapshots.clear();
    m_actions.clear();
    m_snapshots.push_back(m_interpreter.Save());
    m_latestMs = NowMs();
    ++m_generation;
}

bool RunHistory::Act(const Action& action) {
    switch (action.kind) {
    case Action::Kind::Input:
        return m_interpreter.SetInput(action.n, action.value != 0);
    case Action::Kind::Analog:
        return m_interpreter.SetAnalog(action.n, action.value);
    case Action::Kind::Force:
        return m_interpreter.Force(action.ref, action.value);
    case Action::Kind::Release:
        return m_interpreter.Release(action.ref, action.value != 0);
    }
    return false;
}

bool RunHistory::Record(Action action) {
    action.timeMs = NowMs();
    if (!Act(action))
        return false;
    // The recorded future no longer follows from here. The snapshot at now,
    // if any, was taken before the actions at now and stays.
    while (m_snapshots.back().TimeMs() > action.timeMs)
        m_snapshots.pop_back();
    while (!m_actions.empty() && m_actions.back().timeMs > action.timeMs)
        m_actions.pop_back();
    m_latestMs = action.timeMs;
    m_actions.push_back(action);
    ++m_generation;
    return true;
}

bool RunHistory::SetInput(int n, bool on) {
    return Record({Action::Kind::Input, 0, n, on, {}});
}

bool RunHistory::SetAnalog(int n, std::uint16_t value) {
    return Record({Action::Kind::Analog, 0, n, value, {}});
}

bool RunHistory::Force(const drivemap::ValueRef& ref, std::uint16_t count) {
    return Record({Action::Kind::Force, 0, 0, count, ref});
}

bool RunHistory::Release(const drivemap::ValueRef& ref, bool restore) {
    return Record({Action::Kind::Release, 0, 0, restore, ref});
}

void RunHistory::ApplyActionsAt(std::uint64_t timeMs) {
    auto it = std::ranges::lower_bound(m_actions, timeMs, {}, &Action::timeMs);
    for (; it != m_actions.end() && it->timeMs == timeMs; ++it)
        Act(*it);
}

std::uint64_t RunHistory::NextActionAfter(std::uint64_t timeMs) const {
    const auto it = std::ranges::upper_bound(m_actions, timeMs, {}, &Action::timeMs);
    return it == m_actions.end() ? kNever : it->timeMs;
}

std::size_t RunHistory::SnapshotBefore(std::uint64_t timeMs) const {
    const auto after =
        std::ranges::upper_bound(m_snapshots, timeMs, {}, &ProgramInterpreter::Snapshot::TimeMs);
    return static_cast<std::size_t>(std::max<std::ptrdiff_t>(after - m_snapshots.begin() - 1, 0));
}

// A snapshot holds the moment before the actions made at it.
bool RunHistory::RestoreSnapshot(std::size_t index) {
    if (!m_interpreter.Restore(m_snapshots[index]))
        return false;
    ApplyActionsAt(NowMs());
    return true;
}

void RunHistory::ReplayTo(std::uint64_t timeMs) {
    m_interpreter.m_replaying = true;
    while (NowMs() < timeMs) {
        m_interpreter.RunFor(std::min(timeMs, NextActionAfter(NowMs())) - NowMs());
        ApplyActionsAt(NowMs());
    }
    m_interpreter.m_replaying = false;
}

// The clock has moved on past LatestMs().
void RunHistory::Recorded() {
    m_latestMs = NowMs();
    ++m_generation;
    if (m_latestMs % kSnapshotMs != 0)
        return;
    m_snapshots.push_back(m_interpreter.Save());
    while (m_snapshots.size() > 1 && m_snapshots[1].TimeMs() + kKeptMs <= m_latestMs)
        m_snapshots.pop_front();
    while (!m_actions.empty() && m_actions.front().timeMs < EarliestMs())
        m_actions.pop_front();
}

bool RunHistory::Step() {
    const bool ran = m_interpreter.Step();
    if (NowMs() <= m_latestMs)
        ApplyActionsAt(NowMs());
    else
        Recorded();
    return ran;
}

void RunHistory::RunFor(std::uint64_t milliseconds) {
    const std::uint64_t end = NowMs() + milliseconds;
    while (NowMs() < end) {
        const std::uint64_t now = NowMs();
        // Over the recorded future up to its next action; recording up to
        // the next snapshot.
        const std::uint64_t until = now < m_latestMs
                                        ? std::min({end, m_latestMs, NextActionAfter(now)})
                                        : std::min(end, (now / kSnapshotMs + 1) * kSnapshotMs);
        m_interpreter.RunFor(until - now);
        if (NowMs() <= m_latestMs)
            ApplyActionsAt(NowMs());
        else
            Recorded();
        if (m_interpreter.LastHit())
            return;
    }
}

bool RunHistory::SeekTo(std::uint64_t timeMs) {
    if (timeMs < EarliestMs() || timeMs > m_latestMs)
        return false;
    if (timeMs < NowMs() && !RestoreSnapshot(SnapshotBefore(timeMs)))
        return false;
    ReplayTo(timeMs);
    return true;
}

bool RunHistory::StepBack() {
    return NowMs() > EarliestMs() && SeekTo(NowMs() - 1);
}

// Stretch by stretch between snapshots, from the latest: the first with a
// stop in it holds the latest stop.
bool RunHistory::RunBack(const std::function<bool(std::size_t nextStatement)>& pausesBefore) {
    const std::uint64_t now = NowMs();
    if (now <= EarliestMs())
        return false;
    std::optional<std::uint64_t> stop;
    for (std::size_t i = SnapshotBefore(now - 1); !stop; --i) {
        const std::uint64_t to =
            i + 1 < m_snapshots.size() ? std::min(m_snapshots[i + 1].TimeMs(), now) : now;
        if (!RestoreSnapshot(i))
            return false;
        m_interpreter.m_replaying = true;
        while (NowMs() < to) {
            if (m_interpreter.Running() && pausesBefore(m_interpreter.NextStatement()))
                stop = NowMs();
            m_interpreter.Step();
            ApplyActionsAt(NowMs());
            if (m_interpreter.LastHit() && NowMs() < now)
                stop = NowMs();
        }
        m_interpreter.m_replaying = false;
        if (i == 0)
            break;
    }
    return SeekTo(stop.value_or(EarliestMs()));
}

void RunHistory::Snap(Bytes& bytes) const {
    std::copy_n(m_interpreter.m_memory.begin(), drivemap::kUsedSize, bytes.begin());
    bytes[kTimerFlags] = m_interpreter.m_timerFlags;
}

// Replayed from the earliest snapshot, comparing after every millisecond;
// the run is put back where it was.
std::span<const RunHistory::Change> RunHistory::Changes() {
    if (m_timelineGeneration == m_generation)
        return m_changes;
    m_changes.clear();
    const ProgramInterpreter::Snapshot here = m_interpreter.Save();
    Bytes before;
    Fill(before, m_snapshots.front());
    Bytes after;
    if (RestoreSnapshot(0)) {
        m_interpreter.m_replaying = true;
        for (;;) {
            Snap(after);
            if (std::memcmp(after.data(), before.data(), after.size()) != 0) {
                for (std::size_t a = 0; a < after.size(); ++a)
                    if (after[a] != before[a])
                        m_changes.push_back({NowMs(), static_cast<std::uint16_t>(a), after[a]});
                before = after;
            }
            if (NowMs() >= m_latestMs)
                break;
            m_interpreter.Step();
            ApplyActionsAt(NowMs());
        }
        m_interpreter.m_replaying = false;
        m_interpreter.Restore(here);
    }
    m_timelineGeneration = m_generation;
    return m_changes;
}

RunHistory::Bytes RunHistory::BytesAt(std::uint64_t timeMs) {
    timeMs = std::clamp(timeMs, EarliestMs(), m_latestMs);
    const std::span<const Change> changes = Changes();
    const ProgramInterpreter::Snapshot& snapshot = m_snapshots[SnapshotBefore(timeMs)];
    Bytes bytes;
    Fill(bytes, snapshot);
    // Changes at the snapshot's moment made before it set what it holds.
    for (auto it = std::ranges::lower_bound(changes, snapshot.TimeMs(), {}, &Change::timeMs);
         it != changes.end() && it->timeMs <= timeMs; ++it)
        bytes[it->address] = it->after;
    return bytes;
}

std::vector<std::pair<std::uint64_t, double>> RunHistory::Curve(const drivemap::ValueRef& ref) {
    std::vector<std::pair<std::uint64_t, double>> curve;
    if (ref.value == nullptr)
        return curve;
    const std::span<const Change> changes = Changes();
    Bytes bytes;
    Fill(bytes, m_snapshots.front());
    const std::uint16_t first = ref.Address();
    const auto last = static_cast<std::uint16_t>(first + ref.value->size);
    curve.emplace_back(EarliestMs(), drivemap::Reading(ref, bytes));
    for (const Change& change : changes) {
        bytes[change.address] = change.after;
        if (change.address < first || change.address >= last)
            continue;
        const double reading = drivemap::Reading(ref, bytes);
        // Of several changes at one moment, the last counts.
        if (curve.size() > 1 && curve.back().first == change.timeMs)
            curve.pop_back();
        if (reading != curve.back().second)
            curve.emplace_back(change.timeMs, reading);
    }
    if (curve.back().first < m_latestMs)
        curve.emplace_back(m_latestMs, curve.back().second);
    return curve;
}

} // namespace kt::sim
