#include "text/SettingValues.h"

#include "text/RegularFile.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <sys/stat.h>

namespace quillet::settingvalues {
namespace {

struct IntegerRange {
    std::string_view key;
    long long minimum;
    long long maximum;
};

constexpr std::array integerKeys {
    // Any size: the indentation unit is empty for 0 or less, and capped where it is built.
    IntegerRange { "IndentSize", std::numeric_limits<long long>::min(), std::numeric_limits<long long>::max() },
    IntegerRange { "MaximumCharactersInLine", 1, 100'000 },
};

constexpr std::array booleanKeys = { std::string_view("IndentWithSpaces"), std::string_view("EnableSounds"),
    std::string_view("EnableErrorSound"), std::string_view("MainWindowVisibleOnStart"),
    std::string_view("DidOpenIntro"), std::string_view("StartApplicationAutomatically") };

const IntegerRange* integerRange(std::string_view key)
{
    const auto found
        = std::find_if(integerKeys.begin(), integerKeys.end(), [&](const auto& r) { return r.key == key; });
    return found == integerKeys.end() ? nullptr : &*found;
}

bool isBooleanKey(std::string_view key)
{
    return std::find(booleanKeys.begin(), booleanKeys.end(), key) != booleanKeys.end();
}

// Far above any settings file the application writes; a file that large is not one.
constexpr std::size_t largestSettingsFile = 1 << 20;

std::string_view trimmed(std::string_view text)
{
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

unsigned long digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return static_cast<unsigned long>(c - '0');
    return static_cast<unsigned long>((c | 0x20) - 'a' + 10);
}

/// The characters of a stored value as the settings writer escaped them: double quotes
/// around any part of it, C escapes ("\n", "\x1f", "\017") in and out of quotes. Each
/// character comes back as one byte; none for a list (an unquoted comma) or a character above
/// 0xff, neither of which any value of this rule can be.
std::optional<std::string> unescaped(std::string_view text)
{
    static constexpr std::string_view escapes = "abfnrtv\"?'\\";
    static constexpr std::string_view escaped = "\a\b\f\n\r\t\v\"?'\\";
    std::string result;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (c == ',' && !quoted)
            return std::nullopt;
        if (c != '\\' || i + 1 == text.size()) {
            result += c;
            continue;
        }
        const char next = text[++i];
        if (const auto found = escapes.find(next); found != std::string_view::npos) {
            result += escaped[found];
            continue;
        }
        const bool hex = next == 'x';
        if (!hex && (next < '0' || next > '7'))
            continue; // an unknown escape stands for nothing
        unsigned long code = 0;
        std::size_t end = hex ? i + 1 : i;
        while (end < text.size() && (hex ? isHexDigit(text[end]) : (text[end] >= '0' && text[end] <= '7'))) {
            code = code * (hex ? 16 : 8) + digitValue(text[end]);
            if (code > 0xff)
                return std::nullopt;
            ++end;
        }
        result += static_cast<char>(code);
        i = end - 1;
    }
    return result;
}

/// Reads the big-endian numbers of the settings writer's binary form.
class BigEndianBytes {
public:
    explicit BigEndianBytes(std::string_view bytes)
        : m_bytes(bytes)
    {
    }
    std::optional<uint64_t> take(std::size_t count)
    {
        if (m_bytes.size() < count)
            return std::nullopt;
        uint64_t value = 0;
        for (std::size_t i = 0; i < count; ++i)
            value = (value << 8) | static_cast<unsigned char>(m_bytes[i]);
        m_bytes.remove_prefix(count);
        return value;
    }
    bool atEnd() const { return m_bytes.empty(); }

private:
    std::string_view m_bytes;
};

/// The value of the typed form's bytes: a type number, then a Boolean (type 1), a 32-bit
/// integer (2, signed; 3, unsigned), a 64-bit one (4, signed; 5, unsigned) or a UTF-16 text
/// (10, its length in bytes first), read by the rule's text form; none for anything else.
std::optional<Value> typedValue(std::string_view key, std::string_view bytes)
{
    BigEndianBytes input(bytes);
    const auto type = input.take(4);
    std::optional<Value> value;
    if (type == 1u) {
        if (const auto flag = input.take(1); flag && *flag <= 1)
            value = Value(*flag == 1);
    } else if (type == 2u) {
        if (const auto number = input.take(4))
            value = Value(static_cast<long long>(static_cast<int32_t>(static_cast<uint32_t>(*number))));
    } else if (type == 3u) {
        if (const auto number = input.take(4))
            value = Value(static_cast<long long>(*number));
    } else if (type == 4u) {
        if (const auto number = input.take(8))
            value = Value(static_cast<long long>(*number));
    } else if (type == 5u) {
        if (const auto number = input.take(8); number && *number <= uint64_t(std::numeric_limits<long long>::max()))
            value = Value(static_cast<long long>(*number));
    } else if (type == 10u) {
        const auto length = input.take(4);
        if (!length || *length % 2 != 0)
            return std::nullopt;
        std::string text;
        for (uint64_t i = 0; i < *length / 2; ++i) {
            const auto unit = input.take(2);
            // Only ASCII can spell a value of this rule.
            if (!unit || *unit >= 0x80)
                return std::nullopt;
            text += static_cast<char>(*unit);
        }
        if (!input.atEnd())
            return std::nullopt;
        return parse(key, text);
    }
    if (!value || !input.atEnd() || !isValid(key, *value))
        return std::nullopt;
    return value;
}

} // namespace

std::optional<bool> parseBool(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    if (lower == "true" || lower == "1")
        return true;
    if (lower == "false" || lower == "0")
        return false;
    return std::nullopt;
}

std::optional<long long> parseInteger(std::string_view text)
{
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (begin != end && *begin == '+')
        ++begin;
    long long value = 0;
    const auto [next, error] = std::from_chars(begin, end, value);
    if (begin == end || error != std::errc() || next != end)
        return std::nullopt;
    return value;
}

std::optional<Value> parse(std::string_view key, std::string_view text)
{
    if (isBooleanKey(key)) {
        if (const auto value = parseBool(text))
            return Value(*value);
        return std::nullopt;
    }
    if (integerRange(key)) {
        if (const auto value = parseInteger(text); value && isValid(key, Value(*value)))
            return Value(*value);
    }
    return std::nullopt;
}

std::optional<Value> parseStored(std::string_view key, std::string_view storedText)
{
    const auto text = unescaped(trimmed(storedText));
    if (!text)
        return std::nullopt;
    const std::string_view value = *text;
    const auto wrapped = [&](std::string_view prefix) {
        return value.size() > prefix.size() && value.starts_with(prefix) && value.back() == ')';
    };
    const auto inside
        = [&](std::string_view prefix) { return value.substr(prefix.size(), value.size() - prefix.size() - 1); };
    if (value.starts_with("@@"))
        return parse(key, value.substr(1));
    if (wrapped("@Variant("))
        return typedValue(key, inside("@Variant("));
    if (wrapped("@String("))
        return parse(key, inside("@String("));
    if (value.starts_with("@"))
        return std::nullopt; // bytes, a rectangle, a point…: none is a value of this rule
    return parse(key, value);
}

std::map<std::string, Value> storedValues(std::string_view fileContent)
{
    std::map<std::string, Value> values;
    bool inGeneral = true;
    while (!fileContent.empty()) {
        const auto lineEnd = fileContent.find('\n');
        const auto line = trimmed(fileContent.substr(0, lineEnd));
        fileContent.remove_prefix(lineEnd == std::string_view::npos ? fileContent.size() : lineEnd + 1);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            inGeneral = line == "[General]";
            continue;
        }
        const auto equals = line.find('=');
        if (!inGeneral || equals == std::string_view::npos)
            continue;
        const std::string key(trimmed(line.substr(0, equals)));
        if (!hasRule(key))
            continue;
        if (const auto value = parseStored(key, line.substr(equals + 1)))
            values.insert_or_assign(key, *value);
        else
            values.erase(key);
    }
    return values;
}

bool hasRule(std::string_view key)
{
    return isBooleanKey(key) || integerRange(key) != nullptr;
}

bool isValid(std::string_view key, const Value& value)
{
    if (isBooleanKey(key))
        return std::holds_alternative<bool>(value);
    if (const auto* range = integerRange(key)) {
        const auto* number = std::get_if<long long>(&value);
        return number && *number >= range->minimum && *number <= range->maximum;
    }
    return false;
}

std::optional<std::string> readSettingsFile(const std::filesystem::path& path)
{
    RegularFileRead file = readRegularFile(path, largestSettingsFile);
    if (!file.ok())
        return std::nullopt;
    return std::move(file.bytes);
}

bool isUsableSettingsPath(const std::filesystem::path& path)
{
    struct stat status { };
    if (stat(path.c_str(), &status) != 0)
        return errno == ENOENT;
    return S_ISREG(status.st_mode);
}

} // namespace quillet::settingvalues
