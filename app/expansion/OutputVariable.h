#pragma once

#include "variables/Variable.h"

#include <unicode/unistr.h>

#include <vector>

namespace quillet {

class Filter;
struct OutputVariableMatch;

/// One placeholder of an output template, ${name.filter1.filter2}: the variable it names and
/// the filters its value passes through, in the written order.
///
/// The filters are the registry's shared instances (FilterStore::shared()), never copies.
class OutputVariable : public Variable {
public:
    /// From a found placeholder; every keyword of its chain is looked up in the registry.
    /// Throws NoFilterError for the first keyword that names no filter.
    explicit OutputVariable(const OutputVariableMatch& match);
    OutputVariable(icu::UnicodeString name, std::vector<const Filter*> filters);

    /// "${" name, "." and the keyword of each filter, "}".
    static icu::UnicodeString makeExpression(const icu::UnicodeString& name, const std::vector<const Filter*>& filters);

    /// The placeholder as written in the template (or as makeExpression wrote it).
    const icu::UnicodeString& originalExpression() const noexcept { return m_originalExpression; }
    icu::UnicodeString name() const override { return m_name; }
    const std::vector<const Filter*>& filters() const noexcept { return m_filters; }
    /// makeExpression of the current name and filters.
    icu::UnicodeString expression() const { return makeExpression(m_name, m_filters); }

    /// The value passed through the filters from left to right; a filter's error stops the chain.
    icu::UnicodeString applyFilters(const icu::UnicodeString& value) const;

private:
    icu::UnicodeString m_originalExpression;
    icu::UnicodeString m_name;
    std::vector<const Filter*> m_filters;
};

} // namespace quillet
