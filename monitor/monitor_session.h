// The monitor's reading: which values the drive can be watched for, as the
// drive catalogue names them, and the loop that reads the chosen ones again
// and again as background requests of the link, recording each sample with
// the time its reply was taken. A read never waits: the next one is queued
// from the last one's completion, behind the user's own commands. Reading
// stops at the first failed read with one sentence saying why. It draws
// nothing; the Monitor window shows what it records.
#pragma once

#include "drivemap/drive_catalogue.h"
#include "link/cls_kt_motor.h"
#include "monitor/sample_history.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <string_view>
#include <vector>

namespace kt::platform {
class PromptService;
}

namespace kt::monitor {

// One value that can be watched: a value, a channel of a numbered value or
// a bit of a bit group, named as the catalogue names it ("BusVolt",
// "Counter.3", "Input.0", "MotorEnable").
struct MonitorChannel {
    QString group; // where the chooser lists it
    QString name;  // drivemap::Name
    // drivemap::UnitOrName: "V", or the value's own name where it has no
    // unit. Channels of one unit share a plot.
    QString unit;
    drivemap::ValueRef ref;
    int source = 0; // the read that gives it

    bool Bit() const { return ref.bit != drivemap::ValueRef::kWhole; }
    // The catalogue's unit, written after a reading; empty where it has none.
    QString ReadingUnit() const;
    // A reading as `ktmotor-cli read` prints it: "47.96733", "50", "3: Fault
    // in motor power stage.", a bit 0 or 1.
    QString Text(double reading) const;
};

class MonitorSession : public QObject {
    Q_OBJECT

public:
    MonitorSession(link::FrmMotorCom& link, platform::PromptService& prompts,
                   QObject* parent = nullptr);
    ~MonitorSession() override;

    static const std::vector<MonitorChannel>& Channels();
    // The channel of a value, channel or bit; -1 when it is not watched
    // (Identification).
    static int ChannelOf(const drivemap::ValueRef& ref);
    // The channels a name stands for, by any name drivemap::Find accepts: a
    // bit group's bits, a numbered value's channel 0, else one; none for a
    // name it does not know or a value not watched.
    static std::vector<int> ChannelsNamed(std::string_view name);

    // Indexes into Channels(); takes effect at the next round.
    void SetChosen(std::vector<int> channels);
    const std::vector<int>& Chosen() const { return m_chosen; }
    // Milliseconds from the start of one round of reads to the next; 0 reads
    // as fast as the line allows.
    void SetInterval(int msecs) { m_interval = msecs < 0 ? 0 : msecs; }
    int Interval() const { return m_interval; }

    // Finds the drive first when no port is open (a search the user asked
    // for). False, with stopped() emitted, when there is nothing to read or
    // no drive.
    bool Start();
    // Stops reading; what was recorded stays.
    void Stop();
    bool Running() const { return m_running; }
    void Clear();

    const SampleHistory& History(int channel) const;
    // Every read made since Clear, kept or not.
    qint64 Reads() const { return m_reads; }
    // How much of the chosen values' recording is kept: from firstMsecs to
    // lastMsecs, in full from fullFromMsecs on. Whole when nothing of them
    // has been dropped or reduced.
    struct Kept {
        qint64 firstMsecs = 0;
        qint64 fullFromMsecs = 0;
        qint64 lastMsecs = 0;
        bool whole = true;
    };
    Kept KeptSpan() const;
    // Milliseconds since the recording began.
    qint64 Now() const;

signals:
    void sampled();
    void runningChanged(bool running);
    // Reading stopped on its own, and why.
    void stopped(const QString& why);

private:
    void ReadNext();
    void OnRead(int source, const link::ClsKtMotor::Reading& reading);
    void Schedule(int msecs);
    void Fail(const QString& why);
    std::vector<int> Sources() const;

    link::FrmMotorCom& m_link;
    std::unique_ptr<link::ClsKtMotor> m_motor;
    std::vector<SampleHistory> m_histories; // one per channel, allocated as chosen
    std::vector<int> m_chosen;
    int m_interval = 0;
    bool m_running = false;
    int m_run = 0;          // counts the stops: a completion of an earlier run is ignored
    std::size_t m_next = 0; // the next source of the round
    QElapsedTimer m_roundClock;
    QElapsedTimer m_clock;
    qint64 m_reads = 0;
    QTimer m_timer;
};

} // namespace kt::monitor
