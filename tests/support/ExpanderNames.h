#pragma once

#include "library/CustomExpander.h"
#include "text/UnicodeConversion.h"

#include <string>
#include <vector>

namespace quillet::test {

/// The expanders' names in order, readable in a failure message.
inline std::vector<std::string> names(const std::vector<CustomExpanderPtr>& expanders)
{
    std::vector<std::string> result;
    for (const auto& expander : expanders)
        result.push_back(toUtf8(expander->name()));
    return result;
}

} // namespace quillet::test
