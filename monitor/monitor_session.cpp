#include "monitor/monitor_session.h"

#include <algorithm>
#include <optional>

namespace kt::monitor {

namespace {

using drivemap::DriveValue;
using drivemap::Id;
using drivemap::ValueRef;
using link::ClsKtMotor;
using Byte = ClsKtMotor::Byte;

// Where the chooser lists a value, in the chooser's order.
enum class Group {
    Speeds,
    CurrentsAndVoltages,
    AnalogInputs,
    Counters,
    WordCounters,
    Timers,
    Status,
    Inputs,
    Outputs,
    Flags,
};
constexpr Group kGroups[] = {Group::Speeds,       Group::CurrentsAndVoltages,
                             Group::AnalogInputs, Group::Counters,
                             Group::WordCounters, Group::Timers,
                             Group::Status,       Group::Inputs,
                             Group::Outputs,      Group::Flags};

QString Title(Group group) {
    switch (group) {
    case Group::Speeds:
        return QObject::tr("Speeds and rates");
    case Group::CurrentsAndVoltages:
        return QObject::tr("Currents and voltages");
    case Group::AnalogInputs:
        return QObject::tr("Analog inputs");
    case Group::Counters:
        return QObject::tr("Counters");
    case Group::WordCounters:
        return QObject::tr("Word counters");
    case Group::Timers:
        return QObject::tr("Timers");
    case Group::Status:
        return QObject::tr("Status");
    case Group::Inputs:
        return QObject::tr("Inputs");
    case Group::Outputs:
        return QObject::tr("Outputs");
    case Group::Flags:
        return QObject::tr("Flags");
    }
    return {};
}

// Where a value is watched: its group. Every value of the catalogue is
// decided here.
std::optional<Group> GroupOf(const DriveValue& value) {
    switch (value.id) {
    case Id::CurrentSpeed:
    case Id::ReferenceSpeed:
    case Id::AccelerationRate:
    case Id::DecelerationRate:
        return Group::Speeds;
    case Id::BusVolt:
    case Id::MotorCurrent:
    case Id::CurrentLimit:
    case Id::MotorVolt:
    case Id::ReferenceVolt:
        return Group::CurrentsAndVoltages;
    case Id::Analog:
        return Group::AnalogInputs;
    case Id::Counter:
        return Group::Counters;
    case Id::WordCounter:
        return Group::WordCounters;
    case Id::Timer:
        return Group::Timers;
    case Id::Error:
    case Id::Status:
        return Group::Status;
    case Id::Inputs:
        return Group::Inputs;
    case Id::Outputs:
        return Group::Outputs;
    case Id::Flags:
        return Group::Flags;
    case Id::Identification:
        // Read by the port search; a drive's never changes.
        break;
    }
    return std::nullopt;
}

// One read: a value, or a channel of a numbered one; a bit group's reading
// is its byte.
struct Source {
    Id id;
    int channel;
};

struct Catalogue {
    std::vector<Source> sources;
    std::vector<MonitorChannel> channels;

    void Add(const QString& group, const ValueRef& ref) {
        channels.push_back({group, QString::fromStdString(drivemap::Name(ref)),
                            QString::fromUtf8(drivemap::UnitOrName(*ref.value)), ref,
                            static_cast<int>(sources.size()) - 1});
    }
};

// Group by group, each in the catalogue's order: a read per value or
// channel, a channel per value, channel or bit.
const Catalogue& TheCatalogue() {
    static const Catalogue catalogue = [] {
        Catalogue c;
        for (const Group group : kGroups) {
            for (const DriveValue& value : drivemap::Values()) {
                if (GroupOf(value) != group)
                    continue;
                for (int channel = 0; channel < std::max<int>(value.channels, 1); ++channel) {
                    c.sources.push_back({value.id, channel});
                    const ValueRef whole{&value, value.channels > 0 ? channel : ValueRef::kWhole,
                                         ValueRef::kWhole};
                    if (value.bits.empty())
                        c.Add(Title(group), whole);
                    for (const drivemap::Bit& bit : value.bits)
                        c.Add(Title(group), {&value, ValueRef::kWhole, bit.index});
                }
            }
        }
        return c;
    }();
    return catalogue;
}

} // namespace

MonitorSession::MonitorSession(link::FrmMotorCom& link, platform::PromptService& prompts,
                               QObject* parent)
    : QObject(parent), m_link(link), m_motor(std::make_unique<link::ClsKtMotor>(link, prompts)),
      m_histories(Channels().size()) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &MonitorSession::ReadNext);
    m_clock.start();
}

MonitorSession::~MonitorSession() = default;

QString MonitorChannel::ReadingUnit() const {
    return QString::fromUtf8(ref.value->unit);
}

QString MonitorChannel::Text(double reading) const {
    return QString::fromStdString(drivemap::Format(ref, reading));
}

const std::vector<MonitorChannel>& MonitorSession::Channels() {
    return TheCatalogue().channels;
}

int MonitorSession::ChannelOf(const drivemap::ValueRef& ref) {
    const auto& channels = Channels();
    const auto found = std::find_if(channels.begin(), channels.end(),
                                    [&](const MonitorChannel& c) { return c.ref == ref; });
    return found == channels.end() ? -1 : static_cast<int>(found - channels.begin());
}

std::vector<int> MonitorSession::ChannelsNamed(std::string_view name) {
    std::optional<ValueRef> ref = drivemap::Find(name);
    if (!ref)
        return {};
    if (ref->Family())
        ref->channel = 0;
    std::vector<int> found;
    if (ref->bit == ValueRef::kWhole && !ref->value->bits.empty()) {
        for (const drivemap::Bit& bit : ref->value->bits)
            found.push_back(ChannelOf({ref->value, ValueRef::kWhole, bit.index}));
    } else {
        found.push_back(ChannelOf(*ref));
    }
    std::erase(found, -1);
    return found;
}

void MonitorSession::SetChosen(std::vector<int> channels) {
    const int count = static_cast<int>(Channels().size());
    std::erase_if(channels, [count](int c) { return c < 0 || c >= count; });
    std::sort(channels.begin(), channels.end());
    channels.erase(std::unique(channels.begin(), channels.end()), channels.end());
    // A value ticked again resumes after a time unread.
    for (int channel : channels)
        if (!std::binary_search(m_chosen.begin(), m_chosen.end(), channel))
            m_histories[static_cast<std::size_t>(channel)].MarkBreak();
    m_chosen = std::move(channels);
    m_next = 0;
}

std::vector<int> MonitorSession::Sources() const {
    std::vector<int> sources;
    for (int channel : m_chosen) {
        const int source = Channels()[static_cast<std::size_t>(channel)].source;
        if (std::find(sources.begin(), sources.end(), source) == sources.end())
            sources.push_back(source);
    }
    return sources;
}

const SampleHistory& MonitorSession::History(int channel) const {
    return m_histories.at(static_cast<std::size_t>(channel));
}

MonitorSession::Kept MonitorSession::KeptSpan() const {
    Kept kept;
    bool any = false;
    for (int channel : m_chosen) {
        const SampleHistory& history = m_histories[static_cast<std::size_t>(channel)];
        kept.whole = kept.whole && history.Whole();
        if (history.Empty())
            continue;
        kept.firstMsecs =
            any ? std::min(kept.firstMsecs, history.FirstMsecs()) : history.FirstMsecs();
        kept.fullFromMsecs =
            any ? std::max(kept.fullFromMsecs, history.FullFromMsecs()) : history.FullFromMsecs();
        kept.lastMsecs = any ? std::max(kept.lastMsecs, history.LastMsecs()) : history.LastMsecs();
        any = true;
    }
    return kept;
}

qint64 MonitorSession::Now() const {
    return m_clock.elapsed();
}

bool MonitorSession::Start() {
    if (m_running)
        return true;
    if (m_chosen.empty()) {
        emit stopped(tr("Tick the values to watch first."));
        return false;
    }
    // The one search of the session, asked for by the user's Start: the
    // background never searches.
    if (m_link.PortNumber() == 0 && m_link.OpenPort() == 0) {
        emit stopped(m_link.Busy() ? tr("The drive is busy with another command; try again.")
                                   : tr("No drive answers on any port."));
        return false;
    }
    // A fresh recording's time starts at its first read; one resumed keeps
    // its clock, and the pause shows as a break.
    if (std::all_of(m_histories.begin(), m_histories.end(),
                    [](const SampleHistory& history) { return history.Empty(); }))
        m_clock.restart();
    for (SampleHistory& history : m_histories)
        history.MarkBreak();
    m_running = true;
    m_next = 0;
    emit runningChanged(true);
    Schedule(0);
    return true;
}

void MonitorSession::Stop() {
    m_timer.stop();
    // A read still waiting for the wire is not wanted any more; one on the
    // wire ends as usual, and its completion is no longer this run's.
    m_link.WithdrawBackground(this);
    ++m_run;
    if (!m_running)
        return;
    m_running = false;
    emit runningChanged(false);
}

void MonitorSession::Clear() {
    for (SampleHistory& history : m_histories)
        history.Clear();
    m_reads = 0;
    m_clock.restart();
}

void MonitorSession::Schedule(int msecs) {
    if (m_running)
        m_timer.start(msecs);
}

void MonitorSession::Fail(const QString& why) {
    Stop();
    emit stopped(why);
}

void MonitorSession::ReadNext() {
    if (!m_running)
        return;
    const std::vector<int> sources = Sources();
    if (sources.empty()) {
        Fail(tr("Nothing is ticked to watch."));
        return;
    }
    if (m_next >= sources.size())
        m_next = 0;
    if (m_next == 0)
        m_roundClock.start();
    const int source = sources[m_next];
    const Source& read = TheCatalogue().sources[static_cast<std::size_t>(source)];
    // Never waits: the link queues the read behind the user's commands and
    // calls back as soon as its reply is taken.
    m_motor->ReadInBackground(read.id, read.channel, this,
                              [this, source, run = m_run](const ClsKtMotor::Reading& reading) {
                                  if (run == m_run)
                                      OnRead(source, reading);
                              });
}

void MonitorSession::OnRead(int source, const ClsKtMotor::Reading& reading) {
    if (!m_running)
        return;
    if (reading.result != link::kSent) {
        Fail(tr("Monitoring stopped: %1").arg(reading.failure));
        return;
    }
    ++m_reads;
    // The time the reply was taken, on this recording's clock.
    const qint64 at = Now() - (m_link.Elapsed() - reading.msecs);
    for (int channel : m_chosen) {
        const MonitorChannel& c = Channels()[static_cast<std::size_t>(channel)];
        if (c.source == source)
            m_histories[static_cast<std::size_t>(channel)].Append(
                at,
                c.Bit() ? (static_cast<unsigned>(reading.value) >> c.ref.bit) & 1u : reading.value);
    }
    emit sampled();
    ++m_next;
    if (m_next < Sources().size() || m_interval == 0) {
        // At once: the read goes in the queue while the wire is still busy.
        ReadNext();
        return;
    }
    Schedule(static_cast<int>(std::max<qint64>(0, m_interval - m_roundClock.elapsed())));
}

} // namespace kt::monitor
