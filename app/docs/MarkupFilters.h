#pragma once

// The block and inline rewrites of the documentation markup, in the order the generator
// runs them. Each is a regular-expression rewrite of the whole text it is given (flags:
// case-insensitive, comments and whitespace, anchors match lines). Text from the user is
// escaped by the first filter; the later ones insert their captures unchanged.

#include "docs/MarkupFilter.h"

namespace quillet {

/// True for a line that is a live example: ">", a blank and at least one further character.
bool isExampleLine(const icu::UnicodeString& line);

/// "<" and ">" escaped on every line except the example lines, which the example filter
/// renders (and escapes) itself. A line that begins with ">" but is no example is escaped
/// like any other. Ampersands stay, so descriptions may use character entities.
class EncodeHTMLFilter final : public MarkupFilter {
public:
    icu::UnicodeString filter(const icu::UnicodeString& text, const MarkupFilterOptions& options) const override;
};

/// "[twitter] @name" (any case) becomes a link to the handle's profile page.
class TwitterMarkupFilter final : public MarkupFilter {
public:
    static constexpr const char16_t* profileAddressPrefix = u"https://twitter.com/";
    icu::UnicodeString filter(const icu::UnicodeString& text, const MarkupFilterOptions& options) const override;
};

/// A run of lines "* item" becomes one ul with an li per line; the run's line feeds are consumed.
class DotListMarkupFilter final : public MarkupFilter {
public:
    icu::UnicodeString filter(const icu::UnicodeString& text, const MarkupFilterOptions& options) const override;
};

/// A line that starts with a word character and has at least three characters becomes a p.
class NewLinesMarkupFilter final : public MarkupFilter {
public:
    icu::UnicodeString filter(const icu::UnicodeString& text, const MarkupFilterOptions& options) const override;
};

/// A run of lines that each begin with a tab or four blanks becomes one code.block inside a
/// div.code-block: one level of indentation is removed from each line, the lines are joined by
/// "<br/>" and the run's last line feed is consumed.
/// Only lines that begin with the indentation take part, so the paragraphs after a block
/// stay paragraphs.
class CodeMarkupFilter final : public MarkupFilter {
public:
    icu::UnicodeString filter(const icu::UnicodeString& text, const MarkupFilterOptions& options) const override;
};

/// "**text**" becomes strong.
class BoldMarkupFilter final : public MarkupFilter {
public:
    icu::UnicodeString filter(const icu::UnicodeString& text, const MarkupFilterOptions& options) const override;
};

/// "*text*" becomes em.
class EmphasizeMarkupFilter final : public MarkupFilter {
public:
    icu::UnicodeString filter(const icu::UnicodeString& text, const MarkupFilterOptions& options) const override;
};

/// "`text`" becomes code.
class InlineCodeMarkupFilter final : public MarkupFilter {
public:
    icu::UnicodeString filter(const icu::UnicodeString& text, const MarkupFilterOptions& options) const override;
};

} // namespace quillet
