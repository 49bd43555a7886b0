#include "library/Paths.h"
#include "library/ResourceLocator.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>

namespace quillet {
namespace {

Paths::Environment environment(std::map<std::string, std::string> variables)
{
    return [variables](const char* name) -> std::optional<std::string> {
        auto found = variables.find(name);
        if (found == variables.end())
            return std::nullopt;
        return found->second;
    };
}

TEST(Paths, FoldersFollowTheirXdgVariableAndDefaultUnderHome)
{
    using Folder = std::optional<std::filesystem::path> (*)(const Paths::Environment&);
    const Folder data = &Paths::applicationSupportPath;
    const Folder cache = &Paths::cachePath;
    struct Case {
        const char* name;
        Folder folder;
        std::map<std::string, std::string> variables;
        std::filesystem::path expected;
    };
    const Case cases[] = {
        { "XDG_DATA_HOME set", data, { { "XDG_DATA_HOME", "/data" }, { "HOME", "/home/u" } },
            "/data/com.orvanta.Quillet" },
        { "XDG_DATA_HOME unset", data, { { "HOME", "/home/u" } }, "/home/u/.local/share/com.orvanta.Quillet" },
        { "XDG_DATA_HOME empty", data, { { "XDG_DATA_HOME", "" }, { "HOME", "/home/u" } },
            "/home/u/.local/share/com.orvanta.Quillet" },
        { "XDG_DATA_HOME relative", data, { { "XDG_DATA_HOME", "data" }, { "HOME", "/home/u" } },
            "/home/u/.local/share/com.orvanta.Quillet" },
        { "XDG_CACHE_HOME set", cache, { { "XDG_CACHE_HOME", "/c" }, { "XDG_DATA_HOME", "/d" }, { "HOME", "/home/u" } },
            "/c/com.orvanta.Quillet" },
        { "XDG_CACHE_HOME unset", cache, { { "XDG_DATA_HOME", "/d" }, { "HOME", "/home/u" } },
            "/home/u/.cache/com.orvanta.Quillet" },
        { "XDG_CACHE_HOME relative", cache, { { "XDG_CACHE_HOME", "c" }, { "HOME", "/home/u" } },
            "/home/u/.cache/com.orvanta.Quillet" },
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(testCase.folder(environment(testCase.variables)), testCase.expected);
    }
}

TEST(Paths, ARelativeHomeGivesWayToTheUserDatabase)
{
    const auto fromDatabase = Paths::applicationSupportPath(environment({}));
    ASSERT_TRUE(fromDatabase.has_value());
    ASSERT_TRUE(fromDatabase->is_absolute());
    for (const char* home : { "home/u", ".", "" }) {
        SCOPED_TRACE(home);
        EXPECT_EQ(Paths::applicationSupportPath(environment({ { "HOME", home } })), fromDatabase);
    }
}

TEST(Paths, LibraryFileIsBundlesQlbundlesInTheDataFolder)
{
    ASSERT_TRUE(Paths::applicationSupportPath().has_value());
    EXPECT_EQ(Paths::bundlesFilePath(), *Paths::applicationSupportPath() / "bundles.qlbundles");
    EXPECT_EQ(Paths::applicationSupportPath()->filename(), "com.orvanta.Quillet");
}

TEST(DirectoryResourceLocator, FindsBundleFilesInTheirFolderAndOtherResourcesAtTheRoot)
{
    test::TempDir dir;
    std::filesystem::create_directory(dir.path() / "bundles");
    test::writeFile(dir.path() / "bundles" / "PHP.qlbundle", "{}");
    test::writeFile(dir.path() / "docs.css", "");
    DirectoryResourceLocator locator(dir.path());

    EXPECT_EQ(locator.pathForResource("PHP", "qlbundle"), dir.path() / "bundles" / "PHP.qlbundle");
    EXPECT_EQ(locator.pathForResource("docs", "css"), dir.path() / "docs.css");
    EXPECT_EQ(locator.pathForResource("HTML", "qlbundle"), std::nullopt);
    EXPECT_EQ(locator.pathForResource("../bundles/PHP", "qlbundle"), std::nullopt);
    EXPECT_EQ(locator.pathForResource("bundles", ""), std::nullopt); // a folder is no resource
}

} // namespace
} // namespace quillet
