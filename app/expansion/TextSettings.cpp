#include "expansion/TextSettings.h"

#include "text/Settings.h"

#include <algorithm>

namespace quillet {
namespace {

bool readBool(const char* key)
{
    auto& settings = Settings::shared();
    settings.synchronize();
    return settings.boolForKey(key);
}

long long readInteger(const char* key)
{
    auto& settings = Settings::shared();
    settings.synchronize();
    return settings.integerForKey(key);
}

} // namespace

icu::UnicodeString TextSettings::indentString()
{
    if (!readBool(indentWithSpacesKey))
        return icu::UnicodeString(u'\t');
    // A stored size is the user's data: an absurd one must not exhaust memory on every expansion.
    constexpr long long largestIndentSize = 256;
    const long long size = std::min(indentSize(), largestIndentSize);
    icu::UnicodeString unit;
    for (long long i = 0; i < size; ++i)
        unit.append(u' ');
    return unit;
}

bool TextSettings::indentsWithTabs()
{
    return !readBool(indentWithSpacesKey);
}

long long TextSettings::indentSize()
{
    return readInteger(indentSizeKey);
}

long long TextSettings::maximumCharactersInLine()
{
    return readInteger(maximumCharactersInLineKey);
}

} // namespace quillet
