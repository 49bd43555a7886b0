#include "variables/PatternValidator.h"

#include "text/Localized.h"
#include "text/PatternErrors.h"
#include "text/StringHelpers.h"
#include "variables/VariableFactory.h"
#include "variables/VariablePattern.h"

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

namespace quillet {

PatternValidator::PatternValidator(
    icu::UnicodeString pattern, const Expander* parentExpander, const ExpanderLookup& expanderController)
    : m_pattern(std::move(pattern))
    , m_parentExpander(parentExpander)
    , m_expanderController(&expanderController)
{
}

void PatternValidator::validate() const
{
    validateSingleLine();
    validateVariableNames();
}

void PatternValidator::validateSingleLine() const
{
    if (m_pattern.indexOf(u'\n') >= 0)
        throw PatternParsingError(
            localized(u"Pattern must be a one\u2013line expression.", "Pattern cannot have any new lines."));
}

void PatternValidator::validateVariableNames() const
{
    const auto declarations = VariablePattern::matches(m_pattern);
    VariableFactory factory;
    for (const auto& declaration : declarations)
        factory.makeVariable(declaration, m_parentExpander, *m_expanderController);

    // Counted by canonical form, each name normalised once: an imported pattern may declare
    // thousands of variables.
    std::vector<std::u16string> names;
    names.reserve(declarations.size());
    std::unordered_map<std::u16string, int> counts;
    for (const auto& declaration : declarations) {
        const icu::UnicodeString canonical = canonicalForm(declaration.name);
        names.emplace_back(canonical.getBuffer(), static_cast<std::size_t>(canonical.length()));
        ++counts[names.back()];
    }
    for (std::size_t i = 0; i < declarations.size(); ++i) {
        const auto& declaration = declarations[i];
        const int count = counts[names[i]];
        if (count > 1) {
            icu::UnicodeString message = u"\"" + declaration.name + u"\" variable name is declared ";
            message += icu::UnicodeString::fromUTF8(std::to_string(count));
            message += u" times.";
            throw PatternValidationError(localized(message, "Double variables message"));
        }
    }
}

} // namespace quillet
