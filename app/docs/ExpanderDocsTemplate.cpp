#include "docs/ExpanderDocsTemplate.h"

#include "docs/HTMLGenerators.h"
#include "docs/MarkupHTMLGenerator.h"
#include "expansion/ExpanderController.h"
#include "library/App.h"
#include "text/ErrorTagBuilder.h"
#include "text/StringHelpers.h"

#include <exception>
#include <functional>

namespace quillet {

namespace {

// A part that cannot be built shows the error box in its place; the page is still made.
icu::UnicodeString orErrorBox(const std::function<icu::UnicodeString()>& generate)
{
    try {
        return generate();
    } catch (const UserErrorDescriptionType& error) {
        return ErrorTagBuilder().build(error).html();
    } catch (const std::exception&) {
        return ErrorTagBuilder().build(UnknownError()).html();
    }
}

} // namespace

ExpanderDocsTemplate::ExpanderDocsTemplate(const ResourceLocator& resources)
    : DocumentationTemplate(resources, "expander-docs")
{
}

icu::UnicodeString ExpanderDocsTemplate::render(
    const CustomExpanderPtr& expander, const std::shared_ptr<const ExpanderController>& library) const
{
    // Examples and embedded patterns read the same expanders.
    const auto expanders = library ? library : openLibraryExpanders();
    const ExpanderController& controller = *expanders;
    TemplateCompiler::Values values;
    values[u"name"] = escapeHTMLText(expander->name());
    values[u"identifier"] = identifierHTML(*expander);
    values[u"description"] = MarkupHTMLGenerator().generate(
        expander->expanderDescription(), MarkupFilterOptions { .expander = expander, .library = expanders });
    values[u"syntax"] = orErrorBox([&] { return SyntaxHTMLGenerator().generate(*expander, controller); });
    values[u"variables"] = orErrorBox([&] { return VariablesHTMLGenerator().generate(*expander, controller); });
    values[u"languages"] = LanguagesHTMLGenerator().generate(*expander);
    return compiler().compile(values);
}

icu::UnicodeString ExpanderDocsTemplate::identifierHTML(const CustomExpander& expander)
{
    if (!hasIdentifier(expander))
        return {};
    const icu::UnicodeString identifier = escapeHTMLCharacters(expander.identifier());
    const icu::UnicodeString declaration = escapeHTMLCharacters(u"exp(" + expander.identifier() + u")");
    const Tag info(TagName::div, icu::UnicodeString(u"expander-identifier-info"), std::nullopt, {},
        { u"Expander may be used within other expanders using <code>" + declaration + u"</code> variable." });
    return Tag(TagName::div, icu::UnicodeString(u"expander-identifier"), std::nullopt, {},
        { u"Identifier: <code>" + identifier + u"</code>.", info })
        .html();
}

} // namespace quillet
