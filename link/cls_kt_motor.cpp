#include "link/cls_kt_motor.h"

#include "compiler/number_rules.h"
#include "link/drive_map.h"
#include "link/packet.h"
#include "platform/prompt_service.h"

#include <cmath>

namespace kt::link {

namespace {

constexpr float kMaxCurrent = 65.0f;

std::uint8_t At(const QByteArray& data, int i) {
    return static_cast<std::uint8_t>(data.at(i));
}
int Word(const QByteArray& data) {
    return At(data, 1) * 256 + At(data, 0);
}

} // namespace

ClsKtMotor::ClsKtMotor(FrmMotorCom& link, platform::PromptService& prompts, Priority priority)
    : m_link(link), m_prompts(prompts), m_priority(priority) {}

QString ClsKtMotor::ErrorDescription(double ErrorIndex) {
    if (ErrorIndex == 1)
        return QStringLiteral("Program passed end of buffer.");
    if (ErrorIndex == 2)
        return QStringLiteral("Program instruction is not identified.");
    if (ErrorIndex == 3)
        return QStringLiteral("Fault in motor power stage.");
    if (ErrorIndex == 4)
        return QStringLiteral("motorcurrent exceeded set current.");
    if (ErrorIndex == 5)
        return QStringLiteral("Bus Low Volt.");
    return QStringLiteral("No Error.");
}

QString ClsKtMotor::ErrorDescription(const QString& ErrorIndex) {
    // The number a text starts with ("3: Fault in motor power stage." is 3).
    const QString text = ErrorIndex.trimmed();
    qsizetype end = 0;
    if (end < text.size() && (text[end] == u'+' || text[end] == u'-'))
        ++end;
    while (end < text.size() && (text[end].isDigit() || text[end] == u'.'))
        ++end;
    const std::optional<double> number = compiler::ParseNumber(text.left(end).toStdString());
    return ErrorDescription(number.value_or(0));
}

ClsKtMotor::Byte ClsKtMotor::OpenPort() {
    return m_link.OpenPort();
}

ClsKtMotor::Byte ClsKtMotor::Read(int address, int count, QByteArray& data) {
    QByteArray reply;
    const Byte result = m_link.SendPacket(DriveMap::kAccess, address, static_cast<Byte>(count),
                                          reply, false, m_priority);
    if (result != kSent)
        return result;
    // Only a reply of the size asked for is a read; anything else would be
    // decoded from bytes the drive never sent for this value.
    if (reply.size() != count)
        return kFailed;
    data = reply;
    return result;
}

ClsKtMotor::Byte ClsKtMotor::Write(int address, const QByteArray& data) {
    QByteArray bytes = data;
    return m_link.SendPacket(DriveMap::kAccess, address, static_cast<Byte>(bytes.size()), bytes,
                             true, m_priority);
}

ClsKtMotor::Byte ClsKtMotor::WriteBit(int address, int bit, bool putOn) {
    const auto mask = static_cast<std::uint8_t>(1u << bit);
    QByteArray data(1, static_cast<char>(putOn ? mask : 255 - mask));
    return m_link.SendPacket(putOn ? DriveMap::kSetBit : DriveMap::kClearBit, address, 1, data,
                             true, m_priority);
}

ClsKtMotor::Byte ClsKtMotor::ReadBits(int address, bool* const* bits, int count) {
    QByteArray data;
    const Byte result = Read(address, 1, data);
    if (result != kSent)
        return result;
    for (int k = 0; k < count; ++k)
        *bits[k] = (At(data, 0) >> k) & 1;
    return result;
}

bool ClsKtMotor::Confirm(const QString& question) {
    return m_prompts.Message({.text = question,
                              .buttons = platform::Buttons::YesNo,
                              .icon = platform::Icon::Critical,
                              .defaultAnswer = platform::Answer::No}) == platform::Answer::Yes;
}

bool ClsKtMotor::EncodeTenths(Single& Value, QByteArray& Data) {
    if (Value > compiler::kTenthsLimit)
        Value = compiler::kTenthsLimit;
    // Formed in double, as the compiler forms its tenths: the same text gives
    // the same count wherever it is typed.
    const double tenths = compiler::RoundHalfEven(static_cast<double>(Value) * 10.0);
    if (!(tenths >= 0))
        return false;
    const int n = static_cast<int>(tenths);
    Data = Packet::Bytes({n % 256, n / 256});
    return true;
}

ClsKtMotor::Single ClsKtMotor::DecodeTenths(const QByteArray& Data) {
    return static_cast<Single>(Word(Data)) / 10.0f;
}

ClsKtMotor::Byte ClsKtMotor::WriteCommandForward(bool PutOn) {
    return WriteBit(DriveMap::kStatus, DriveMap::kCommandForwardBit, PutOn);
}
ClsKtMotor::Byte ClsKtMotor::WriteCommandReverse(bool PutOn) {
    return WriteBit(DriveMap::kStatus, DriveMap::kCommandReverseBit, PutOn);
}
ClsKtMotor::Byte ClsKtMotor::WriteAutoTorque(bool PutOn) {
    return WriteBit(DriveMap::kStatus, DriveMap::kAutoTorqueBit, PutOn);
}

ClsKtMotor::Byte ClsKtMotor::Erase() {
    QByteArray erase(1, static_cast<char>(DriveMap::kEraseByte));
    return m_link.SendPacket(DriveMap::kErase, DriveMap::kEraseLocation, 1, erase, true);
}

ClsKtMotor::Byte ClsKtMotor::WriteProgram(const QByteArray& ProgramData) {
    if (ProgramData.size() != DriveMap::kProgramSize)
        return kOutOfRange;
    // Asking now would put the question on top of the user's waiting
    // command, whose end the answer could not change: the link is busy
    // either way. A monitoring read is waited for by the exchanges below.
    if (m_link.ForegroundBusy())
        return kBusy;
    if (!Confirm(QStringLiteral("This will put a new ProgramData in your motor, Are you sure?")))
        return kSent;
    if (const Byte erased = Erase(); erased != kSent)
        return erased;
    QByteArray image = ProgramData;
    return m_link.SendPacket(DriveMap::kProgram, 0, DriveMap::kProgramSize, image, true);
}

ClsKtMotor::Byte ClsKtMotor::ProgramErase() {
    if (m_link.ForegroundBusy())
        return kBusy;
    if (!Confirm(QStringLiteral("This will erase program in your motor, Are you sure?")))
        return kSent;
    return Erase();
}

template <typename Convert>
ClsKtMotor::Byte ClsKtMotor::ReadValue(int address, int count, Convert convert) {
    QByteArray data;
    const Byte result = Read(address, count, data);
    if (result == kSent)
        convert(data);
    return result;
}

ClsKtMotor::Byte ClsKtMotor::WriteTenths(int address, Single& value) {
    QByteArray data;
    if (!EncodeTenths(value, data))
        return kOutOfRange;
    return Write(address, data);
}

ClsKtMotor::Byte ClsKtMotor::ReadTenths(int address, Single& value) {
    return ReadValue(address, 2, [&](const QByteArray& d) { value = DecodeTenths(d); });
}

ClsKtMotor::Byte ClsKtMotor::WriteDecelerationRate(Single& Rate) {
    return WriteTenths(DriveMap::kDecelerationRate, Rate);
}
ClsKtMotor::Byte ClsKtMotor::ReadDecelerationRate(Single& Rate) {
    return ReadTenths(DriveMap::kDecelerationRate, Rate);
}
ClsKtMotor::Byte ClsKtMotor::WriteAccelerationRate(Single& Rate) {
    return WriteTenths(DriveMap::kAccelerationRate, Rate);
}
ClsKtMotor::Byte ClsKtMotor::ReadAccelerationRate(Single& Rate) {
    return ReadTenths(DriveMap::kAccelerationRate, Rate);
}
ClsKtMotor::Byte ClsKtMotor::WriteReferenceSpeed(Single& Speed) {
    return WriteTenths(DriveMap::kReferenceSpeed, Speed);
}
ClsKtMotor::Byte ClsKtMotor::ReadReferenceSpeed(Single& Speed) {
    return ReadTenths(DriveMap::kReferenceSpeed, Speed);
}
ClsKtMotor::Byte ClsKtMotor::ReadCurrentSpeed(Single& Speed) {
    return ReadTenths(DriveMap::kCurrentSpeed, Speed);
}

ClsKtMotor::Byte ClsKtMotor::ReadReferenceVolt(Byte& Volt) {
    return ReadValue(DriveMap::kReferenceVolt, 2,
                     [&](const QByteArray& d) { Volt = At(d, 0) * 100 / 255; });
}

ClsKtMotor::Byte ClsKtMotor::ReadMotorVolt(Byte& Volt) {
    return ReadValue(DriveMap::kMotorVolt, 2,
                     [&](const QByteArray& d) { Volt = At(d, 0) * 100 / 255; });
}

ClsKtMotor::Byte ClsKtMotor::WriteReferenceVolt(Byte Volt) {
    if (Volt > 100)
        return kOutOfRange;
    return Write(DriveMap::kReferenceVolt, Packet::Bytes({Volt * 255 / 100, 0}));
}

ClsKtMotor::Byte ClsKtMotor::ReadBusVolt(Single& Volt) {
    return ReadValue(DriveMap::kBusVolt, 2, [&](const QByteArray& d) {
        Volt = static_cast<Single>(Word(d) * 69.8 / 649);
    });
}

ClsKtMotor::Byte ClsKtMotor::ReadMotorCurrent(Single& Current) {
    return ReadValue(DriveMap::kMotorCurrent, 2,
                     [&](const QByteArray& d) { Current = static_cast<Single>(At(d, 0) * 0.255); });
}

ClsKtMotor::Byte ClsKtMotor::ReadCurrentLimit(Single& Current) {
    return ReadValue(DriveMap::kCurrentLimit, 2,
                     [&](const QByteArray& d) { Current = static_cast<Single>(At(d, 0) * 0.255); });
}

ClsKtMotor::Byte ClsKtMotor::WriteCurrentLimit(Single& Current) {
    if (Current > kMaxCurrent)
        Current = kMaxCurrent;
    const double count = compiler::RoundHalfEven(static_cast<double>(Current) * 1000.0);
    if (!(count >= 0))
        return kOutOfRange;
    const int step = static_cast<int>(count) / 255;
    return Write(DriveMap::kCurrentLimit, Packet::Bytes({step, 0}));
}

ClsKtMotor::Byte ClsKtMotor::ReadStatus(bool& Fault, bool& MotorEnable, bool& MotorForward,
                                        bool& ProgramRunMode, bool& AutoTorque,
                                        bool& CommandReverse, bool& CommandForward) {
    return ReadValue(DriveMap::kStatus, 1, [&](const QByteArray& d) {
        const auto bit = [&](int k) { return ((At(d, 0) >> k) & 1) != 0; };
        Fault = bit(DriveMap::kFaultBit);
        MotorEnable = bit(DriveMap::kMotorEnableBit);
        MotorForward = bit(DriveMap::kMotorForwardBit);
        ProgramRunMode = bit(DriveMap::kProgramRunModeBit);
        AutoTorque = bit(DriveMap::kAutoTorqueBit);
        CommandReverse = bit(DriveMap::kCommandReverseBit);
        CommandForward = bit(DriveMap::kCommandForwardBit);
    });
}

ClsKtMotor::Byte ClsKtMotor::ReadInputs(bool (&In)[8]) {
    bool* bits[8];
    for (int k = 0; k < 8; ++k)
        bits[k] = &In[k];
    return ReadBits(DriveMap::kInputs, bits, 8);
}

ClsKtMotor::Byte ClsKtMotor::ReadFlags(bool (&Flag)[8]) {
    bool* bits[8];
    for (int k = 0; k < 8; ++k)
        bits[k] = &Flag[k];
    return ReadBits(DriveMap::kFlags, bits, 8);
}

ClsKtMotor::Byte ClsKtMotor::ReadOutputs(bool& Op0, bool& Op1) {
    bool* bits[2] = {&Op0, &Op1};
    return ReadBits(DriveMap::kOutputs, bits, 2);
}

ClsKtMotor::Byte ClsKtMotor::WriteOutput(Byte OutputNumber, bool PutOn) {
    if (OutputNumber > 1)
        return kOutOfRange;
    return WriteBit(DriveMap::kOutputs, OutputNumber, PutOn);
}

ClsKtMotor::Byte ClsKtMotor::WriteFlag(Byte FlagNumber, bool PutOn) {
    if (FlagNumber > 7)
        return kOutOfRange;
    return WriteBit(DriveMap::kFlags, FlagNumber, PutOn);
}

ClsKtMotor::Byte ClsKtMotor::ReadTimer(Byte TimerNumber, Byte& TimerData) {
    if (TimerNumber > 3)
        return kOutOfRange;
    return ReadValue(DriveMap::kTimers + TimerNumber, 1,
                     [&](const QByteArray& d) { TimerData = At(d, 0); });
}

ClsKtMotor::Byte ClsKtMotor::WriteTimer(Byte TimerNumber, Byte TimerData) {
    if (TimerNumber > 3)
        return kOutOfRange;
    return Write(DriveMap::kTimers + TimerNumber, QByteArray(1, static_cast<char>(TimerData)));
}

ClsKtMotor::Byte ClsKtMotor::ReadCounter(Byte CounterNumber, Byte& CounterData) {
    if (CounterNumber > 7)
        return kOutOfRange;
    return ReadValue(DriveMap::kCounters + CounterNumber, 1,
                     [&](const QByteArray& d) { CounterData = At(d, 0); });
}

ClsKtMotor::Byte ClsKtMotor::WriteCounter(Byte CounterNumber, Byte CounterData) {
    if (CounterNumber > 7)
        return kOutOfRange;
    return Write(DriveMap::kCounters + CounterNumber,
                 QByteArray(1, static_cast<char>(CounterData)));
}

ClsKtMotor::Byte ClsKtMotor::ReadWordCounter(Byte WordCounterNumber, Long& WordCounterData) {
    if (WordCounterNumber > 3)
        return kOutOfRange;
    return ReadValue(DriveMap::kCounters + 2 * WordCounterNumber, 2,
                     [&](const QByteArray& d) { WordCounterData = Word(d); });
}

ClsKtMotor::Byte ClsKtMotor::WriteWordCounter(Byte WordCounterNumber, Long WordCounterData) {
    if (WordCounterNumber > 3 || WordCounterData < 0 || WordCounterData > 65535)
        return kOutOfRange;
    return Write(DriveMap::kCounters + 2 * WordCounterNumber,
                 Packet::Bytes({WordCounterData % 256, WordCounterData / 256}));
}

ClsKtMotor::Byte ClsKtMotor::ReadAnalog(Byte AnalogNumber, Long& AnalogData) {
    if (AnalogNumber > 5)
        return kOutOfRange;
    return ReadValue(DriveMap::kAnalogs + 2 * AnalogNumber, 2,
                     [&](const QByteArray& d) { AnalogData = Word(d); });
}

ClsKtMotor::Byte ClsKtMotor::ReadError(Byte& ErrorData) {
    return ReadValue(DriveMap::kError, 1, [&](const QByteArray& d) { ErrorData = At(d, 0); });
}

} // namespace kt::link
