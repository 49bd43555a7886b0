#include "variables/Variable.h"

#include "text/Localized.h"
#include "text/StringHelpers.h"
#include "text/Tag.h"
#include "variables/VariableErrors.h"

namespace quillet {

void Variable::validate() const
{
    VariableNameValidator(*this).validate();
    for (const auto& rule : validators())
        rule->validate();
}

VariableNameValidator::VariableNameValidator(const Variable& variable)
    : m_name(variable.name())
{
}

void VariableNameValidator::validate() const
{
    if (m_name.isEmpty())
        throw VariableValidationError(u"Name cannot be empty");
    // A whole-text match: "^\w+$" alone would let a trailing line feed through.
    if (!matchesWholeText(m_name, u"^\\w+$"))
        throw VariableValidationError(u"Name may consists of letters, numbers and _ character.");
}

GeneratedOutput InputVariable::generatedValue(const icu::UnicodeString& text) const
{
    GeneratedOutput output;
    output.appendValue(value(text));
    return output;
}

std::vector<InputVariablePtr> InputVariable::patternElements() const
{
    return { shared_from_this() };
}

icu::UnicodeString InputVariable::declaration() const
{
    // Appended in one string: every parse of a pattern asks each variable for it.
    icu::UnicodeString result(u"${");
    result.append(name()).append(u':').append(string()).append(u'}');
    return result;
}

icu::UnicodeString InputVariable::documentationHTML() const
{
    return escapeHTMLCharacters(type());
}

icu::UnicodeString VariableWithDefaultValue::declaration() const
{
    if (!m_defaultValue)
        return InputVariable::declaration();
    icu::UnicodeString result(u"${");
    result.append(name()).append(u':').append(string()).append(u'=').append(*m_defaultValue).append(u'}');
    return result;
}

icu::UnicodeString VariableWithDefaultValue::wrappedRegex(const icu::UnicodeString& fragment) const
{
    return m_defaultValue ? u"(" + fragment + u")?" : u"(" + fragment + u")";
}

icu::UnicodeString VariableWithDefaultValue::defaultValueHTML() const
{
    if (!m_defaultValue)
        return {};
    Tag value(TagName::div, u"value", std::nullopt, {}, { escapeHTMLText(*m_defaultValue) });
    Tag box(TagName::div, u"defaultValue", std::nullopt, {},
        { localized(u"Default", "Default value label in docs"), std::move(value) });
    return box.html();
}

} // namespace quillet
