#include "link/cls_kt_motor.h"

#include "compiler/number_rules.h"
#include "drivemap/drive_catalogue.h"
#include "link/packet.h"
#include "platform/prompt_service.h"

#include <QTimer>

#include <cmath>
#include <span>

namespace kt::link {

namespace {

using drivemap::Id;
using drivemap::StatusBit;

std::uint8_t At(const QByteArray& data, int i) {
    return static_cast<std::uint8_t>(data.at(i));
}

std::span<const std::uint8_t> Span(const QByteArray& data) {
    return {reinterpret_cast<const std::uint8_t*>(data.constData()),
            static_cast<std::size_t>(data.size())};
}

// A count as the drive holds it: one byte, or two low byte first.
QByteArray CountBytes(std::uint16_t count, int size) {
    return size == 1 ? Packet::Bytes({count & 0xFF}) : Packet::Bytes({count & 0xFF, count >> 8});
}

} // namespace

ClsKtMotor::ClsKtMotor(FrmMotorCom& link, platform::PromptService& prompts)
    : m_link(link), m_prompts(prompts) {}

QString ClsKtMotor::ErrorDescription(double ErrorIndex) {
    // Only a whole code has a text of its own.
    if (!(ErrorIndex >= 0 && ErrorIndex <= 255) || ErrorIndex != std::floor(ErrorIndex))
        ErrorIndex = 0;
    const std::string_view text = drivemap::ErrorText(static_cast<int>(ErrorIndex));
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
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
    const Byte result =
        m_link.SendPacket(drivemap::kAccess, address, static_cast<Byte>(count), reply);
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
    return m_link.SendPacket(drivemap::kAccess, address, static_cast<Byte>(bytes.size()), bytes,
                             true);
}

ClsKtMotor::Byte ClsKtMotor::WriteBit(int address, int bit, bool putOn) {
    const auto mask = static_cast<std::uint8_t>(1u << bit);
    QByteArray data(1, static_cast<char>(putOn ? mask : 255 - mask));
    return m_link.SendPacket(putOn ? drivemap::kSetBits : drivemap::kClearBits, address, 1, data,
                             true);
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
    const std::optional<std::uint16_t> tenths = drivemap::EncodeTenths(Value);
    if (!tenths)
        return false;
    Data = CountBytes(*tenths, 2);
    return true;
}

ClsKtMotor::Single ClsKtMotor::DecodeTenths(const QByteArray& Data) {
    return static_cast<Single>(
        drivemap::Scale(drivemap::Scaling::Tenths, At(Data, 1) * 256 + At(Data, 0)));
}

ClsKtMotor::Byte ClsKtMotor::WriteCommandForward(bool PutOn) {
    return WriteBit(drivemap::Address(Id::Status), drivemap::Place(StatusBit::CommandForward),
                    PutOn);
}
ClsKtMotor::Byte ClsKtMotor::WriteCommandReverse(bool PutOn) {
    return WriteBit(drivemap::Address(Id::Status), drivemap::Place(StatusBit::CommandReverse),
                    PutOn);
}
ClsKtMotor::Byte ClsKtMotor::WriteAutoTorque(bool PutOn) {
    return WriteBit(drivemap::Address(Id::Status), drivemap::Place(StatusBit::AutoTorque), PutOn);
}

ClsKtMotor::Byte ClsKtMotor::Erase(const FrmMotorCom::Hold& hold) {
    QByteArray erase(1, static_cast<char>(drivemap::kEraseByte));
    return m_link.SendPacket(hold, drivemap::kErase, drivemap::kEraseLocation, 1, erase, true);
}

ClsKtMotor::Byte ClsKtMotor::WriteProgram(const QByteArray& ProgramData) {
    if (ProgramData.size() != drivemap::kProgramSize)
        return kOutOfRange;
    // The command holds the link from its question to its last exchange: a
    // command clicked meanwhile is busy without a question of its own, and
    // no monitoring read comes between the erase and the download.
    const FrmMotorCom::Hold hold(m_link);
    if (!hold)
        return kBusy;
    if (!Confirm(QStringLiteral("This will put a new ProgramData in your motor, Are you sure?")))
        return kSent;
    if (const Byte erased = Erase(hold); erased != kSent)
        return erased;
    QByteArray image = ProgramData;
    return m_link.SendPacket(hold, drivemap::kProgram, 0, drivemap::kProgramSize, image, true);
}

ClsKtMotor::Byte ClsKtMotor::ProgramErase() {
    const FrmMotorCom::Hold hold(m_link);
    if (!hold)
        return kBusy;
    if (!Confirm(QStringLiteral("This will erase program in your motor, Are you sure?")))
        return kSent;
    return Erase(hold);
}

void ClsKtMotor::ReadInBackground(Id id, int channel, QObject* context,
                                  std::function<void(const Reading&)> done) {
    const drivemap::DriveValue& described = drivemap::At(id);
    const int channels = described.channels;
    if (channels > 0 ? channel < 0 || channel >= channels : channel != 0) {
        Reading refused;
        refused.result = kOutOfRange;
        refused.msecs = m_link.Elapsed();
        refused.failure = QStringLiteral("The drive has no such value.");
        // From the event loop, as every completion comes.
        QTimer::singleShot(0, context ? context : &m_link,
                           [done = std::move(done), refused] { done(refused); });
        return;
    }
    const Request request{
        drivemap::kAccess, drivemap::Address(id, channel), described.size, {}, false};
    m_link.SubmitBackground(
        request, context, [&described, done = std::move(done)](const Completion& completion) {
            Reading reading;
            reading.result = completion.result;
            reading.msecs = completion.msecs;
            reading.failure = completion.failure;
            // As Read: only a reply of the size asked for is a reading.
            if (reading.result == kSent && completion.data.size() != described.size) {
                reading.result = kFailed;
                reading.failure = QStringLiteral("The drive's reply was damaged.");
            }
            if (reading.result == kSent) {
                const double decoded = drivemap::Decode(described, Span(completion.data));
                // The read functions give these as a Single, the rest whole.
                const bool single = described.scaling == drivemap::Scaling::Tenths ||
                                    described.scaling == drivemap::Scaling::CurrentStep ||
                                    described.scaling == drivemap::Scaling::BusVolt;
                reading.value =
                    single ? static_cast<double>(static_cast<Single>(decoded)) : decoded;
            }
            done(reading);
        });
}

template <typename Value> ClsKtMotor::Byte ClsKtMotor::ReadAs(Id id, int channel, Value& value) {
    const drivemap::DriveValue& described = drivemap::At(id);
    QByteArray data;
    const Byte result = Read(drivemap::Address(id, channel), described.size, data);
    if (result == kSent)
        value = static_cast<Value>(drivemap::Decode(described, Span(data)));
    return result;
}

ClsKtMotor::Byte ClsKtMotor::WriteAs(Id id, int channel, Single& value) {
    const drivemap::DriveValue& described = drivemap::At(id);
    const std::optional<std::uint16_t> count = drivemap::Encode(described, value);
    if (!count)
        return kOutOfRange;
    return Write(drivemap::Address(id, channel), CountBytes(*count, described.size));
}

bool ClsKtMotor::HasChannel(Id id, Byte channel) {
    return channel < drivemap::Channels(id);
}

ClsKtMotor::Byte ClsKtMotor::WriteDecelerationRate(Single& Rate) {
    return WriteAs(Id::DecelerationRate, 0, Rate);
}
ClsKtMotor::Byte ClsKtMotor::ReadDecelerationRate(Single& Rate) {
    return ReadAs(Id::DecelerationRate, 0, Rate);
}
ClsKtMotor::Byte ClsKtMotor::WriteAccelerationRate(Single& Rate) {
    return WriteAs(Id::AccelerationRate, 0, Rate);
}
ClsKtMotor::Byte ClsKtMotor::ReadAccelerationRate(Single& Rate) {
    return ReadAs(Id::AccelerationRate, 0, Rate);
}
ClsKtMotor::Byte ClsKtMotor::WriteReferenceSpeed(Single& Speed) {
    return WriteAs(Id::ReferenceSpeed, 0, Speed);
}
ClsKtMotor::Byte ClsKtMotor::ReadReferenceSpeed(Single& Speed) {
    return ReadAs(Id::ReferenceSpeed, 0, Speed);
}
ClsKtMotor::Byte ClsKtMotor::ReadCurrentSpeed(Single& Speed) {
    return ReadAs(Id::CurrentSpeed, 0, Speed);
}

ClsKtMotor::Byte ClsKtMotor::ReadReferenceVolt(Byte& Volt) {
    return ReadAs(Id::ReferenceVolt, 0, Volt);
}

ClsKtMotor::Byte ClsKtMotor::ReadMotorVolt(Byte& Volt) {
    return ReadAs(Id::MotorVolt, 0, Volt);
}

ClsKtMotor::Byte ClsKtMotor::WriteReferenceVolt(Byte Volt) {
    Single percent = Volt;
    return WriteAs(Id::ReferenceVolt, 0, percent);
}

ClsKtMotor::Byte ClsKtMotor::ReadBusVolt(Single& Volt) {
    return ReadAs(Id::BusVolt, 0, Volt);
}

ClsKtMotor::Byte ClsKtMotor::ReadMotorCurrent(Single& Current) {
    return ReadAs(Id::MotorCurrent, 0, Current);
}

ClsKtMotor::Byte ClsKtMotor::ReadCurrentLimit(Single& Current) {
    return ReadAs(Id::CurrentLimit, 0, Current);
}

ClsKtMotor::Byte ClsKtMotor::WriteCurrentLimit(Single& Current) {
    return WriteAs(Id::CurrentLimit, 0, Current);
}

ClsKtMotor::Byte ClsKtMotor::ReadStatus(bool& Fault, bool& MotorEnable, bool& MotorForward,
                                        bool& ProgramRunMode, bool& AutoTorque,
                                        bool& CommandReverse, bool& CommandForward) {
    Byte status = 0;
    const Byte result = ReadAs(Id::Status, 0, status);
    if (result != kSent)
        return result;
    const auto bit = [&](StatusBit k) { return (status & drivemap::Mask(k)) != 0; };
    Fault = bit(StatusBit::Fault);
    MotorEnable = bit(StatusBit::MotorEnable);
    MotorForward = bit(StatusBit::MotorForward);
    ProgramRunMode = bit(StatusBit::ProgramRunMode);
    AutoTorque = bit(StatusBit::AutoTorque);
    CommandReverse = bit(StatusBit::CommandReverse);
    CommandForward = bit(StatusBit::CommandForward);
    return result;
}

ClsKtMotor::Byte ClsKtMotor::ReadInputs(bool (&In)[8]) {
    bool* bits[8];
    for (int k = 0; k < 8; ++k)
        bits[k] = &In[k];
    return ReadBits(drivemap::Address(Id::Inputs), bits, 8);
}

ClsKtMotor::Byte ClsKtMotor::ReadFlags(bool (&Flag)[8]) {
    bool* bits[8];
    for (int k = 0; k < 8; ++k)
        bits[k] = &Flag[k];
    return ReadBits(drivemap::Address(Id::Flags), bits, 8);
}

ClsKtMotor::Byte ClsKtMotor::ReadOutputs(bool& Op0, bool& Op1) {
    bool* bits[2] = {&Op0, &Op1};
    return ReadBits(drivemap::Address(Id::Outputs), bits, 2);
}

ClsKtMotor::Byte ClsKtMotor::WriteOutput(Byte OutputNumber, bool PutOn) {
    if (!HasChannel(Id::Outputs, OutputNumber))
        return kOutOfRange;
    return WriteBit(drivemap::Address(Id::Outputs), OutputNumber, PutOn);
}

ClsKtMotor::Byte ClsKtMotor::WriteFlag(Byte FlagNumber, bool PutOn) {
    if (!HasChannel(Id::Flags, FlagNumber))
        return kOutOfRange;
    return WriteBit(drivemap::Address(Id::Flags), FlagNumber, PutOn);
}

ClsKtMotor::Byte ClsKtMotor::ReadTimer(Byte TimerNumber, Byte& TimerData) {
    if (!HasChannel(Id::Timer, TimerNumber))
        return kOutOfRange;
    return ReadAs(Id::Timer, TimerNumber, TimerData);
}

ClsKtMotor::Byte ClsKtMotor::WriteTimer(Byte TimerNumber, Byte TimerData) {
    if (!HasChannel(Id::Timer, TimerNumber))
        return kOutOfRange;
    Single count = TimerData;
    return WriteAs(Id::Timer, TimerNumber, count);
}

ClsKtMotor::Byte ClsKtMotor::ReadCounter(Byte CounterNumber, Byte& CounterData) {
    if (!HasChannel(Id::Counter, CounterNumber))
        return kOutOfRange;
    return ReadAs(Id::Counter, CounterNumber, CounterData);
}

ClsKtMotor::Byte ClsKtMotor::WriteCounter(Byte CounterNumber, Byte CounterData) {
    if (!HasChannel(Id::Counter, CounterNumber))
        return kOutOfRange;
    Single count = CounterData;
    return WriteAs(Id::Counter, CounterNumber, count);
}

ClsKtMotor::Byte ClsKtMotor::ReadWordCounter(Byte WordCounterNumber, Long& WordCounterData) {
    if (!HasChannel(Id::WordCounter, WordCounterNumber))
        return kOutOfRange;
    return ReadAs(Id::WordCounter, WordCounterNumber, WordCounterData);
}

ClsKtMotor::Byte ClsKtMotor::WriteWordCounter(Byte WordCounterNumber, Long WordCounterData) {
    if (!HasChannel(Id::WordCounter, WordCounterNumber))
        return kOutOfRange;
    // A Single holds every count up to 65535 exactly, and nothing beyond it
    // rounds back into the range.
    Single count = static_cast<Single>(WordCounterData);
    return WriteAs(Id::WordCounter, WordCounterNumber, count);
}

ClsKtMotor::Byte ClsKtMotor::ReadAnalog(Byte AnalogNumber, Long& AnalogData) {
    if (!HasChannel(Id::Analog, AnalogNumber))
        return kOutOfRange;
    return ReadAs(Id::Analog, AnalogNumber, AnalogData);
}

ClsKtMotor::Byte ClsKtMotor::ReadError(Byte& ErrorData) {
    return ReadAs(Id::Error, 0, ErrorData);
}

} // namespace kt::link
