#pragma once

#include "docs/ExampleMarkupFilter.h"
#include "docs/MarkupFilter.h"

#include <memory>
#include <vector>

namespace quillet {

/// Turns a description written in the documentation markup into an HTML fragment.
///
/// The markup: a backslash followed by "n" is a line break; "> text" lines are live examples;
/// "[twitter] @name" links a handle; "* item" lines make a bullet list; a line starting with a
/// word character is a paragraph; lines indented by a tab or four blanks are a code block;
/// **bold**, *emphasis* and `inline code`.
///
/// Example lines are cut out before the other filters run and are rendered by the example
/// filter alone, so "> int *a, *b" is expanded as typed. Code (blocks and backtick spans) is
/// kept out of the bold and emphasis rewrites, so asterisks in code stay asterisks. Every
/// text of the description is escaped.
///
/// Stateless apart from its fixed filters; build one per page, on any thread (see
/// MarkupFilterOptions::library for the thread the examples may read the library on).
class MarkupHTMLGenerator {
public:
    /// The filters in order: escape, twitter, list, paragraphs, code blocks, bold, emphasis,
    /// inline code, examples.
    MarkupHTMLGenerator();

    icu::UnicodeString generate(const icu::UnicodeString& markup, const MarkupFilterOptions& options) const;

    const std::vector<std::unique_ptr<MarkupFilter>>& filters() const noexcept { return m_filters; }

private:
    icu::UnicodeString generateBlock(const icu::UnicodeString& block, const MarkupFilterOptions& options) const;

    std::vector<std::unique_ptr<MarkupFilter>> m_filters;
};

} // namespace quillet
