#include "drivemap/drive_catalogue.h"

#include <cctype>
#include <vector>

namespace kt::drivemap {

namespace {

constexpr int kWhole = ValueRef::kWhole;

struct Alias {
    std::string_view key; // as Key() leaves it
    Id id;
    int bit;
};

// Spellings in use besides the canonical ones: the language's, the command
// line's and the windows'. Numbers after them are channels or bits.
constexpr Alias kAliases[] = {
    {"acceleraterate", Id::AccelerationRate, kWhole},
    {"deceleraterate", Id::DecelerationRate, kWhole},
    {"refrencespeed", Id::ReferenceSpeed, kWhole},
    {"volt%", Id::ReferenceVolt, kWhole},
    {"referencevolt%", Id::ReferenceVolt, kWhole},
    {"input", Id::Inputs, kWhole},
    {"inputbyte", Id::Inputs, kWhole},
    {"in", Id::Inputs, kWhole},
    {"output", Id::Outputs, kWhole},
    {"op", Id::Outputs, kWhole},
    {"flag", Id::Flags, kWhole},
};

// Lower case, without the blanks and underscores that only part words and
// the hyphens between letters: "word-counter 2" and "WordCounter2" become
// "wordcounter2"; "Input.-1" keeps its minus.
std::string Key(std::string_view text) {
    const auto letter = [&](std::size_t i) {
        return i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])) != 0;
    };
    std::string key;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '_' ||
            (c == '-' && i > 0 && letter(i - 1) && letter(i + 1)))
            continue;
        key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return key;
}

struct Named {
    std::string key;
    Id id;
    int bit;
};

// The canonical names and the aliases, keyed.
const std::vector<Named>& Names() {
    static const std::vector<Named> names = [] {
        std::vector<Named> all;
        for (const DriveValue& value : kValues) {
            all.push_back({Key(value.name), value.id, kWhole});
            // Numbered bits ("Input.0") are found through their group.
            for (const Bit& bit : value.bits)
                if (bit.name.find('.') == std::string_view::npos)
                    all.push_back({Key(bit.name), value.id, bit.index});
        }
        for (const Alias& alias : kAliases)
            all.push_back({std::string(alias.key), alias.id, alias.bit});
        return all;
    }();
    return names;
}

bool NumberedBits(const DriveValue& value) {
    return !value.bits.empty() && value.bits[0].name.find('.') != std::string_view::npos;
}

std::optional<int> Number(std::string_view digits) {
    if (digits.empty() || digits.size() > 3)
        return std::nullopt;
    int number = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        number = number * 10 + (c - '0');
    }
    return number;
}

// Channel or bit n of a whole value.
std::optional<ValueRef> Numbered(const ValueRef& whole, int n) {
    const DriveValue& value = *whole.value;
    if (whole.bit != kWhole || whole.channel != kWhole)
        return std::nullopt;
    if (value.channels > 0 && n < value.channels)
        return ValueRef{&value, n, kWhole};
    if (value.channels == 0 && NumberedBits(value) && n < static_cast<int>(value.bits.size()))
        return ValueRef{&value, kWhole, value.bits[static_cast<std::size_t>(n)].index};
    return std::nullopt;
}

// A key without dots: a name, perhaps with a number after it.
std::optional<ValueRef> Resolve(std::string_view key) {
    std::size_t base = key.size();
    while (base > 0 && key[base - 1] >= '0' && key[base - 1] <= '9')
        --base;
    const std::string_view name = key.substr(0, base);
    const std::vector<Named>& names = Names();
    const auto found = std::find_if(names.begin(), names.end(),
                                    [&](const Named& named) { return named.key == name; });
    if (name.empty() || found == names.end())
        return std::nullopt;
    const ValueRef whole{&At(found->id), kWhole, found->bit};
    if (base == key.size())
        return whole;
    const std::optional<int> n = Number(key.substr(base));
    return n ? Numbered(whole, *n) : std::nullopt;
}

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::span<const DriveValue> Values() {
    return kValues;
}

std::optional<ValueRef> Find(std::string_view name) {
    const std::string key = Key(Trimmed(name));
    const std::size_t dot = key.find('.');
    if (dot == std::string::npos)
        return Resolve(key);
    if (key.find('.', dot + 1) != std::string::npos)
        return std::nullopt;
    // "Counter.3", "Input.0", "Input." (the language's class), "status.Fault".
    const std::optional<ValueRef> group = Resolve(std::string_view(key).substr(0, dot));
    const std::string_view rest = std::string_view(key).substr(dot + 1);
    if (!group || group->bit != kWhole || group->channel != kWhole)
        return std::nullopt;
    if (rest.empty())
        return group;
    if (const std::optional<int> n = Number(rest))
        return Numbered(*group, *n);
    const std::optional<ValueRef> bit = Resolve(rest);
    if (!bit || bit->bit == kWhole || bit->value != group->value)
        return std::nullopt;
    return bit;
}

std::string Name(const ValueRef& ref) {
    if (ref.bit != kWhole)
        for (const Bit& bit : ref.value->bits)
            if (bit.index == ref.bit)
                return std::string(bit.name);
    if (ref.channel != kWhole)
        return std::string(ref.value->name) + '.' + std::to_string(ref.channel);
    return std::string(ref.value->name);
}

std::optional<ValueRef> AtAddress(int address, int count) {
    std::optional<ValueRef> best;
    for (const DriveValue& value : kValues) {
        for (int channel = 0; channel < std::max<int>(value.channels, 1); ++channel) {
            const ValueRef ref{&value, value.channels > 0 ? channel : kWhole, kWhole};
            if (ref.Address() != address)
                continue;
            // Counters and word counters share their bytes: the size read
            // tells them apart, the byte where it tells nothing.
            if (!best || value.size == count ||
                (best->value->size != count && value.size < best->value->size))
                best = ref;
        }
    }
    return best;
}

std::optional<ValueRef> Holding(int address) {
    std::optional<ValueRef> best;
    for (const DriveValue& value : kValues) {
        for (int channel = 0; channel < std::max<int>(value.channels, 1); ++channel) {
            const ValueRef ref{&value, value.channels > 0 ? channel : kWhole, kWhole};
            if (address < ref.Address() || address >= ref.Address() + value.size)
                continue;
            if (!best || value.size < best->value->size)
                best = ref;
        }
    }
    return best;
}

std::string_view UnitOrName(const DriveValue& value) {
    return value.unit.empty() ? value.name : value.unit;
}

std::uint16_t Count(const DriveValue& value, std::span<const std::uint8_t> bytes) {
    const bool lowByte = value.size == 1 || value.scaling == Scaling::Percent ||
                         value.scaling == Scaling::CurrentStep;
    if (lowByte)
        return bytes[0];
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

double Scale(Scaling scaling, std::uint16_t count) {
    switch (scaling) {
    case Scaling::Raw:
        break;
    case Scaling::Tenths:
        return static_cast<float>(count) / 10.0f;
    case Scaling::Percent:
        return count * 100 / 255;
    case Scaling::CurrentStep:
        return static_cast<float>(count * 0.255);
    case Scaling::BusVolt:
        return static_cast<float>(count * 69.8 / 649);
    }
    return count;
}

double Decode(const DriveValue& value, std::span<const std::uint8_t> bytes) {
    return Scale(value.scaling, Count(value, bytes));
}

std::optional<std::uint16_t> EncodeTenths(float& value) {
    if (value > compiler::kTenthsLimit)
        value = compiler::kTenthsLimit;
    // Formed in double, as the compiler forms its tenths: the same text gives
    // the same count wherever it is typed.
    const double tenths = compiler::RoundHalfEven(static_cast<double>(value) * 10.0);
    if (!(tenths >= 0))
        return std::nullopt;
    return static_cast<std::uint16_t>(tenths);
}

std::optional<std::uint16_t> Encode(const DriveValue& value, float& reading) {
    const auto whole = [&]() -> std::optional<std::uint16_t> {
        if (!(reading >= value.range.low && reading <= value.range.high) ||
            reading != static_cast<float>(static_cast<long>(reading)))
            return std::nullopt;
        return static_cast<std::uint16_t>(reading);
    };
    switch (value.scaling) {
    case Scaling::Tenths:
        return EncodeTenths(reading);
    case Scaling::CurrentStep: {
        if (reading > value.range.high)
            reading = value.range.high;
        // Thousandths of an ampere in 255 mA steps, the rest dropped.
        const double count = compiler::RoundHalfEven(static_cast<double>(reading) * 1000.0);
        if (!(count >= 0))
            return std::nullopt;
        return static_cast<std::uint16_t>(static_cast<int>(count) / 255);
    }
    case Scaling::Percent: {
        const std::optional<std::uint16_t> percent = whole();
        if (!percent)
            return std::nullopt;
        return static_cast<std::uint16_t>(*percent * 255 / 100);
    }
    case Scaling::Raw:
        return whole();
    case Scaling::BusVolt:
        break;
    }
    return std::nullopt;
}

std::string Format(const DriveValue& value, double reading) {
    if (value.kind == Kind::Bits) {
        std::string text;
        const auto byte = static_cast<unsigned>(reading);
        for (const Bit& bit : value.bits) {
            if (!text.empty())
                text += ' ';
            text.append(bit.name).append((byte >> bit.index & 1) != 0 ? "=1" : "=0");
        }
        return text;
    }
    const auto count = static_cast<long long>(reading);
    if (value.kind == Kind::Text)
        return std::to_string(count) + ": " + std::string(ErrorText(static_cast<int>(count)));
    switch (value.scaling) {
    case Scaling::Tenths:
    case Scaling::CurrentStep:
    case Scaling::BusVolt:
        return compiler::FormatSingle(static_cast<float>(reading));
    case Scaling::Percent:
    case Scaling::Raw:
        break;
    }
    return std::to_string(count);
}

std::string Format(const ValueRef& ref, double reading) {
    if (ref.bit != kWhole)
        return reading != 0 ? "1" : "0";
    return Format(*ref.value, reading);
}

double Reading(const ValueRef& ref, std::span<const std::uint8_t> memory) {
    const std::uint16_t address = ref.Address();
    if (ref.bit != kWhole)
        return memory[address] >> ref.bit & 1;
    return Decode(*ref.value, memory.subspan(address, ref.value->size));
}

std::string Text(const ValueRef& ref, std::span<const std::uint8_t> memory) {
    return Format(ref, Reading(ref, memory));
}

void WritePowerUp(std::span<std::uint8_t> memory) {
    std::fill(memory.begin(), memory.end(), std::uint8_t{0});
    for (const DriveValue& value : kValues) {
        for (int channel = 0; channel < std::max<int>(value.channels, 1); ++channel) {
            const std::size_t address = value.address + channel * value.stride;
            memory[address] = static_cast<std::uint8_t>(value.powerUp & 0xFF);
            if (value.size == 2)
                memory[address + 1] = static_cast<std::uint8_t>(value.powerUp >> 8);
        }
    }
}

} // namespace kt::drivemap
