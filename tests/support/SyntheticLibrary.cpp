#include "SyntheticLibrary.h"

#include <string>

namespace quillet::test {

nlohmann::json syntheticLibrary(int bundleCount, int expandersPerBundle)
{
    using nlohmann::json;
    json bundles = json::array();
    for (int b = 0; b < bundleCount; ++b) {
        json expanders = json::array();
        for (int e = 0; e < expandersPerBundle; ++e) {
            const std::string n = std::to_string(b) + "_" + std::to_string(e);
            expanders.push_back(json {
                { "name", "Expander " + n },
                { "description", "Writes a loop over a collection.\n\nExample: `for items item`" },
                { "identifier", "loop" + n },
                { "pattern", "for" + n + " ${collection:word} |as ${item:word=element}|" },
                { "output_template", "for ${item} in ${collection} {\n\t#\n}" },
                { "supported_languages", json::array({ "swift", "objc", "unknown-id" }) },
                { "is_enabled", e % 7 != 0 },
            });
        }
        bundles.push_back(json {
            { "name", "Bundle " + std::to_string(b) },
            { "description", "Bundle description" },
            { "is_enabled", true },
            { "supported_languages", json::array({ "swift" }) },
            { "expanders", std::move(expanders) },
        });
    }
    return json { { "bundles", std::move(bundles) } };
}

} // namespace quillet::test
