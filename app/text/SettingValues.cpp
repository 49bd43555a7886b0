#include "text/SettingValues.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet::settingvalues {
namespace {

struct IntegerRange {
    std::string_view key;
    long long minimum;
    long long maximum;
};

constexpr std::array integerKeys {
    IntegerRange { "IndentSize", 1, 16 },
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
constexpr off_t largestSettingsFile = 1 << 20;

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
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::string> content;
    struct stat status { };
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size <= largestSettingsFile) {
        content.emplace();
        char buffer[16384];
        for (;;) {
            const ssize_t count = read(fd, buffer, sizeof buffer);
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0 || content->size() + std::size_t(count) > std::size_t(largestSettingsFile)) {
                content.reset();
                break;
            }
            if (count == 0)
                break;
            content->append(buffer, std::size_t(count));
        }
    }
    close(fd);
    return content;
}

bool isUsableSettingsPath(const std::filesystem::path& path)
{
    struct stat status { };
    if (stat(path.c_str(), &status) != 0)
        return errno == ENOENT;
    return S_ISREG(status.st_mode);
}

} // namespace quillet::settingvalues
