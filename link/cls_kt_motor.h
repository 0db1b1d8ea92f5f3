// The drive's command set: one function per value or action of the drive.
// Each checks its arguments (4, before any traffic), converts between the
// engineering value and the drive's bytes at the address, in the size and by
// the scaling the drive catalogue gives, and runs its exchange through the
// link, as the user's command that waits for it; a read writes its
// out-parameters only on success. ReadInBackground is the one exception: a
// background read that never waits. It keeps no state: every instance talks
// to the one link.
#pragma once

#include "drivemap/drive_value.h"
#include "link/frm_motor_com.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

namespace kt::platform {
class PromptService;
}

namespace kt::link {

class ClsKtMotor {
public:
    using Byte = std::uint8_t;
    using Single = float;
    using Long = std::int32_t;

    ClsKtMotor(FrmMotorCom& link, platform::PromptService& prompts);

    // Error codes of the drive as text; any other value, or a text that does
    // not start with a code, gives "No Error.".
    static QString ErrorDescription(double ErrorIndex);
    static QString ErrorDescription(const QString& ErrorIndex);

    Byte OpenPort();

    Byte WriteCommandForward(bool PutOn = false);
    Byte WriteCommandReverse(bool PutOn = false);
    Byte WriteAutoTorque(bool PutOn = false);
    Byte WriteProgram(const QByteArray& ProgramData);
    Byte ProgramErase();

    Byte WriteDecelerationRate(Single& Rate);
    Byte ReadDecelerationRate(Single& Rate);
    Byte WriteAccelerationRate(Single& Rate);
    Byte ReadAccelerationRate(Single& Rate);
    Byte ReadReferenceSpeed(Single& Speed);
    Byte WriteReferenceSpeed(Single& Speed);
    Byte ReadCurrentSpeed(Single& Speed);

    Byte ReadReferenceVolt(Byte& Volt);
    Byte ReadMotorVolt(Byte& Volt);
    Byte WriteReferenceVolt(Byte Volt);
    Byte ReadBusVolt(Single& Volt);
    Byte ReadMotorCurrent(Single& Current);
    Byte ReadCurrentLimit(Single& Current);
    Byte WriteCurrentLimit(Single& Current);

    Byte ReadStatus(bool& Fault, bool& MotorEnable, bool& MotorForward, bool& ProgramRunMode,
                    bool& AutoTorque, bool& CommandReverse, bool& CommandForward);
    Byte ReadInputs(bool (&In)[8]);
    Byte ReadFlags(bool (&Flag)[8]);
    Byte ReadOutputs(bool& Op0, bool& Op1);
    Byte WriteOutput(Byte OutputNumber, bool PutOn = false);
    Byte WriteFlag(Byte FlagNumber, bool PutOn = false);

    Byte ReadTimer(Byte TimerNumber, Byte& TimerData);
    Byte WriteTimer(Byte TimerNumber, Byte TimerData);
    Byte ReadCounter(Byte CounterNumber, Byte& CounterData);
    Byte WriteCounter(Byte CounterNumber, Byte CounterData);
    Byte ReadWordCounter(Byte WordCounterNumber, Long& WordCounterData);
    Byte WriteWordCounter(Byte WordCounterNumber, Long WordCounterData);
    Byte ReadAnalog(Byte AnalogNumber, Long& AnalogData);
    Byte ReadError(Byte& ErrorData);

    // Values above 102.1 become 102.1 in the caller's variable; false when
    // the value has no tenths count the drive can hold (negative, not a number).
    static bool EncodeTenths(Single& Value, QByteArray& Data);
    static Single DecodeTenths(const QByteArray& Data);

    // A reading taken in the background: the value as the matching read
    // function gives it (a bit group: its byte), and the link's time
    // (FrmMotorCom::Elapsed) when its reply was taken.
    struct Reading {
        Byte result = kFailed;
        double value = 0;
        qint64 msecs = 0;
        QString failure; // why, when result is not 0
    };
    // Reads a value of the catalogue (a channel of a numbered one) as a
    // background request of the link: returns at once, never asks, and
    // `done` runs from the event loop as soon as the reply is taken, unless
    // `context` is gone by then.
    void ReadInBackground(drivemap::Id id, int channel, QObject* context,
                          std::function<void(const Reading&)> done);

private:
    Byte Read(int address, int count, QByteArray& data);
    Byte Write(int address, const QByteArray& data);
    Byte WriteBit(int address, int bit, bool putOn);
    Byte ReadBits(int address, bool* const* bits, int count);
    // A value or channel in the catalogue's size, converted as it says.
    template <typename Value> Byte ReadAs(drivemap::Id id, int channel, Value& value);
    Byte WriteAs(drivemap::Id id, int channel, Single& value);
    static bool HasChannel(drivemap::Id id, Byte channel);
    bool Confirm(const QString& question);
    Byte Erase(const FrmMotorCom::Hold& hold);

    FrmMotorCom& m_link;
    platform::PromptService& m_prompts;
};

} // namespace kt::link
