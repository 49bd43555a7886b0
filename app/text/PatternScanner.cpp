#include "text/PatternScanner.h"

namespace quillet {

namespace {

/// Printable ASCII and tabs, short enough that the expressions' backtracking stays far below
/// the matcher's time limit: there `.` matches every unit, `\w` is [A-Za-z0-9_], case folding
/// changes none of the expressions' literals, and no unit is a line end or half a surrogate pair.
bool isScannable(const icu::UnicodeString& text)
{
    if (text.isBogus() || text.length() > PatternScanner::longestScannedText)
        return false;
    const char16_t* units = text.getBuffer();
    for (int32_t i = 0; i < text.length(); ++i) {
        if (units[i] != u'\t' && (units[i] < 0x20 || units[i] > 0x7E))
            return false;
    }
    return true;
}

bool isWordUnit(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_';
}

std::optional<CapturedGroup> captured(const icu::UnicodeString& text, int32_t start, int32_t end)
{
    return CapturedGroup { TextRange { start, end - start }, icu::UnicodeString(text, start, end - start) };
}

/// One declaration match found by hand, as positions.
struct Declaration {
    int32_t end = 0;
    int32_t nameStart = 0, nameEnd = 0;
    int32_t typeStart = 0, typeEnd = 0;
    std::optional<std::pair<int32_t, int32_t>> parameters; // group 3
    std::optional<int32_t> equalsSign; // group 4 starts here, group 5 one later
};

class DeclarationMatcher {
public:
    explicit DeclarationMatcher(const icu::UnicodeString& text)
        : m_units(text.getBuffer())
        , m_length(text.length())
    {
    }

    /// `\$\{(\w+?):(\w+?\??)(?:\((.+?)(?<!\\)\))?(=([^}]*))?(?<!\\)\}` tried at start only.
    std::optional<Declaration> matchAt(int32_t start) const
    {
        if (start + 1 >= m_length || m_units[start] != u'$' || m_units[start + 1] != u'{')
            return std::nullopt;
        Declaration found;
        // A lazy run of word units before ":" can only end where the word units end.
        int32_t i = found.nameStart = start + 2;
        while (i < m_length && isWordUnit(m_units[i]))
            ++i;
        if (i == found.nameStart || i >= m_length || m_units[i] != u':')
            return std::nullopt;
        found.nameEnd = i++;
        // Likewise the type: what follows it must be "?", "(", "=" or "}", never a word unit.
        found.typeStart = i;
        while (i < m_length && isWordUnit(m_units[i]))
            ++i;
        if (i == found.typeStart)
            return std::nullopt;
        if (i < m_length && m_units[i] == u'?')
            ++i; // without it the rest would have to start at "?", which it cannot
        found.typeEnd = i;

        // The parameters: the shortest text up to an unescaped ")" after which the rest matches.
        if (i < m_length && m_units[i] == u'(') {
            for (int32_t close = i + 2; close < m_length; ++close) {
                if (m_units[close] != u')' || m_units[close - 1] == u'\\')
                    continue;
                if (matchTail(close + 1, found)) {
                    found.parameters = std::make_pair(i + 1, close);
                    return found;
                }
            }
        }
        if (matchTail(i, found))
            return found;
        return std::nullopt;
    }

private:
    /// `(=([^}]*))?(?<!\\)\}` at position.
    bool matchTail(int32_t position, Declaration& found) const
    {
        if (position >= m_length)
            return false;
        if (m_units[position] == u'=') {
            // The default runs to the next "}"; a shorter run would leave no "}" to close.
            int32_t brace = position + 1;
            while (brace < m_length && m_units[brace] != u'}')
                ++brace;
            if (brace >= m_length || m_units[brace - 1] == u'\\')
                return false;
            found.equalsSign = position;
            found.end = brace + 1;
            return true;
        }
        if (m_units[position] == u'}' && m_units[position - 1] != u'\\') {
            found.equalsSign.reset();
            found.end = position + 1;
            return true;
        }
        return false;
    }

    const char16_t* m_units;
    int32_t m_length;
};

} // namespace

std::optional<std::vector<OptionalCaptureGroups>> PatternScanner::segments(const icu::UnicodeString& text)
{
    if (!isScannable(text))
        return std::nullopt;
    const char16_t* units = text.getBuffer();
    const int32_t length = text.length();
    auto isUnescapedBar = [&](int32_t i) { return units[i] == u'|' && (i == 0 || units[i - 1] != u'\\'); };

    // The required alternative matches (perhaps empty) wherever a search starts, so every
    // match starts where the search does: after the previous match, or one unit further when
    // that match was empty, as the matcher steps over empty matches.
    std::vector<OptionalCaptureGroups> result;
    int32_t position = 0;
    bool previousWasEmpty = false;
    for (bool first = true;; first = false) {
        if (!first && previousWasEmpty) {
            if (position >= length)
                break;
            ++position;
        }
        const int32_t start = position;
        OptionalCaptureGroups groups(4);
        if (start < length && isUnescapedBar(start)) {
            int32_t close = start + 1;
            while (close < length && !isUnescapedBar(close))
                ++close;
            if (close < length) {
                groups[0] = groups[1] = captured(text, start, close + 1);
                groups[2] = captured(text, start + 1, close);
                result.push_back(std::move(groups));
                position = close + 1;
                previousWasEmpty = false;
                continue;
            }
        }
        int32_t end = start;
        while (end < length && units[end] != u'|')
            ++end;
        groups[0] = groups[3] = captured(text, start, end);
        result.push_back(std::move(groups));
        previousWasEmpty = end == start;
        position = end;
    }
    return result;
}

std::optional<std::vector<OptionalCaptureGroups>> PatternScanner::declarations(const icu::UnicodeString& text)
{
    if (!isScannable(text))
        return std::nullopt;
    const DeclarationMatcher matcher(text);
    std::vector<OptionalCaptureGroups> result;
    // Declarations are never empty, so each search starts where the previous match ended.
    for (int32_t start = 0; start + 1 < text.length(); ++start) {
        const auto found = matcher.matchAt(start);
        if (!found)
            continue;
        OptionalCaptureGroups groups(6);
        groups[0] = captured(text, start, found->end);
        groups[1] = captured(text, found->nameStart, found->nameEnd);
        groups[2] = captured(text, found->typeStart, found->typeEnd);
        if (found->parameters)
            groups[3] = captured(text, found->parameters->first, found->parameters->second);
        if (found->equalsSign) {
            groups[4] = captured(text, *found->equalsSign, found->end - 1);
            groups[5] = captured(text, *found->equalsSign + 1, found->end - 1);
        }
        result.push_back(std::move(groups));
        start = found->end - 1;
    }
    return result;
}

} // namespace quillet
