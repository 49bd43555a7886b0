#pragma once

#include "OrvTextView/HighlightingPattern.h"

#include <unicode/unistr.h>

#include <vector>

namespace quillet {

/// Sets a language's keywords in bold, found as whole words (case-insensitively, as the
/// text view compiles every pattern).
///
/// The expression is built from `keywords()` at every read, so a changed list shows at the
/// next re-colouring. Keywords are regular-expression text: only "#" is escaped, so "()" in
/// "array()" is an empty group and "?" in "defined?" makes the "d" optional. Duplicate
/// entries give duplicate alternatives, which match nothing more.
class KeywordsHighlightingPattern : public orv::HighlightingPattern {
public:
    const std::vector<icu::UnicodeString>& keywords() const noexcept { return m_keywords; }
    void setKeywords(std::vector<icu::UnicodeString> keywords) { m_keywords = std::move(keywords); }

    /// One alternative per keyword, "\b(keyword)\b", joined with "|"; the empty text for no
    /// keywords. A keyword that starts with a non-word character ("#if", "@IBOutlet") has no
    /// word boundary before it, so its alternative drops the leading "\b" to be findable.
    std::u16string pattern() const final;
    /// A new format each read: bold, nothing else, so a keyword keeps its colour.
    orv::TextFormatPtr format() const final;

protected:
    explicit KeywordsHighlightingPattern(std::vector<icu::UnicodeString> keywords);

private:
    std::vector<icu::UnicodeString> m_keywords;
};

/// The keywords of C.
class CKeywordsHighlightingPattern final : public KeywordsHighlightingPattern {
public:
    CKeywordsHighlightingPattern();
};

/// The keywords of C#; "in", "out", "static" and "using" stand twice.
class CSharpKeywordsHighlightingPattern final : public KeywordsHighlightingPattern {
public:
    CSharpKeywordsHighlightingPattern();
};

/// The keywords of C++.
class CppKeywordsHighlightingPattern final : public KeywordsHighlightingPattern {
public:
    CppKeywordsHighlightingPattern();
};

/// The keywords of Swift, compiler directives and interface attributes included.
class SwiftKeywordsHighlightingPattern final : public KeywordsHighlightingPattern {
public:
    SwiftKeywordsHighlightingPattern();
};

/// The keywords of Objective C, with common Foundation types and directives.
class ObjectiveCKeywordsHighlightingPattern final : public KeywordsHighlightingPattern {
public:
    ObjectiveCKeywordsHighlightingPattern();
};

/// The keywords of Java.
class JavaKeywordsHighlightingPattern final : public KeywordsHighlightingPattern {
public:
    JavaKeywordsHighlightingPattern();
};

/// The keywords of PHP, language constructs written with their parentheses.
class PHPKeywordsHighlightingPattern final : public KeywordsHighlightingPattern {
public:
    PHPKeywordsHighlightingPattern();
};

/// The keywords of Ruby.
class RubyKeywordsHighlightingPattern final : public KeywordsHighlightingPattern {
public:
    RubyKeywordsHighlightingPattern();
};

/// The keywords of Python.
class PythonKeywordsHighlightingPattern final : public KeywordsHighlightingPattern {
public:
    PythonKeywordsHighlightingPattern();
};

/// The keywords and reserved words of JavaScript.
class JavaScriptKeywordsHighlightingPattern final : public KeywordsHighlightingPattern {
public:
    JavaScriptKeywordsHighlightingPattern();
};

/// The keywords of Go.
class GoKeywordsHighlightingPattern final : public KeywordsHighlightingPattern {
public:
    GoKeywordsHighlightingPattern();
};

/// The reserved words of Elixir.
class ElixirKeywordsHighlightingPattern final : public KeywordsHighlightingPattern {
public:
    ElixirKeywordsHighlightingPattern();
};

} // namespace quillet
