#pragma once

#include "docs/MarkupFilter.h"
#include "expansion/ExpandedExpression.h"
#include "text/Tag.h"

namespace quillet {

/// Live examples: a line "> abbreviation" is shown beside what the expanders make of it now,
/// with the caret marked:
/// <div class="example"><code class="expanding">T</code><code class="expanded">O<span
/// class="cursor">_</span></code></div> (a view that cannot show a code element as a block breaks the line between the
/// two itself).
///
/// Both texts are shown literally ("&", "<" and ">" escaped): they are code, not markup. The
/// expansion runs through the real engine (ExpanderController::findExpander) over
/// options.library; each block of a page is rendered on the thread that builds the page.
class ExampleMarkupFilter final : public MarkupFilter {
public:
    /// Replaces every example line of text (see isExampleLine) by its box; the line feed
    /// after a line stays.
    icu::UnicodeString filter(const icu::UnicodeString& text, const MarkupFilterOptions& options) const override;

    /// What the expanders make of the example: with options.expander only that expander is
    /// tried, else the best match among the library's. Errors and no match both give an empty
    /// text with the caret at 0; nothing is reported.
    static ExpandedExpression expandExample(const icu::UnicodeString& example, const MarkupFilterOptions& options);
    /// The box of one example and its outcome. A caret beyond the text is put at its end.
    static Tag renderExample(const icu::UnicodeString& example, const ExpandedExpression& outcome);
};

} // namespace quillet
