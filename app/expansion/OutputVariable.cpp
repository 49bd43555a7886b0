#include "expansion/OutputVariable.h"

#include "expansion/FilterPattern.h"
#include "expansion/FilterStore.h"
#include "expansion/OutputVariablePattern.h"

namespace quillet {
namespace {

std::vector<const Filter*> resolvedFilters(const icu::UnicodeString& chain)
{
    std::vector<const Filter*> filters;
    if (chain.isEmpty())
        return filters;
    for (const auto& match : FilterPattern::matches(chain)) {
        if (!match.name.isEmpty())
            filters.push_back(&FilterStore::shared().filter(match.name));
    }
    return filters;
}

} // namespace

OutputVariable::OutputVariable(const OutputVariableMatch& match)
    : m_originalExpression(match.match)
    , m_name(match.name)
    , m_filters(resolvedFilters(match.filters.value_or(icu::UnicodeString())))
{
}

OutputVariable::OutputVariable(icu::UnicodeString name, std::vector<const Filter*> filters)
    : m_originalExpression(makeExpression(name, filters))
    , m_name(std::move(name))
    , m_filters(std::move(filters))
{
}

icu::UnicodeString OutputVariable::makeExpression(
    const icu::UnicodeString& name, const std::vector<const Filter*>& filters)
{
    icu::UnicodeString expression(u"${");
    expression.append(name);
    for (const Filter* filter : filters)
        expression.append(u'.').append(filter->id());
    expression.append(u'}');
    return expression;
}

icu::UnicodeString OutputVariable::applyFilters(const icu::UnicodeString& value) const
{
    icu::UnicodeString result(value);
    for (const Filter* filter : m_filters)
        result = filter->apply(result);
    return result;
}

} // namespace quillet
