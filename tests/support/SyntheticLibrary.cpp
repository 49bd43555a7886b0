#include "SyntheticLibrary.h"

#include "library/App.h"

#include <fstream>
#include <stdexcept>
#include <string>

namespace quillet::test {

namespace {

std::string expanderNumber(int bundle, int expander)
{
    return std::to_string(bundle) + "_" + std::to_string(expander);
}

bool isEnabled(int expander)
{
    return expander % 7 != 0;
}

} // namespace

nlohmann::json syntheticLibrary(int bundleCount, int expandersPerBundle)
{
    using nlohmann::json;
    json bundles = json::array();
    for (int b = 0; b < bundleCount; ++b) {
        json expanders = json::array();
        for (int e = 0; e < expandersPerBundle; ++e) {
            const std::string n = expanderNumber(b, e);
            std::string pattern = "for" + n + " ${collection:word} |as ${item:word=element}|";
            std::string outputTemplate = "for ${item} in ${collection} {\n\t#\n}";
            int embedded = e - 1;
            while (embedded >= 0 && !isEnabled(embedded))
                --embedded;
            if (e % 10 == 9 && embedded >= 0) {
                pattern = "each" + n + " ${loop:exp(loop" + expanderNumber(b, embedded) + ")}";
                outputTemplate = "${loop}";
            }
            expanders.push_back(json {
                { "name", "Expander " + n },
                { "description", "Writes a loop over a collection.\n\nExample: `for items item`" },
                { "identifier", "loop" + n },
                { "pattern", pattern },
                { "output_template", outputTemplate },
                { "supported_languages", json::array({ "swift", "objc", "unknown-id" }) },
                { "is_enabled", isEnabled(e) },
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

nlohmann::json defaultLibrary()
{
    nlohmann::json bundles = nlohmann::json::array();
    for (const auto& name : App::defaultBundleNames()) {
        std::ifstream file(std::string(QUILLET_RESOURCES_DIR) + "/bundles/" + name + ".qlbundle");
        if (!file)
            throw std::runtime_error("no default bundle " + name);
        bundles.push_back(nlohmann::json::parse(file));
    }
    return nlohmann::json { { "bundles", std::move(bundles) } };
}

nlohmann::json joinedLibraries(const nlohmann::json& first, const nlohmann::json& second)
{
    nlohmann::json bundles = first.at("bundles");
    for (const auto& bundle : second.at("bundles"))
        bundles.push_back(bundle);
    return nlohmann::json { { "bundles", std::move(bundles) } };
}

} // namespace quillet::test
