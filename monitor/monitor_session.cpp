#include "monitor/monitor_session.h"

#include <algorithm>
#include <array>
#include <functional>
#include <optional>

namespace kt::monitor {

namespace {

using drivemap::DriveValue;
using drivemap::Id;
using drivemap::ValueRef;
using link::ClsKtMotor;
using Byte = ClsKtMotor::Byte;
// One read of the command set; a bit group's reading is its byte.
using Reader = std::function<Byte(ClsKtMotor&, double&)>;

Reader SingleOf(Byte (ClsKtMotor::*read)(float&)) {
    return [read](ClsKtMotor& m, double& reading) {
        float value = 0;
        const Byte result = (m.*read)(value);
        reading = static_cast<double>(value);
        return result;
    };
}

Reader ByteOf(Byte (ClsKtMotor::*read)(Byte&)) {
    return [read](ClsKtMotor& m, double& reading) {
        Byte value = 0;
        const Byte result = (m.*read)(value);
        reading = value;
        return result;
    };
}

template <typename Value>
Reader ChannelReader(Byte (ClsKtMotor::*read)(Byte, Value&), int channel) {
    return [read, channel = static_cast<Byte>(channel)](ClsKtMotor& m, double& reading) {
        Value value = 0;
        const Byte result = (m.*read)(channel, value);
        reading = static_cast<double>(value);
        return result;
    };
}

// The byte of a bit group from the command set's flags, which come in the
// order of the group's bits.
template <std::size_t N>
Reader GroupOf(Byte (*read)(ClsKtMotor&, bool (&)[N]), const std::array<drivemap::Bit, N>& bits) {
    return [read, &bits](ClsKtMotor& m, double& reading) {
        bool on[N] = {};
        const Byte result = read(m, on);
        unsigned byte = 0;
        for (std::size_t k = 0; k < N; ++k)
            byte |= (on[k] ? 1u : 0u) << bits[k].index;
        reading = byte;
        return result;
    };
}

Byte ReadOutputs(ClsKtMotor& m, bool (&on)[2]) {
    return m.ReadOutputs(on[0], on[1]);
}
Byte ReadInputs(ClsKtMotor& m, bool (&on)[8]) {
    return m.ReadInputs(on);
}
Byte ReadFlags(ClsKtMotor& m, bool (&on)[8]) {
    return m.ReadFlags(on);
}
// In the order of drivemap::kStatusBits.
Byte ReadStatus(ClsKtMotor& m, bool (&on)[7]) {
    return m.ReadStatus(on[6], on[5], on[4], on[3], on[2], on[1], on[0]);
}

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

struct Watch {
    Group group;
    Reader read;
};

// How a value (a channel of it) is watched: its group and the command set's
// read. Every value of the catalogue is decided here.
std::optional<Watch> WatchOf(const DriveValue& value, int channel) {
    switch (value.id) {
    case Id::CurrentSpeed:
        return Watch{Group::Speeds, SingleOf(&ClsKtMotor::ReadCurrentSpeed)};
    case Id::ReferenceSpeed:
        return Watch{Group::Speeds, SingleOf(&ClsKtMotor::ReadReferenceSpeed)};
    case Id::AccelerationRate:
        return Watch{Group::Speeds, SingleOf(&ClsKtMotor::ReadAccelerationRate)};
    case Id::DecelerationRate:
        return Watch{Group::Speeds, SingleOf(&ClsKtMotor::ReadDecelerationRate)};
    case Id::BusVolt:
        return Watch{Group::CurrentsAndVoltages, SingleOf(&ClsKtMotor::ReadBusVolt)};
    case Id::MotorCurrent:
        return Watch{Group::CurrentsAndVoltages, SingleOf(&ClsKtMotor::ReadMotorCurrent)};
    case Id::CurrentLimit:
        return Watch{Group::CurrentsAndVoltages, SingleOf(&ClsKtMotor::ReadCurrentLimit)};
    case Id::MotorVolt:
        return Watch{Group::CurrentsAndVoltages, ByteOf(&ClsKtMotor::ReadMotorVolt)};
    case Id::ReferenceVolt:
        return Watch{Group::CurrentsAndVoltages, ByteOf(&ClsKtMotor::ReadReferenceVolt)};
    case Id::Analog:
        return Watch{Group::AnalogInputs,
                     ChannelReader<std::int32_t>(&ClsKtMotor::ReadAnalog, channel)};
    case Id::Counter:
        return Watch{Group::Counters, ChannelReader<Byte>(&ClsKtMotor::ReadCounter, channel)};
    case Id::WordCounter:
        return Watch{Group::WordCounters,
                     ChannelReader<std::int32_t>(&ClsKtMotor::ReadWordCounter, channel)};
    case Id::Timer:
        return Watch{Group::Timers, ChannelReader<Byte>(&ClsKtMotor::ReadTimer, channel)};
    case Id::Error:
        return Watch{Group::Status, ByteOf(&ClsKtMotor::ReadError)};
    case Id::Status:
        return Watch{Group::Status, GroupOf(&ReadStatus, drivemap::kStatusBits)};
    case Id::Inputs:
        return Watch{Group::Inputs, GroupOf(&ReadInputs, drivemap::kInputBits)};
    case Id::Outputs:
        return Watch{Group::Outputs, GroupOf(&ReadOutputs, drivemap::kOutputBits)};
    case Id::Flags:
        return Watch{Group::Flags, GroupOf(&ReadFlags, drivemap::kFlagBits)};
    case Id::Identification:
        // Read by the port search; a drive's never changes.
        break;
    }
    return std::nullopt;
}

struct Catalogue {
    std::vector<Reader> sources;
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
                for (int channel = 0; channel < std::max<int>(value.channels, 1); ++channel) {
                    std::optional<Watch> watch = WatchOf(value, channel);
                    if (!watch || watch->group != group)
                        continue;
                    c.sources.push_back(std::move(watch->read));
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

// A read refused because the user's own command holds the link: tried again
// soon, without a word.
constexpr int kBusyRetryMs = 20;

} // namespace

MonitorSession::MonitorSession(link::FrmMotorCom& link, platform::PromptService& prompts,
                               QObject* parent)
    : QObject(parent), m_link(link),
      m_motor(std::make_unique<link::ClsKtMotor>(link, prompts, link::Priority::Background)),
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
    // A fresh recording's time starts at its first read.
    if (std::all_of(m_histories.begin(), m_histories.end(),
                    [](const SampleHistory& history) { return history.Empty(); }))
        m_clock.restart();
    m_running = true;
    m_next = 0;
    emit runningChanged(true);
    Schedule(0);
    return true;
}

void MonitorSession::Stop() {
    m_timer.stop();
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
    // The read below waits with events flowing; nothing may start another.
    if (!m_running || m_reading)
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
    double reading = 0;
    m_reading = true;
    const Byte result = TheCatalogue().sources[static_cast<std::size_t>(source)](*m_motor, reading);
    m_reading = false;
    if (!m_running)
        return; // stopped while the read waited
    if (result == link::kBusy) {
        Schedule(kBusyRetryMs);
        return;
    }
    if (result != link::kSent) {
        Fail(tr("Monitoring stopped: %1").arg(m_link.LastBackgroundFailure()));
        return;
    }
    ++m_reads;
    const qint64 now = Now();
    for (int channel : m_chosen) {
        const MonitorChannel& c = Channels()[static_cast<std::size_t>(channel)];
        if (c.source == source)
            m_histories[static_cast<std::size_t>(channel)].Append(
                now, c.Bit() ? (static_cast<unsigned>(reading) >> c.ref.bit) & 1u : reading);
    }
    emit sampled();
    ++m_next;
    if (m_next < sources.size() || m_interval == 0) {
        Schedule(0);
        return;
    }
    Schedule(static_cast<int>(std::max<qint64>(0, m_interval - m_roundClock.elapsed())));
}

} // namespace kt::monitor
