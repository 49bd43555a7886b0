#include "docs/ExampleMarkupFilter.h"

#include "expansion/ExpanderController.h"
#include "library/App.h"
#include "text/RegexCache.h"
#include "text/StringHelpers.h"
#include "text/StringMatching.h"

#include <algorithm>
#include <exception>

namespace quillet {

icu::UnicodeString ExampleMarkupFilter::filter(const icu::UnicodeString& text, const MarkupFilterOptions& options) const
{
    try {
        return replacingMatches(text, u"^>\\ ([^\\n]+)", [&](const CaptureGroups& groups) {
            const icu::UnicodeString example = captureGroup(groups, 1).value_or(icu::UnicodeString());
            return renderExample(example, expandExample(example, options)).html();
        });
    } catch (const RegexError&) {
        return escapeHTMLText(text);
    }
}

ExpandedExpression ExampleMarkupFilter::expandExample(
    const icu::UnicodeString& example, const MarkupFilterOptions& options)
{
    try {
        const auto library = options.library ? options.library : openLibraryExpanders();
        if (auto result = library->findExpander(example, options.expander))
            return *result;
    } catch (const std::exception&) {
        // A documentation page shows what the expanders make of an example; a failing
        // expansion simply shows nothing.
    }
    return ExpandedExpression {};
}

Tag ExampleMarkupFilter::renderExample(const icu::UnicodeString& example, const ExpandedExpression& outcome)
{
    // The text is cut at the caret rather than marked with a character, so that an output
    // holding that character cannot grow a second caret.
    const int32_t caret = std::clamp(outcome.cursorCodeUnitOffset(), 0, outcome.text.length());
    const Tag cursor(TagName::span, icu::UnicodeString(u"cursor"), std::nullopt, {}, { u"_" });
    const Tag expanding(TagName::code, icu::UnicodeString(u"expanding"), std::nullopt, {}, { escapeHTMLText(example) });
    const Tag expanded(TagName::code, icu::UnicodeString(u"expanded"), std::nullopt, {},
        { escapeHTMLText(icu::UnicodeString(outcome.text, 0, caret)), cursor,
            escapeHTMLText(icu::UnicodeString(outcome.text, caret)) });
    return Tag(TagName::div, icu::UnicodeString(u"example"), std::nullopt, {}, { expanding, expanded });
}

} // namespace quillet
