#include "monitor/monitor_session.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <functional>

namespace kt::monitor {

namespace {

using link::ClsKtMotor;
using Byte = ClsKtMotor::Byte;
using Values = std::array<double, 8>;
using Reader = std::function<Byte(ClsKtMotor&, Values&)>;

Reader SingleOf(Byte (ClsKtMotor::*read)(float&)) {
    return [read](ClsKtMotor& m, Values& v) {
        float value = 0;
        const Byte result = (m.*read)(value);
        v[0] = static_cast<double>(value);
        return result;
    };
}

Reader ByteOf(Byte (ClsKtMotor::*read)(Byte&)) {
    return [read](ClsKtMotor& m, Values& v) {
        Byte value = 0;
        const Byte result = (m.*read)(value);
        v[0] = value;
        return result;
    };
}

template <typename Value> Reader ChannelOf(Byte (ClsKtMotor::*read)(Byte, Value&), Byte channel) {
    return [read, channel](ClsKtMotor& m, Values& v) {
        Value value = 0;
        const Byte result = (m.*read)(channel, value);
        v[0] = static_cast<double>(value);
        return result;
    };
}

template <std::size_t N> void Copy(const bool (&bits)[N], Values& v) {
    for (std::size_t k = 0; k < N; ++k)
        v[k] = bits[k] ? 1 : 0;
}

struct Catalogue {
    std::vector<Reader> sources;
    std::vector<MonitorChannel> channels;

    void Plain(const QString& group, const QString& name, const QString& unit, Reader read) {
        channels.push_back({group, name, unit, false, static_cast<int>(sources.size()), 0});
        sources.push_back(std::move(read));
    }
    void Bits(const QString& group, const QStringList& names, Reader read) {
        for (int k = 0; k < names.size(); ++k)
            channels.push_back(
                {group, names[k], QString(), true, static_cast<int>(sources.size()), k});
        sources.push_back(std::move(read));
    }
};

const Catalogue& TheCatalogue() {
    static const Catalogue catalogue = [] {
        Catalogue c;
        const QString drive = QStringLiteral("Drive");
        c.Plain(drive, QStringLiteral("CurrentSpeed"), QStringLiteral("Speed"),
                SingleOf(&ClsKtMotor::ReadCurrentSpeed));
        c.Plain(drive, QStringLiteral("ReferenceSpeed"), QStringLiteral("Speed"),
                SingleOf(&ClsKtMotor::ReadReferenceSpeed));
        c.Plain(drive, QStringLiteral("MotorCurrent"), QStringLiteral("A"),
                SingleOf(&ClsKtMotor::ReadMotorCurrent));
        c.Plain(drive, QStringLiteral("MotorVolt"), QStringLiteral("Volt%"),
                ByteOf(&ClsKtMotor::ReadMotorVolt));
        c.Plain(drive, QStringLiteral("BusVolt"), QStringLiteral("V"),
                SingleOf(&ClsKtMotor::ReadBusVolt));
        c.Plain(drive, QStringLiteral("ReferenceVolt%"), QStringLiteral("Volt%"),
                ByteOf(&ClsKtMotor::ReadReferenceVolt));
        for (Byte n = 0; n < 6; ++n)
            c.Plain(QStringLiteral("Analog inputs"), QStringLiteral("Analog%1").arg(n),
                    QStringLiteral("Analog"), ChannelOf<std::int32_t>(&ClsKtMotor::ReadAnalog, n));
        for (Byte n = 0; n < 8; ++n)
            c.Plain(QStringLiteral("Counters"), QStringLiteral("Counter%1").arg(n),
                    QStringLiteral("Count"), ChannelOf<Byte>(&ClsKtMotor::ReadCounter, n));
        for (Byte n = 0; n < 4; ++n)
            c.Plain(QStringLiteral("Word counters"), QStringLiteral("WordCounter%1").arg(n),
                    QStringLiteral("Count"),
                    ChannelOf<std::int32_t>(&ClsKtMotor::ReadWordCounter, n));
        for (Byte n = 0; n < 4; ++n)
            c.Plain(QStringLiteral("Timers"), QStringLiteral("Timer%1").arg(n),
                    QStringLiteral("Timer"), ChannelOf<Byte>(&ClsKtMotor::ReadTimer, n));
        c.Bits(QStringLiteral("Status"),
               {QStringLiteral("Fault"), QStringLiteral("MotorEnable"),
                QStringLiteral("MotorForward"), QStringLiteral("ProgramRunMode"),
                QStringLiteral("AutoTorque"), QStringLiteral("CommandReverse"),
                QStringLiteral("CommandForward")},
               [](ClsKtMotor& m, Values& v) {
                   bool b[7] = {};
                   const Byte result = m.ReadStatus(b[0], b[1], b[2], b[3], b[4], b[5], b[6]);
                   Copy(b, v);
                   return result;
               });
        QStringList inputs, flags;
        for (int k = 0; k < 8; ++k) {
            inputs << QStringLiteral("Input%1").arg(k);
            flags << QStringLiteral("Flag%1").arg(k);
        }
        c.Bits(QStringLiteral("Inputs"), inputs, [](ClsKtMotor& m, Values& v) {
            bool in[8] = {};
            const Byte result = m.ReadInputs(in);
            Copy(in, v);
            return result;
        });
        c.Bits(QStringLiteral("Outputs"), {QStringLiteral("Output0"), QStringLiteral("Output1")},
               [](ClsKtMotor& m, Values& v) {
                   bool op[2] = {};
                   const Byte result = m.ReadOutputs(op[0], op[1]);
                   Copy(op, v);
                   return result;
               });
        c.Bits(QStringLiteral("Flags"), flags, [](ClsKtMotor& m, Values& v) {
            bool flag[8] = {};
            const Byte result = m.ReadFlags(flag);
            Copy(flag, v);
            return result;
        });
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

const std::vector<MonitorChannel>& MonitorSession::Channels() {
    return TheCatalogue().channels;
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
    Values values{};
    m_reading = true;
    const Byte result = TheCatalogue().sources[static_cast<std::size_t>(source)](*m_motor, values);
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
                now, values[static_cast<std::size_t>(c.bit ? c.bitIndex : 0)]);
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
