#include "expansion/OutputTemplateValidator.h"

#include "expansion/FilterPattern.h"
#include "expansion/FilterStore.h"
#include "expansion/OutputVariablePattern.h"
#include "expansion/TemplateSubexpressionPattern.h"
#include "text/Localized.h"
#include "text/StringHelpers.h"

namespace quillet {

OutputTemplateValidatorError::OutputTemplateValidatorError(const icu::UnicodeString& description)
    : ExpanderValidationError(
        localized(u"Output template validation error", "Output template validation error title"), description)
{
}

OutputTemplateValidator::OutputTemplateValidator(
    icu::UnicodeString outputTemplate, std::vector<InputVariablePtr> inputVariables)
    : m_template(std::move(outputTemplate))
    , m_inputVariables(std::move(inputVariables))
{
}

void OutputTemplateValidator::validate() const
{
    validateVariables();
}

void OutputTemplateValidator::validateVariables() const
{
    for (const auto& subexpression : TemplateSubexpressionPattern::matches(m_template)) {
        for (const auto& placeholder : OutputVariablePattern::matches(subexpression.match)) {
            bool declared = false;
            for (const auto& variable : m_inputVariables) {
                if (textEquals(variable->name(), placeholder.name)) {
                    declared = true;
                    break;
                }
            }
            if (!declared)
                throw OutputTemplateValidatorError(
                    localized(u"Variable \"" + placeholder.name + u"\" does not exist", ""));
            if (placeholder.filters) {
                for (const auto& filter : FilterPattern::matches(*placeholder.filters))
                    FilterStore::shared().filter(filter.name);
            }
        }
    }
}

icu::UnicodeString DescribedError::localizedDescription() const
{
    const auto found = userInfo.find(localizedDescriptionKey);
    return found == userInfo.end() ? icu::UnicodeString() : found->second;
}

DescribedError makeNSError(const icu::UnicodeString& description)
{
    return DescribedError { .domain = applicationErrorDomain,
        .code = 1,
        .userInfo = { { DescribedError::localizedDescriptionKey, description } } };
}

} // namespace quillet
