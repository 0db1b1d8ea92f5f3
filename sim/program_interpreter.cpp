#include "sim/program_interpreter.h"

#include "compiler/compile_messages.h"
#include "compiler/line_compiler.h"
#include "drivemap/drive_catalogue.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

namespace kt::sim {

namespace {

using drivemap::Address;
using drivemap::Channels;
using drivemap::Code;
using drivemap::ErrorCode;
using drivemap::Id;
using drivemap::Mask;
using drivemap::StatusBit;
using drivemap::ValueRef;

constexpr std::uint8_t kEndMark = compiler::kImageFill; // no opcode is 255

bool Compared(Compare compare, unsigned left, unsigned right) {
    switch (compare) {
    case Compare::Equal:
        return left == right;
    case Compare::AtLeast:
        return left >= right;
    case Compare::Less:
        return left < right;
    case Compare::NotEqual:
        return left != right;
    }
    return false;
}

} // namespace

ProgramInterpreter::ProgramInterpreter()
    : m_ownMemory(drivemap::kAddressSpace), m_memory(m_ownMemory) {
    PowerUp();
}

ProgramInterpreter::ProgramInterpreter(std::span<std::uint8_t> memory) : m_memory(memory) {
    if (memory.size() < drivemap::kUsedSize)
        throw std::invalid_argument("data memory smaller than the drive's map");
}

void ProgramInterpreter::PowerUp() {
    m_forced.clear();
    drivemap::WritePowerUp(m_memory);
    Erase();
    m_timeMs = 0;
    m_toTimerTick = kTimerTickMs;
    m_toMotorUpdate = kMotorPeriodMs;
    m_timerFlags = 0;
    m_motor.Reset();
}

std::uint16_t ProgramInterpreter::Word(std::uint16_t address) const {
    return static_cast<std::uint16_t>(m_memory[address] | m_memory[address + 1u] << 8);
}

void ProgramInterpreter::SetWord(std::uint16_t address, std::uint16_t value) {
    m_memory[address] = static_cast<std::uint8_t>(value & 0xFF);
    m_memory[address + 1u] = static_cast<std::uint8_t>(value >> 8);
}

std::uint8_t ProgramInterpreter::Error() const {
    return m_memory[Address(Id::Error)];
}

compiler::ProgramImage ProgramInterpreter::NoProgram() {
    compiler::ProgramImage image;
    image.fill(kEndMark);
    return image;
}

void ProgramInterpreter::Erase() {
    m_program.clear();
    m_image = NoProgram();
    m_next = 0;
    m_errorStatement = kNoStatement;
    m_running = false;
    m_memory[Address(Id::Status)] &= static_cast<std::uint8_t>(~Mask(StatusBit::ProgramRunMode));
}

void ProgramInterpreter::Halt() {
    m_running = false;
    // A stopped program no longer drives the motor: it ramps down to rest.
    m_memory[Address(Id::Status)] &= static_cast<std::uint8_t>(~(Mask(StatusBit::ProgramRunMode) |
                                                                 Mask(StatusBit::CommandForward) |
                                                                 Mask(StatusBit::CommandReverse)));
}

void ProgramInterpreter::Fail(std::uint8_t error, std::size_t statement) {
    Halt();
    m_errorStatement = statement;
    m_memory[Address(Id::Error)] = error;
}

std::uint8_t ProgramInterpreter::Load(const compiler::ProgramImage& image) {
    Erase();
    const InstructionDecoder& decoder = InstructionDecoder::Instance();
    std::vector<Statement> program;
    for (std::size_t k = 0; k < kMaxStatements && image[2 * k] != kEndMark; ++k) {
        Statement statement;
        statement.opcode = image[2 * k];
        statement.operand = image[2 * k + 1];
        statement.instruction = decoder.At(statement.opcode);
        if (statement.instruction.action == Action::Unknown ||
            !decoder.OperandValid(statement.instruction, statement.operand)) {
            Fail(Code(ErrorCode::InstructionNotIdentified), k);
            return Code(ErrorCode::InstructionNotIdentified);
        }
        if (statement.instruction.operand == OperandKind::Bit)
            InstructionDecoder::DecodeBit(statement.operand, statement.bit);
        program.push_back(statement);
    }

    // Pairing as the compiler nests blocks: an Else belongs to the innermost
    // open If; a second Else of the same If jumps to its End If like the first.
    struct Open {
        std::size_t statement;
        std::size_t firstElse;
    };
    std::vector<Open> open;
    std::vector<std::size_t> elses;
    for (std::size_t k = 0; k < program.size(); ++k) {
        const Action action = program[k].instruction.action;
        const bool isIf = action == Action::If;
        const bool isDo = action == Action::Do || action == Action::DoUntil;
        if (isIf || isDo) {
            open.push_back({k, kNoStatement});
            continue;
        }
        if (action != Action::Else && action != Action::EndIf && action != Action::Loop)
            continue;
        const bool wantsIf = action != Action::Loop;
        const Action top =
            open.empty() ? Action::Unknown : program[open.back().statement].instruction.action;
        const bool topIsIf = top == Action::If;
        const bool topIsDo = top == Action::Do || top == Action::DoUntil;
        if (wantsIf ? !topIsIf : !topIsDo) {
            Fail(Code(ErrorCode::InstructionNotIdentified), k);
            return Code(ErrorCode::InstructionNotIdentified);
        }
        Open& block = open.back();
        if (action == Action::Else) {
            if (block.firstElse == kNoStatement) {
                block.firstElse = k;
                program[block.statement].jump = static_cast<std::uint16_t>(k + 1);
            }
            elses.push_back(k);
            continue;
        }
        if (action == Action::EndIf) {
            if (block.firstElse == kNoStatement)
                program[block.statement].jump = static_cast<std::uint16_t>(k + 1);
            // Every Else since this If opened belongs to it.
            while (!elses.empty() && elses.back() > block.statement) {
                program[elses.back()].jump = static_cast<std::uint16_t>(k + 1);
                elses.pop_back();
            }
        } else {
            program[k].jump = static_cast<std::uint16_t>(block.statement);
            program[block.statement].jump = static_cast<std::uint16_t>(k + 1);
        }
        open.pop_back();
    }
    if (!open.empty()) {
        // Looking for the partner runs off the end of the program.
        Fail(Code(ErrorCode::PassedEndOfBuffer), open.back().statement);
        return Code(ErrorCode::PassedEndOfBuffer);
    }

    m_program = std::move(program);
    std::copy_n(image.begin(), 2 * m_program.size(), m_image.begin());
    m_memory[Address(Id::Error)] = Code(ErrorCode::None);
    Restart();
    return Code(ErrorCode::None);
}

void ProgramInterpreter::Restart() {
    if (m_program.empty())
        return;
    for (Statement& statement : m_program)
        statement.clickPrimed = false;
    m_next = 0;
    m_errorStatement = kNoStatement;
    m_running = true;
    m_memory[Address(Id::Error)] = Code(ErrorCode::None);
    m_memory[Address(Id::Status)] |= Mask(StatusBit::ProgramRunMode);
}

void ProgramInterpreter::Stop() {
    Halt();
}

bool ProgramInterpreter::SetInput(int n, bool on) {
    if (n < 0 || n >= Channels(Id::Inputs))
        return false;
    const auto mask = static_cast<std::uint8_t>(1u << n);
    std::uint8_t& inputs = m_memory[Address(Id::Inputs)];
    inputs = static_cast<std::uint8_t>(on ? inputs | mask : inputs & ~mask);
    HoldForced();
    return true;
}

bool ProgramInterpreter::SetAnalog(int n, std::uint16_t value) {
    if (n < 0 || n >= Channels(Id::Analog))
        return false;
    SetWord(static_cast<std::uint16_t>(Address(Id::Analog) + 2 * n), value);
    HoldForced();
    return true;
}

bool ProgramInterpreter::Forceable(const ValueRef& ref) {
    if (ref.value == nullptr)
        return false;
    const Id id = ref.value->id;
    if (id == Id::Inputs || id == Id::Outputs || id == Id::Flags)
        return ref.channel == ValueRef::kWhole &&
               std::ranges::any_of(ref.value->bits, [&ref](const drivemap::Bit& bit) {
                   return bit.index == ref.bit;
               });
    if (id == Id::Analog || id == Id::Counter || id == Id::WordCounter || id == Id::Timer)
        return ref.bit == ValueRef::kWhole && ref.channel >= 0 && ref.channel < ref.value->channels;
    return false;
}

ProgramInterpreter::Cover ProgramInterpreter::CoverOf(const ValueRef& ref) {
    if (ref.bit != ValueRef::kWhole)
        return {ref.value->address, 1, static_cast<std::uint8_t>(1u << ref.bit)};
    return {ref.Address(), ref.value->size, 0xFF};
}

void ProgramInterpreter::Put(const Cover& cover, const std::array<std::uint8_t, 2>& bytes) {
    std::uint8_t& first = m_memory[cover.address];
    first = static_cast<std::uint8_t>((first & ~cover.mask) | (bytes[0] & cover.mask));
    if (cover.size > 1)
        m_memory[cover.address + 1u] = bytes[1];
}

void ProgramInterpreter::HoldForced() {
    for (const Forcing& forcing : m_forced)
        Put(forcing.cover, forcing.held);
}

bool ProgramInterpreter::Force(const ValueRef& ref, std::uint16_t count) {
    if (!Forceable(ref) || count > ref.value->range.high)
        return false;
    const Cover cover = CoverOf(ref);
    // A bit's count fills the byte; Put keeps the bit alone.
    const std::array<std::uint8_t, 2> held =
        ref.bit != ValueRef::kWhole
            ? std::array<std::uint8_t, 2>{static_cast<std::uint8_t>(count != 0 ? 0xFF : 0), 0}
            : std::array<std::uint8_t, 2>{static_cast<std::uint8_t>(count & 0xFF),
                                          static_cast<std::uint8_t>(count >> 8)};
    const auto found = std::ranges::find(m_forced, ref, &Forcing::ref);
    if (found != m_forced.end()) {
        found->held = held;
    } else {
        Forcing forcing{ref, cover, held, {}};
        forcing.before[0] = m_memory[cover.address];
        if (cover.size > 1)
            forcing.before[1] = m_memory[cover.address + 1u];
        m_forced.push_back(forcing);
    }
    HoldForced();
    return true;
}

bool ProgramInterpreter::Release(const ValueRef& ref, bool restore) {
    const auto found = std::ranges::find(m_forced, ref, &Forcing::ref);
    if (found == m_forced.end())
        return false;
    const Forcing released = *found;
    m_forced.erase(found);
    if (restore)
        Put(released.cover, released.before);
    HoldForced(); // what overlaps it and is still forced
    return true;
}

bool ProgramInterpreter::Forced(const ValueRef& ref) const {
    if (ref.value == nullptr)
        return false;
    const Cover cover = CoverOf(ref);
    return std::ranges::any_of(m_forced, [&cover](const Forcing& forcing) {
        const Cover& other = forcing.cover;
        return cover.address < other.address + other.size &&
               other.address < cover.address + cover.size && (cover.mask & other.mask) != 0;
    });
}

bool ProgramInterpreter::TimerForced(int n) const {
    return !m_forced.empty() && Forced({&drivemap::At(Id::Timer), n});
}

bool ProgramInterpreter::TimerFlag(int n) const {
    return n >= 0 && n < Channels(Id::Timer) && (m_timerFlags >> n & 1) != 0;
}

bool ProgramInterpreter::ReadBit(const BitOperand& bit) const {
    const std::uint8_t byte = bit.timerFlag ? m_timerFlags : m_memory[bit.address];
    return ((byte & bit.mask) != 0) != bit.inverted;
}

void ProgramInterpreter::WriteBit(const BitOperand& bit, bool on) {
    std::uint8_t& byte = m_memory[bit.address];
    byte = static_cast<std::uint8_t>(on ? byte | bit.mask : byte & ~bit.mask);
}

bool ProgramInterpreter::Holds(Statement& statement) {
    const Instruction& in = statement.instruction;
    const std::uint8_t operand = statement.operand;
    const std::uint8_t counter0 = m_memory[Address(Id::Counter)];
    switch (in.condition) {
    case Condition::ClickedToFalse:
    case Condition::ClickedToTrue: {
        const bool now = (m_memory[Address(Id::Inputs)] >> operand & 1) != 0;
        const bool wanted = in.condition == Condition::ClickedToTrue;
        // The first run only remembers: there is no earlier value to change from.
        const bool clicked = statement.clickPrimed && statement.clickLast != now && now == wanted;
        statement.clickPrimed = true;
        statement.clickLast = now;
        return clicked;
    }
    case Condition::CounterConstant:
        return Compared(in.compare, counter0, operand);
    case Condition::CounterCounter:
        return Compared(in.compare, counter0, m_memory[Address(Id::Counter) + operand]);
    case Condition::WordWord:
        return Compared(in.compare, Word(Address(Id::Counter)),
                        Word(static_cast<std::uint16_t>(Address(Id::Counter) + operand)));
    case Condition::Bit:
        return ReadBit(statement.bit);
    case Condition::None:
        break;
    }
    return false;
}

// Forced values are held on both sides of a statement: against what was
// written to the memory since (the link's writes) and against the statement.
void ProgramInterpreter::Execute() {
    HoldForced();
    RunStatement();
    HoldForced();
}

void ProgramInterpreter::RunStatement() {
    const std::size_t k = m_next;
    Statement& statement = m_program[k];
    const Instruction& in = statement.instruction;
    const std::uint8_t operand = statement.operand;
    std::uint8_t* const counters = &m_memory[Address(Id::Counter)];
    std::size_t next = k + 1;

    switch (in.action) {
    case Action::If:
        if (!Holds(statement))
            next = statement.jump;
        break;
    case Action::DoUntil:
        if (Holds(statement))
            next = statement.jump;
        break;
    case Action::Else:
    case Action::Loop:
        next = statement.jump;
        break;
    case Action::Do:
    case Action::EndIf:
        break;
    case Action::ResetProgram:
        for (Statement& s : m_program)
            s.clickPrimed = false;
        next = 0;
        break;
    case Action::AssignBit: {
        bool on = in.bitValue == BitValue::True;
        if (in.bitValue == BitValue::Flag0)
            on = (m_memory[Address(Id::Flags)] & 1) != 0;
        WriteBit(statement.bit, on);
        break;
    }
    case Action::FlagLogic: {
        const bool flag0 = (m_memory[Address(Id::Flags)] & 1) != 0;
        const bool bit = ReadBit(statement.bit);
        bool result = bit;
        if (in.logic == Logic::And)
            result = flag0 && bit;
        else if (in.logic == Logic::Or)
            result = flag0 || bit;
        else if (in.logic == Logic::Xor)
            result = flag0 != bit;
        m_memory[Address(Id::Flags)] =
            static_cast<std::uint8_t>((m_memory[Address(Id::Flags)] & ~1u) | (result ? 1u : 0u));
        break;
    }
    case Action::SetCounter:
        counters[in.number] = operand;
        break;
    case Action::CounterLogic: {
        const std::uint8_t value = in.fromCounter ? counters[operand] : operand;
        if (in.logic == Logic::And)
            counters[0] &= value;
        else if (in.logic == Logic::Or)
            counters[0] |= value;
        else
            counters[0] ^= value;
        break;
    }
    case Action::CounterToCounter0:
        counters[0] = counters[operand];
        break;
    case Action::Counter0ToCounter:
        counters[operand] = counters[0];
        break;
    case Action::InputByteToCounter:
        counters[operand] = m_memory[Address(Id::Inputs)];
        break;
    case Action::SetTenths:
        SetWord(in.address, static_cast<std::uint16_t>(in.number * 256 + operand));
        break;
    case Action::WordCounterToWord:
        SetWord(in.address, Word(static_cast<std::uint16_t>(Address(Id::Counter) + operand)));
        break;
    case Action::SetByte:
        m_memory[in.address] = operand;
        m_memory[in.address + 1u] = 0;
        break;
    case Action::TriggerTimer: {
        if (TimerForced(in.number))
            break;
        const std::uint8_t value = in.fromCounter ? counters[operand] : operand;
        m_memory[Address(Id::Timer) + in.number] = value;
        const auto mask = static_cast<std::uint8_t>(1u << in.number);
        // A timer of 0 has nothing to count: it has run out already.
        m_timerFlags =
            static_cast<std::uint8_t>(value == 0 ? m_timerFlags | mask : m_timerFlags & ~mask);
        break;
    }
    case Action::AddToWordCounter: {
        const auto address = static_cast<std::uint16_t>(Address(Id::Counter) + 2 * in.number);
        const unsigned value = Word(address);
        // 16 bits wrap around, as the drive's registers would.
        SetWord(address,
                static_cast<std::uint16_t>(in.subtract ? value - operand : value + operand));
        break;
    }
    case Action::WordToWordCounter:
        SetWord(static_cast<std::uint16_t>(Address(Id::Counter) + operand), Word(in.address));
        break;
    case Action::AnalogToWordCounter:
        SetWord(static_cast<std::uint16_t>(Address(Id::Counter) + (operand & 0x1F)),
                Word(static_cast<std::uint16_t>(Address(Id::Analog) + 2 * (operand >> 5))));
        break;
    case Action::Unknown: // refused at load
        Fail(Code(ErrorCode::InstructionNotIdentified), k);
        return;
    }

    m_next = next;
    if (next >= m_program.size())
        Fail(Code(ErrorCode::PassedEndOfBuffer), k);
}

void ProgramInterpreter::TickTimers() {
    for (int n = 0; n < Channels(Id::Timer); ++n) {
        std::uint8_t& timer = m_memory[Address(Id::Timer) + n];
        if (timer == 0 || TimerForced(n))
            continue;
        if (--timer == 0)
            m_timerFlags = static_cast<std::uint8_t>(m_timerFlags | 1u << n);
    }
}

void ProgramInterpreter::AdvanceClock() {
    ++m_timeMs;
    if (--m_toTimerTick == 0) {
        m_toTimerTick = kTimerTickMs;
        TickTimers();
    }
    if (--m_toMotorUpdate == 0) {
        m_toMotorUpdate = kMotorPeriodMs;
        if (!m_motorHeld)
            m_motor.Advance(m_memory, kMotorPeriodMs);
    }
}

void ProgramInterpreter::TracedStep() {
    const std::span<const std::uint8_t> used = m_memory.first(drivemap::kUsedSize);
    m_before.assign(used.begin(), used.end());
    TraceRecord record;
    record.timeMs = m_timeMs;
    record.statement = m_next;
    record.opcode = m_program[m_next].opcode;
    record.operand = m_program[m_next].operand;
    Execute();
    AdvanceClock();
    m_changes.clear();
    for (std::size_t a = 0; a < used.size(); ++a)
        if (used[a] != m_before[a])
            m_changes.push_back({static_cast<std::uint16_t>(a), m_before[a], used[a]});
    record.changes = m_changes;
    m_trace(record);
}

std::uint8_t ProgramInterpreter::AddBreakCondition(std::string_view condition, int& id) {
    compiler::StatementBytes bytes{};
    const std::uint8_t compiled = compiler::CompileStatement("If " + std::string(condition), bytes);
    if (compiled != compiler::kCompiled)
        return compiled;
    Breakpoint added;
    Statement& statement = added.condition;
    statement.opcode = bytes[0];
    statement.operand = bytes[1];
    statement.instruction = InstructionDecoder::Instance().At(bytes[0]);
    // "If 5" or an If with a second statement after it compiles to no If.
    if (statement.instruction.action != Action::If)
        return compiler::kStatementNotIdentified;
    if (!InstructionDecoder::Instance().OperandValid(statement.instruction, bytes[1]))
        return compiler::kDataOutOfLimit;
    if (statement.instruction.operand == OperandKind::Bit)
        InstructionDecoder::DecodeBit(bytes[1], statement.bit);
    added.id = id = ++m_lastBreakId;
    m_breaks.push_back(added);
    return compiler::kCompiled;
}

std::optional<int> ProgramInterpreter::AddBreakOnChange(const ValueRef& ref) {
    if (ref.value == nullptr || ref.value->size > 2 ||
        (ref.channel != ValueRef::kWhole && ref.channel >= ref.value->channels))
        return std::nullopt;
    Breakpoint added;
    added.id = ++m_lastBreakId;
    added.onChange = true;
    added.cover = CoverOf(ref);
    m_breaks.push_back(added);
    return added.id;
}

bool ProgramInterpreter::EnableBreakpoint(int id, bool enabled) {
    const auto found = std::ranges::find(m_breaks, id, &Breakpoint::id);
    if (found == m_breaks.end())
        return false;
    found->enabled = enabled;
    found->condition.clickPrimed = false; // a click while disabled was not seen
    return true;
}

bool ProgramInterpreter::RemoveBreakpoint(int id) {
    return std::erase_if(m_breaks, [id](const Breakpoint& b) { return b.id == id; }) != 0;
}

std::array<std::uint8_t, 2> ProgramInterpreter::Get(const Cover& cover) const {
    return {static_cast<std::uint8_t>(m_memory[cover.address] & cover.mask),
            cover.size > 1 ? m_memory[cover.address + 1u] : std::uint8_t{0}};
}

// Every enabled condition is evaluated, so click memories follow each
// statement; the first that holds is the hit.
void ProgramInterpreter::CheckBreaks(std::size_t statement, std::uint64_t startMs) {
    for (Breakpoint& b : m_breaks) {
        if (!b.enabled)
            continue;
        const bool holds = b.onChange ? Get(b.cover) != b.before : Holds(b.condition);
        if (holds && !m_hit)
            m_hit = BreakHit{b.id, statement, startMs};
    }
}

bool ProgramInterpreter::Step() {
    m_hit.reset();
    if (!m_running) {
        AdvanceClock();
        return false;
    }
    const std::size_t statement = m_next;
    const std::uint64_t startMs = m_timeMs;
    for (Breakpoint& b : m_breaks)
        if (b.onChange)
            b.before = Get(b.cover);
    if (m_trace && !m_replaying) {
        TracedStep();
    } else {
        Execute();
        AdvanceClock();
    }
    if (!m_breaks.empty())
        CheckBreaks(statement, startMs);
    return true;
}

void ProgramInterpreter::RunFor(std::uint64_t milliseconds) {
    m_hit.reset();
    if ((m_trace && !m_replaying) || !m_breaks.empty()) {
        for (std::uint64_t i = 0; i < milliseconds; ++i)
            if (Step(); m_hit && !m_replaying)
                return;
        return;
    }
    for (std::uint64_t i = 0; i < milliseconds; ++i) {
        if (m_running)
            Execute();
        AdvanceClock();
    }
}

ProgramInterpreter::Snapshot ProgramInterpreter::Save() const {
    Snapshot s;
    std::copy_n(m_memory.begin(), drivemap::kUsedSize, s.m_memory.begin());
    s.m_program = m_image;
    for (std::size_t k = 0; k < m_program.size(); ++k) {
        s.m_clickPrimed[k] = m_program[k].clickPrimed;
        s.m_clickLast[k] = m_program[k].clickLast;
    }
    s.m_next = m_next;
    s.m_errorStatement = m_errorStatement;
    s.m_running = m_running;
    s.m_timeMs = m_timeMs;
    s.m_toTimerTick = m_toTimerTick;
    s.m_toMotorUpdate = m_toMotorUpdate;
    s.m_timerFlags = m_timerFlags;
    s.m_motor = m_motor;
    s.m_forced = m_forced;
    s.m_breaks.reserve(m_breaks.size());
    for (const Breakpoint& b : m_breaks)
        s.m_breaks.push_back({b.id, b.condition.clickPrimed, b.condition.clickLast, b.before});
    s.m_hit = m_hit;
    return s;
}

bool ProgramInterpreter::Restore(const Snapshot& s) {
    if (s.m_program != m_image)
        return false;
    std::ranges::copy(s.m_memory, m_memory.begin());
    for (std::size_t k = 0; k < m_program.size(); ++k) {
        m_program[k].clickPrimed = s.m_clickPrimed[k];
        m_program[k].clickLast = s.m_clickLast[k];
    }
    m_next = s.m_next;
    m_errorStatement = s.m_errorStatement;
    m_running = s.m_running;
    m_timeMs = s.m_timeMs;
    m_toTimerTick = s.m_toTimerTick;
    m_toMotorUpdate = s.m_toMotorUpdate;
    m_timerFlags = s.m_timerFlags;
    m_motor = s.m_motor;
    m_forced = s.m_forced;
    for (Breakpoint& b : m_breaks) {
        const auto saved = std::ranges::find(s.m_breaks, b.id, &Snapshot::BreakMemory::id);
        const bool known = saved != s.m_breaks.end();
        b.condition.clickPrimed = known && saved->clickPrimed;
        b.condition.clickLast = known && saved->clickLast;
        b.before = known ? saved->before : Get(b.cover);
    }
    m_hit = s.m_hit;
    return true;
}

} // namespace kt::sim
