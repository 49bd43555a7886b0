#include "AdversarialLines.h"

#include "text/StringHelpers.h"
#include "variables/VariablePattern.h"

#include <vector>

namespace quillet::test {

namespace {

/// The pattern's literal runs with a one-letter value where each declaration stood.
icu::UnicodeString literalWordsWithValues(const icu::UnicodeString& pattern)
{
    icu::UnicodeString unit;
    int32_t position = 0;
    for (const auto& groups : optionalCaptureGroups(pattern, VariablePattern::pattern())) {
        const TextRange range = groups.front()->range;
        unit.append(pattern, position, range.location - position).append(u'a');
        position = range.end();
    }
    unit.append(pattern, position, pattern.length() - position);
    // The bars of optional parts are no text a user types; escaped ones are.
    icu::UnicodeString typed;
    for (int32_t i = 0; i < unit.length(); ++i) {
        if (unit.charAt(i) == u'\\' && i + 1 < unit.length()) {
            typed.append(unit.charAt(++i));
        } else if (unit.charAt(i) != u'|') {
            typed.append(unit.charAt(i));
        }
    }
    return typed;
}

} // namespace

icu::UnicodeString adversarialLine(const icu::UnicodeString& pattern, int32_t units, const icu::UnicodeString& ending)
{
    icu::UnicodeString unit = literalWordsWithValues(pattern);
    unit.append(u' ');
    icu::UnicodeString line;
    while (line.length() < units)
        line.append(unit);
    return line.append(ending);
}

icu::UnicodeString exampleOrLiteralWords(const icu::UnicodeString& description, const icu::UnicodeString& pattern)
{
    for (const auto& line : lines(description)) {
        if (line.startsWith(u"> ") && line.length() > 2)
            return icu::UnicodeString(line, 2);
    }
    return literalWordsWithValues(pattern);
}

} // namespace quillet::test
