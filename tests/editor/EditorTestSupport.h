#pragma once

#include "library/App.h"
#include "library/LibraryFakes.h"
#include "support/TestSupport.h"
#include "text/UnicodeConversion.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quillet::test {

/// A library {bundle name: [expander names]} as a library file object.
inline nlohmann::json libraryObject(const std::vector<std::pair<std::string, std::vector<std::string>>>& bundles)
{
    nlohmann::json array = nlohmann::json::array();
    for (const auto& [bundleName, expanderNames] : bundles) {
        nlohmann::json expanders = nlohmann::json::array();
        for (const auto& name : expanderNames) {
            expanders.push_back(
                { { "name", name }, { "description", "" }, { "identifier", "" }, { "pattern", name + " ${x:word}" },
                    { "output_template", "<${x}>" }, { "is_enabled", true }, { "supported_languages", { "any" } } });
        }
        array.push_back({ { "name", bundleName }, { "description", "About " + bundleName }, { "is_enabled", true },
            { "supported_languages", { "any" } }, { "expanders", expanders } });
    }
    return { { "bundles", array } };
}

/// The shape of a library, bundle names with their expander names, in order.
using LibraryShape = std::vector<std::pair<std::string, std::vector<std::string>>>;

inline LibraryShape shapeOf(const nlohmann::json& library)
{
    LibraryShape shape;
    for (const auto& bundle : library.at("bundles")) {
        std::vector<std::string> names;
        for (const auto& expander : bundle.at("expanders"))
            names.push_back(expander.at("name").get<std::string>());
        shape.emplace_back(bundle.at("name").get<std::string>(), names);
    }
    return shape;
}

/// A real library holder over a file in a fresh folder, with recording alerts; counts the
/// saves (each change the store reports is one save of the file).
class LibraryFixture : public ::testing::Test {
protected:
    void SetUp() override { load(libraryObject({ { "A", { "a1", "a2", "a3" } }, { "B", { "b1" } }, { "C", {} } })); }

    void load(const nlohmann::json& library)
    {
        // The library loaded before ends first: its end merges what it wrote into whatever
        // stands in the file then, as a quit does.
        if (app) {
            store().removeDelegate(saves.get());
            app.reset();
        }
        writeFile(libraryFile(), library.dump(2));
        recording = std::make_unique<RecordingEnvironment>(libraryFile(), dir.path() / "resources");
        app = std::make_unique<App>(recording->environment);
        ASSERT_TRUE(app->isLoaded());
        saves = std::make_unique<RecordingStoreDelegate>();
        store().addDelegate(saves.get());
    }

    void TearDown() override
    {
        if (app)
            store().removeDelegate(saves.get());
    }

    std::filesystem::path libraryFile() const { return dir.path() / "bundles.qlbundles"; }
    BundleStore& store() { return app->bundleStore(); }
    nlohmann::json savedLibrary() const { return nlohmann::json::parse(readFile(libraryFile())); }
    LibraryShape savedShape() const { return shapeOf(savedLibrary()); }
    LibraryShape storeShape() { return shapeOf(nlohmann::json::parse(store().dictionary().dump())); }
    std::size_t saveCount() const
    {
        return static_cast<std::size_t>(std::count(saves->events.begin(), saves->events.end(), "change"));
    }
    BundlePtr bundle(int index) { return store().bundles().at(static_cast<std::size_t>(index)); }
    CustomExpanderPtr expander(int bundleIndex, int index)
    {
        return bundle(bundleIndex)->expanders().at(static_cast<std::size_t>(index));
    }

    TempDir dir;
    std::unique_ptr<RecordingEnvironment> recording;
    std::unique_ptr<App> app;
    std::unique_ptr<RecordingStoreDelegate> saves;
};

} // namespace quillet::test
