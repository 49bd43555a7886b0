#include "expansion/LinearSuffixSearch.h"

#include <re2/re2.h>
#include <unicode/uchar.h>
#include <unicode/uniset.h>
#include <unicode/utf16.h>

#include <cstdio>
#include <string>

namespace quillet {
namespace {

/// Word characters inside a word are moved by this much; the plane they land in holds no text.
constexpr UChar32 movedOffset = 0xF0000;
/// Only characters below this can be moved (into U+F0000..U+10FFFF).
constexpr UChar32 movableLimit = 0x20000;
/// Stands before the line: no line holds it (a noncharacter), and it is no word character.
constexpr UChar32 lineStartMark = 0xEFFFF;
/// A line holding a character from here on cannot be read.
constexpr UChar32 unreadableFrom = 0xEFFFF;

/// Beyond this many repetitions without an upper bound an expression is left to ICU.
constexpr int mostUnboundedRepeats = 24;

/// ICU's own sets for \w, \d and \s (not frozen: a frozen set's copies cannot grow).
const icu::UnicodeSet& wordCharacters()
{
    static const icu::UnicodeSet set = [] {
        UErrorCode status = U_ZERO_ERROR;
        icu::UnicodeSet made(u"[\\p{Alphabetic}\\p{M}\\p{Nd}\\p{Pc}\\u200c\\u200d]", status);
        return made;
    }();
    return set;
}

const icu::UnicodeSet& digitCharacters()
{
    static const icu::UnicodeSet set = [] {
        UErrorCode status = U_ZERO_ERROR;
        icu::UnicodeSet made(u"[\\p{Nd}]", status);
        return made;
    }();
    return set;
}

const icu::UnicodeSet& spaceCharacters()
{
    static const icu::UnicodeSet set = [] {
        UErrorCode status = U_ZERO_ERROR;
        icu::UnicodeSet made(u"[\\p{WhiteSpace}]", status);
        return made;
    }();
    return set;
}

void appendUtf8(std::string& out, UChar32 c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void appendCodePoint(std::string& out, UChar32 c)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "\\x{%X}", static_cast<unsigned>(c));
    out += buffer;
}

/// The set as the automaton reads the moved line: a word character also in its moved form.
std::string translatedSet(const icu::UnicodeSet& set)
{
    icu::UnicodeSet readable(set);
    readable.remove(unreadableFrom, 0x10FFFF);
    icu::UnicodeSet moved(set);
    moved.retainAll(wordCharacters());
    moved.retain(0, movableLimit - 1);
    for (int32_t i = 0; i < moved.getRangeCount(); ++i)
        readable.add(moved.getRangeStart(i) + movedOffset, moved.getRangeEnd(i) + movedOffset);
    if (readable.isEmpty())
        return "[^\\x00-\\x{10FFFF}]";
    if (readable.getRangeCount() == 1 && readable.getRangeStart(0) == readable.getRangeEnd(0)) {
        std::string single;
        appendCodePoint(single, readable.getRangeStart(0));
        return single;
    }
    std::string out = "[";
    for (int32_t i = 0; i < readable.getRangeCount(); ++i) {
        appendCodePoint(out, readable.getRangeStart(i));
        if (readable.getRangeEnd(i) != readable.getRangeStart(i)) {
            out.push_back('-');
            appendCodePoint(out, readable.getRangeEnd(i));
        }
    }
    out.push_back(']');
    return out;
}

bool isHexDigit(UChar32 c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

/// Reads an ICU expression into the automaton's syntax; fails on anything it does not follow.
class Translator {
public:
    explicit Translator(const icu::UnicodeString& expression)
        : m_text(expression)
    {
    }

    std::optional<std::string> translate()
    {
        int depth = 0;
        bool canRepeat = false;
        while (m_at < m_text.length()) {
            const UChar32 c = next();
            switch (c) {
            case u'\\': {
                icu::UnicodeSet set;
                if (m_at < m_text.length() && m_text.charAt(m_at) == u'Q') {
                    ++m_at;
                    const int32_t end = m_text.indexOf(u"\\E", m_at);
                    const int32_t stop = end < 0 ? m_text.length() : end;
                    while (m_at < stop) {
                        const UChar32 quoted = next();
                        m_out += translatedSet(icu::UnicodeSet(quoted, quoted));
                    }
                    m_at = end < 0 ? stop : end + 2;
                    canRepeat = false; // a quantifier after a quote is left to ICU
                    continue;
                }
                if (!escape(set))
                    return std::nullopt;
                m_out += translatedSet(set);
                canRepeat = true;
                break;
            }
            case u'[': {
                icu::UnicodeSet set;
                if (!bracketSet(set))
                    return std::nullopt;
                m_out += translatedSet(set);
                canRepeat = true;
                break;
            }
            case u'(':
                if (m_at < m_text.length() && m_text.charAt(m_at) == u'?') {
                    if (m_at + 1 < m_text.length() && m_text.charAt(m_at + 1) == u':') {
                        m_at += 2;
                    } else if (m_text.tempSubString(m_at, 4) == icu::UnicodeString(u"?-i:")) {
                        m_at += 4; // the search is case-sensitive already
                    } else if (m_text.tempSubString(m_at, 4) == icu::UnicodeString(u"?-i)")) {
                        m_at += 4;
                        continue;
                    } else if (m_at + 2 < m_text.length() && m_text.charAt(m_at + 1) == u'<'
                        && u_isalpha(m_text.charAt(m_at + 2))) {
                        const int32_t close = m_text.indexOf(u'>', m_at);
                        if (close < 0)
                            return std::nullopt;
                        m_at = close + 1;
                    } else {
                        return std::nullopt; // look-around, atomic group, flags, comment
                    }
                }
                m_out += "(?:";
                ++depth;
                canRepeat = false;
                break;
            case u')':
                if (--depth < 0)
                    return std::nullopt;
                m_out += ")";
                canRepeat = true;
                break;
            case u'|':
                m_out += "|";
                canRepeat = false;
                break;
            case u'.':
                m_out += "(?s:.)";
                canRepeat = true;
                break;
            case u'*':
            case u'+':
            case u'?':
                if (!canRepeat || !quantifierTail())
                    return std::nullopt;
                m_out.push_back(static_cast<char>(c));
                if (c != u'?')
                    ++m_unboundedRepeats;
                canRepeat = false;
                break;
            case u'{': {
                if (!canRepeat)
                    return std::nullopt;
                const int32_t close = m_text.indexOf(u'}', m_at);
                if (close < 0)
                    return std::nullopt;
                std::string bounds;
                int32_t count = 0;
                for (int32_t i = m_at; i < close; ++i) {
                    const char16_t unit = m_text.charAt(i);
                    if (unit == u',') {
                        if (++count > 1 || i == m_at)
                            return std::nullopt;
                    } else if (unit < u'0' || unit > u'9' || close - m_at > 9) {
                        return std::nullopt;
                    }
                    bounds.push_back(static_cast<char>(unit));
                }
                if (bounds.empty())
                    return std::nullopt;
                for (std::size_t from = 0; from < bounds.size();) {
                    const std::size_t comma = bounds.find(',', from);
                    const std::string number
                        = bounds.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
                    if (!number.empty() && std::stol(number) > 1000)
                        return std::nullopt; // beyond the automaton's repetition bound
                    from = comma == std::string::npos ? bounds.size() : comma + 1;
                }
                m_at = close + 1;
                if (!quantifierTail())
                    return std::nullopt;
                m_out += "{" + bounds + "}";
                if (bounds.back() == ',')
                    ++m_unboundedRepeats;
                canRepeat = false;
                break;
            }
            case u'^':
            case u'$':
                return std::nullopt; // anchors are only followed at the end
            default:
                m_out += translatedSet(icu::UnicodeSet(c, c));
                canRepeat = true;
                break;
            }
        }
        // Each value that takes any length of text multiplies the states the automaton may be in
        // at once; with many, it would fall back to a search that is slow on a long line.
        if (depth != 0 || m_unboundedRepeats > mostUnboundedRepeats)
            return std::nullopt;
        return m_out;
    }

private:
    UChar32 next()
    {
        const UChar32 c = m_text.char32At(m_at);
        m_at += U16_LENGTH(c);
        return c;
    }

    /// After a quantifier: a lazy one reaches the same ends; a possessive one does not.
    bool quantifierTail()
    {
        if (m_at < m_text.length() && m_text.charAt(m_at) == u'?')
            ++m_at;
        return !(m_at < m_text.length() && m_text.charAt(m_at) == u'+');
    }

    bool hexValue(int32_t digits, UChar32& value)
    {
        value = 0;
        for (int32_t i = 0; i < digits; ++i) {
            if (m_at >= m_text.length() || !isHexDigit(m_text.charAt(m_at)))
                return false;
            value = value * 16 + u_digit(m_text.charAt(m_at++), 16);
        }
        return true;
    }

    /// An escape after its backslash, as a set of characters.
    bool escape(icu::UnicodeSet& set)
    {
        if (m_at >= m_text.length())
            return false;
        const UChar32 c = next();
        UChar32 value = 0;
        switch (c) {
        case u'w':
        case u'W':
            set = wordCharacters();
            break;
        case u'd':
        case u'D':
            set = digitCharacters();
            break;
        case u's':
        case u'S':
            set = spaceCharacters();
            break;
        case u'p':
        case u'P': {
            int32_t end = m_at + 1;
            if (m_at < m_text.length() && m_text.charAt(m_at) == u'{') {
                end = m_text.indexOf(u'}', m_at);
                if (end < 0)
                    return false;
                ++end;
            }
            if (end > m_text.length())
                return false;
            icu::UnicodeString property(u"[\\p");
            property.append(m_text, m_at, end - m_at).append(u']');
            UErrorCode status = U_ZERO_ERROR;
            icu::UnicodeSet made(property, status);
            if (U_FAILURE(status))
                return false;
            set = made;
            m_at = end;
            if (c == u'P')
                set.complement();
            return true;
        }
        case u't':
            set = icu::UnicodeSet(9, 9);
            return true;
        case u'n':
            set = icu::UnicodeSet(10, 10);
            return true;
        case u'f':
            set = icu::UnicodeSet(12, 12);
            return true;
        case u'r':
            set = icu::UnicodeSet(13, 13);
            return true;
        case u'a':
            set = icu::UnicodeSet(7, 7);
            return true;
        case u'e':
            set = icu::UnicodeSet(27, 27);
            return true;
        case u'u':
            if (!hexValue(4, value))
                return false;
            set = icu::UnicodeSet(value, value);
            return true;
        case u'U':
            if (!hexValue(8, value) || value > 0x10FFFF)
                return false;
            set = icu::UnicodeSet(value, value);
            return true;
        case u'x':
            if (m_at < m_text.length() && m_text.charAt(m_at) == u'{') {
                const int32_t close = m_text.indexOf(u'}', m_at);
                if (close < 0 || close - m_at < 2 || close - m_at > 7)
                    return false;
                ++m_at;
                if (!hexValue(close - m_at, value) || value > 0x10FFFF)
                    return false;
                ++m_at;
            } else if (!hexValue(2, value)) {
                return false;
            }
            set = icu::UnicodeSet(value, value);
            return true;
        default:
            // Other letters and digits are classes, anchors, references or errors; the rest
            // stand for themselves.
            if (c < 0x80 && (u_isalnum(c) || c == u'_'))
                return false;
            set = icu::UnicodeSet(c, c);
            return true;
        }
        if (u_isupper(c))
            set.complement();
        return true;
    }

    /// A set after its "[": items, ranges and an initial "^"; no nested sets or set operations.
    bool bracketSet(icu::UnicodeSet& set)
    {
        bool isNegated = false;
        if (m_at < m_text.length() && m_text.charAt(m_at) == u'^') {
            isNegated = true;
            ++m_at;
        }
        if (m_at < m_text.length() && (m_text.charAt(m_at) == u']' || m_text.charAt(m_at) == u'['))
            return false;
        UChar32 last = -1; // a single character that may start a range; -1 when none
        while (true) {
            if (m_at >= m_text.length())
                return false;
            const UChar32 c = next();
            if (c == u']')
                break;
            if (c == u'[' || (c == u'&' && m_at < m_text.length() && m_text.charAt(m_at) == u'&'))
                return false;
            if (c == u'-') {
                if (m_at < m_text.length() && m_text.charAt(m_at) == u']') {
                    set.add(c);
                    continue;
                }
                if (last < 0)
                    return false; // "--", a leading "-" or one after a class: left to ICU
                UChar32 end = 0;
                if (m_at >= m_text.length())
                    return false;
                const UChar32 d = next();
                if (d == u'\\') {
                    icu::UnicodeSet single;
                    if (!escape(single) || single.size() != 1)
                        return false;
                    end = single.charAt(0);
                } else if (d == u'[' || d == u']' || d == u'-') {
                    return false;
                } else {
                    end = d;
                }
                if (end < last)
                    return false;
                set.add(last, end);
                last = -1;
                continue;
            }
            icu::UnicodeSet item;
            if (c == u'\\') {
                if (!escape(item))
                    return false;
            } else {
                item = icu::UnicodeSet(c, c);
            }
            set.addAll(item);
            // Only a single character starts a range; a class before "-" is left to ICU.
            last = item.size() == 1 ? item.charAt(0) : -1;
        }
        if (isNegated)
            set.complement();
        return true;
    }

    const icu::UnicodeString& m_text;
    int32_t m_at = 0;
    std::string m_out;
    int m_unboundedRepeats = 0;
};

} // namespace

LinearSearchText::LinearSearchText(const icu::UnicodeString& text)
{
    const auto& words = wordCharacters();
    m_bytes.reserve(static_cast<std::size_t>(text.length()) + 8);
    appendUtf8(m_bytes, lineStartMark);
    int32_t i = 0;
    const int32_t length = text.length();
    UChar32 c = length > 0 ? text.char32At(0) : 0;
    while (i < length) {
        if (U_IS_SURROGATE(c) || c >= unreadableFrom) {
            m_isUsable = false;
            return;
        }
        const int32_t after = i + U16_LENGTH(c);
        const UChar32 following = after < length ? text.char32At(after) : -1;
        UChar32 written = c;
        if (following >= 0 && words.contains(c) && words.contains(following)) {
            if (c >= movableLimit) {
                m_isUsable = false;
                return;
            }
            written = c + movedOffset;
        }
        appendUtf8(m_bytes, written);
        i = after;
        c = following;
    }
}

int32_t LinearSearchText::utf16Offset(std::size_t byteOffset) const
{
    int32_t units = 0;
    std::size_t at = 4; // the mark before the line
    while (at < byteOffset && at < m_bytes.size()) {
        const auto lead = static_cast<unsigned char>(m_bytes[at]);
        if (lead < 0x80) {
            ++units;
            at += 1;
        } else if (lead < 0xE0) {
            ++units;
            at += 2;
        } else if (lead < 0xF0) {
            ++units;
            at += 3;
        } else {
            // Four bytes: beyond the BMP, or a moved character that was in it.
            const UChar32 c = ((lead & 0x07) << 18) | ((static_cast<unsigned char>(m_bytes[at + 1]) & 0x3F) << 12)
                | ((static_cast<unsigned char>(m_bytes[at + 2]) & 0x3F) << 6)
                | (static_cast<unsigned char>(m_bytes[at + 3]) & 0x3F);
            const UChar32 original = c >= movedOffset ? c - movedOffset : c;
            units += original >= 0x10000 ? 2 : 1;
            at += 4;
        }
    }
    return units;
}

std::unique_ptr<LinearSuffixSearch> LinearSuffixSearch::make(const icu::UnicodeString& expression)
{
    const auto body = Translator(expression).translate();
    if (!body)
        return nullptr;
    std::unique_ptr<LinearSuffixSearch> made(new LinearSuffixSearch);
    // One character that is not a moved one stands before the start (the mark before the line,
    // or a character after which a word may start); ICU's "$" also matches before a final line
    // terminator.
    made->m_translated = "(?s)[\\x00-\\x{EFFFF}](?:" + *body + ")[\\x{A}-\\x{D}\\x{85}\\x{2028}\\x{2029}]?$";
    RE2::Options options;
    options.set_encoding(RE2::Options::EncodingUTF8);
    options.set_log_errors(false);
    options.set_never_capture(true);
    options.set_case_sensitive(true);
    made->m_automaton = std::make_unique<re2::RE2>(made->m_translated, options);
    if (!made->m_automaton->ok())
        return nullptr;
    return made;
}

LinearSuffixSearch::~LinearSuffixSearch() = default;

std::optional<int32_t> LinearSuffixSearch::leftmostStart(const LinearSearchText& text) const
{
    const re2::StringPiece bytes(text.bytes());
    re2::StringPiece match;
    if (!m_automaton->Match(bytes, 0, bytes.size(), RE2::UNANCHORED, &match, 1))
        return std::nullopt;
    // The match begins with the character before the start.
    std::size_t start = static_cast<std::size_t>(match.data() - bytes.data());
    const auto lead = static_cast<unsigned char>(bytes[start]);
    start += lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    return text.utf16Offset(start);
}

} // namespace quillet
