#pragma once

#include "expansion/ExpanderController.h"
#include "library/CustomExpander.h"
#include "library/DictionaryReader.h"
#include "text/UnicodeConversion.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

namespace quillet::test {

/// An expander read from its record, as the library reads it.
inline CustomExpanderPtr makeExpander(const std::string& pattern, const std::string& outputTemplate,
    const std::string& identifier = "", const std::string& description = "", const std::string& name = "Expander",
    const std::vector<std::string>& languages = { "any" })
{
    const nlohmann::json record { { "name", name }, { "pattern", pattern }, { "output_template", outputTemplate },
        { "identifier", identifier }, { "description", description }, { "supported_languages", languages } };
    return std::make_shared<CustomExpander>(JSONDictionary::parse(record.dump()));
}

inline std::shared_ptr<const ExpanderController> controllerOf(const std::vector<CustomExpanderPtr>& expanders)
{
    return std::make_shared<const ExpanderController>(std::vector<ExpanderPtr>(expanders.begin(), expanders.end()));
}

} // namespace quillet::test
