#pragma once

#include <unicode/unistr.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace re2 {
class RE2;
}

namespace quillet {

/// A line made ready for LinearSuffixSearch: its code points in UTF-8, each word character that
/// another word character follows moved to a plane of its own (U+F0000 onwards), behind one
/// character that no line holds. A start inside a word is then one after a moved character, and
/// an automaton that cannot look behind tells it from a word start by what it reads.
class LinearSearchText {
public:
    explicit LinearSearchText(const icu::UnicodeString& text);

    /// False for a line the search cannot read: one with an unpaired surrogate, a character of
    /// the last planes, or a word character beyond U+1FFFF inside a word.
    bool isUsable() const noexcept { return m_isUsable; }
    const std::string& bytes() const noexcept { return m_bytes; }
    /// The UTF-16 offset in the line of a byte offset of bytes() at a character boundary.
    int32_t utf16Offset(std::size_t byteOffset) const;

private:
    std::string m_bytes;
    bool m_isUsable = true;
};

/// The leftmost start of an end-anchored expression in a line, in time linear in the line: an
/// automaton that cannot backtrack reads the line once from its end. The expression is in ICU's
/// syntax, compiled case-sensitive with the dot matching every character, and its classes mean
/// what ICU's mean (\w, \d, \s and the property classes are written out as ICU defines them).
/// The start is the one ICU finds for the expression behind the word-start guard and followed by
/// "$" (which ICU also lets match before a final line terminator).
class LinearSuffixSearch {
public:
    /// None when the expression holds what the automaton lacks (a look-around, a back reference,
    /// an anchor or word boundary inside, a set operation, an inline flag...): ICU searches it.
    static std::unique_ptr<LinearSuffixSearch> make(const icu::UnicodeString& expression);
    ~LinearSuffixSearch();
    LinearSuffixSearch(const LinearSuffixSearch&) = delete;
    LinearSuffixSearch& operator=(const LinearSuffixSearch&) = delete;

    /// The UTF-16 offset of the leftmost start, from which the expression matches to the end of
    /// the line (or to a final line terminator) and at which no word goes on from before; none
    /// when there is no such start. The text must be usable.
    std::optional<int32_t> leftmostStart(const LinearSearchText& text) const;

    /// The expression as the automaton reads it (for tests).
    const std::string& translated() const noexcept { return m_translated; }

private:
    LinearSuffixSearch() = default;

    std::string m_translated;
    std::unique_ptr<re2::RE2> m_automaton;
};

} // namespace quillet
