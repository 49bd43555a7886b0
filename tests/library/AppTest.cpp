#include "library/App.h"
#include "LibraryFakes.h"
#include "library/SaveScheduler.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

namespace quillet {
namespace {

using test::readFile;
using test::RecordingEnvironment;
using test::TempDir;
using test::writeFile;
using Events = std::vector<std::string>;

class AppTest : public ::testing::Test {
protected:
    AppTest()
        : libraryFile(dir.path() / "data" / "com.orvanta.Quillet" / "bundles.qlbundles")
        , resources(dir.path() / "resources")
        , recording(libraryFile, resources)
    {
        std::filesystem::create_directories(resources / "bundles");
    }

    void addResource(const std::string& name, const std::string& content = {})
    {
        writeFile(resources / "bundles" / (name + ".qlbundle"),
            content.empty() ? R"({"name": ")" + name + R"(", "expanders": []})" : content);
    }

    std::vector<std::string> storedBundleNames() const
    {
        std::vector<std::string> names;
        const auto library = JSONDictionary::parse(readFile(libraryFile));
        for (const auto& bundle : library["bundles"])
            names.push_back(bundle["name"].get<std::string>());
        return names;
    }

    TempDir dir;
    std::filesystem::path libraryFile;
    std::filesystem::path resources;
    RecordingEnvironment recording;
};

TEST_F(AppTest, FirstRunInstallsTheTenDefaultBundlesSilentlyInOrder)
{
    // Written in reverse so that the order can only come from the list of names.
    const auto& names = App::defaultBundleNames();
    ASSERT_EQ(names.size(), 10u);
    EXPECT_EQ(names.front(), "Swift Basic");
    EXPECT_EQ(names.back(), "EXAMPLES");
    for (auto name = names.rbegin(); name != names.rend(); ++name)
        addResource(*name);

    App app(recording.environment);
    EXPECT_TRUE(app.isLoaded());
    EXPECT_EQ(storedBundleNames(), names);
    EXPECT_EQ(app.bundleStore().bundles().size(), 10u);
    EXPECT_TRUE(recording.notifications->scheduledBundleNames.empty());
    EXPECT_TRUE(recording.userInterface->calls.empty());
}

TEST_F(AppTest, FirstRunFromTheShippedResourcesInstallsTheTenDefaultBundles)
{
    recording.environment.resources
        = std::make_shared<DirectoryResourceLocator>(DirectoryResourceLocator::defaultRoot());
    App app(recording.environment);
    EXPECT_TRUE(recording.userInterface->alerts.empty()) << toUtf8(recording.userInterface->alerts[0].informativeText);
    std::vector<std::string> installed;
    for (const auto& bundle : app.bundleStore().bundles())
        installed.push_back(toUtf8(bundle->name()));
    EXPECT_EQ(installed, App::defaultBundleNames());
    EXPECT_EQ(storedBundleNames(), App::defaultBundleNames());
}

TEST_F(AppTest, FirstRunSkipsMissingResourcesAndGoesOnAfterAFailingOne)
{
    addResource("PHP");
    addResource("HTML", "[]");
    addResource("EXAMPLES");
    App app(recording.environment);
    EXPECT_EQ(storedBundleNames(), (std::vector<std::string> { "PHP", "EXAMPLES" }));
    ASSERT_EQ(recording.userInterface->alerts.size(), 1u); // the import's own alert
    EXPECT_NE(
        recording.userInterface->alerts[0].informativeText.indexOf(u"HTML.qlbundle\u201D: Error during file decoding"),
        -1);
}

TEST_F(AppTest, FirstRunWithoutResourcesSaysSoAndWritesNothingUntilTheFirstChange)
{
    App app(recording.environment);
    EXPECT_TRUE(app.bundleStore().bundles().empty());
    EXPECT_FALSE(std::filesystem::exists(libraryFile));
    ASSERT_EQ(recording.notifications->delivered.size(), 1u);
    EXPECT_EQ(recording.notifications->delivered[0].title, u16(u"Default bundles not found"));
    EXPECT_NE(recording.notifications->delivered[0].description.indexOf(fromUtf8(resources.string())), -1);

    app.bundleStore().setBundles({ std::make_shared<Bundle>() });
    EXPECT_EQ(storedBundleNames(), std::vector<std::string> { "New Bundle" });
}

TEST_F(AppTest, ALibraryThatAnotherRunSavesDuringTheFirstRunIsReadNotReplaced)
{
    // Plays the other run: its library appears while this one looks up the default bundles.
    struct AppearingLibrary final : ResourceLocator {
        AppearingLibrary(std::filesystem::path file, std::filesystem::path folder)
            : libraryFile(std::move(file))
            , resources(std::move(folder))
        {
        }
        std::optional<std::filesystem::path> pathForResource(
            const std::string& name, const std::string& type) const override
        {
            if (!std::filesystem::exists(libraryFile)) {
                std::filesystem::create_directories(libraryFile.parent_path());
                writeFile(libraryFile, R"({"bundles": [{"name": "Theirs", "expanders": []}]})");
            }
            return resources.pathForResource(name, type);
        }
        std::filesystem::path libraryFile;
        DirectoryResourceLocator resources;
    };
    for (const auto& name : App::defaultBundleNames())
        addResource(name);
    recording.environment.resources = std::make_shared<AppearingLibrary>(libraryFile, resources);

    App app(recording.environment);
    EXPECT_TRUE(app.isLoaded());
    EXPECT_EQ(storedBundleNames(), std::vector<std::string> { "Theirs" });
    ASSERT_EQ(app.bundleStore().bundles().size(), 1u);
    EXPECT_EQ(app.bundleStore().bundles()[0]->name(), u16(u"Theirs"));

    app.bundleStore().bundles()[0]->setName(u"Edited"); // and this run saves to it
    EXPECT_EQ(storedBundleNames(), std::vector<std::string> { "Edited" });
}

TEST_F(AppTest, ExistingEmptyLibraryInstallsNothingAndLoadingWritesNothing)
{
    addResource("PHP");
    std::filesystem::create_directories(libraryFile.parent_path());
    const std::string content = R"({"bundles": []})";
    writeFile(libraryFile, content);

    App app(recording.environment);
    EXPECT_TRUE(app.bundleStore().bundles().empty());
    EXPECT_EQ(readFile(libraryFile), content);
}

TEST_F(AppTest, EveryChangeBelowTheStoreSavesTheLibrary)
{
    addResource("PHP", R"({"name": "PHP", "expanders": [{"name": "echo", "pattern": "e", "output_template": "echo",
        "supported_languages": ["php"]}]})");
    App app(recording.environment);
    app.bundleStore().bundles()[0]->expanders()[0]->setOutputTemplate(u"print");
    EXPECT_EQ(JSONDictionary::parse(readFile(libraryFile))["bundles"][0]["expanders"][0]["output_template"], "print");
}

TEST_F(AppTest, LoadFailureShowsTheErrorTerminatesAndNeverTouchesTheFile)
{
    struct Case {
        const char* name;
        std::string content;
        const char16_t* title;
        const char16_t* description; // null: only the title is checked
    };
    const Case cases[] = {
        { "top-level array", "[]", u"JSON reading error", u"Parsing file has an invalid format." },
        { "not JSON", "{", u"Error", nullptr },
        { "bundles not a list", R"({"bundles": 3})", u"JSON reading error",
            u"The library's \"bundles\" is not a list of bundles." },
        { "one bundle unreadable", R"({"bundles": [{"name": "Ok", "expanders": []}, {"name": "Bad"}]})",
            u"JSON reading error",
            u"Bundle 2 (\u201CBad\u201D) of the library could not be read: \u201Cexpanders\u201D is missing." },
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        addResource("PHP");
        std::filesystem::create_directories(libraryFile.parent_path());
        writeFile(libraryFile, testCase.content);
        RecordingEnvironment fresh(libraryFile, resources);

        App app(fresh.environment);
        EXPECT_FALSE(app.isLoaded());
        ASSERT_EQ(fresh.userInterface->alerts.size(), 1u);
        EXPECT_EQ(fresh.userInterface->alerts[0].messageText, u16(testCase.title));
        if (testCase.description) {
            EXPECT_EQ(fresh.userInterface->alerts[0].informativeText, u16(testCase.description));
        }
        EXPECT_EQ(fresh.userInterface->calls,
            (Events { "activate ignoring other apps", "alert", "deactivate", "terminate" }));
        ASSERT_TRUE(app.loadError().has_value());
        EXPECT_EQ(app.loadError()->userErrorTitle(), u16(testCase.title));

        // Nothing done afterwards reaches the file.
        app.bundleStore().setBundles({ std::make_shared<Bundle>() });
        app.save();
        EXPECT_EQ(readFile(libraryFile), testCase.content);
    }
}

TEST_F(AppTest, UnreadableLibraryFileShowsItsPath)
{
    std::filesystem::create_directories(libraryFile); // a folder where the file should be
    App app(recording.environment);
    ASSERT_EQ(recording.userInterface->alerts.size(), 1u);
    EXPECT_EQ(recording.userInterface->alerts[0].messageText, u16(u"File could not be read"));
    EXPECT_EQ(recording.userInterface->alerts[0].informativeText, fromUtf8(libraryFile.string()));
    EXPECT_TRUE(std::filesystem::is_directory(libraryFile));
}

TEST_F(AppTest, SaveFailureNotifiesOncePerSaveWithTheFileAndKeepsRunning)
{
    App app(recording.environment);
    recording.notifications->delivered.clear(); // "Default bundles not found"
    // The data folder cannot be created: a plain file stands in its way.
    std::filesystem::create_directories(libraryFile.parent_path().parent_path());
    writeFile(libraryFile.parent_path(), "in the way");

    app.bundleStore().setBundles({ std::make_shared<Bundle>() });
    app.bundleStore().bundles()[0]->setName(u"again");
    ASSERT_EQ(recording.notifications->delivered.size(), 2u);
    EXPECT_EQ(recording.notifications->delivered[0].title, u16(u"File could not be saved"));
    EXPECT_EQ(recording.notifications->delivered[0].description, fromUtf8(libraryFile.string()));
    EXPECT_EQ(app.bundleStore().bundles()[0]->name(), u16(u"again"));
    EXPECT_TRUE(recording.userInterface->calls.empty());

    std::filesystem::remove(libraryFile.parent_path());
    app.bundleStore().bundles()[0]->setName(u"saved");
    EXPECT_EQ(storedBundleNames(), std::vector<std::string> { "saved" });
}

TEST_F(AppTest, ImportWithNotificationSchedulesOneNamingTheBundle)
{
    App app(recording.environment);
    writeFile(dir.path() / "mine.qlbundle", R"({"name": "Mine", "expanders": []})");
    app.bundleStore().importBundle(dir.path() / "mine.qlbundle", false);
    EXPECT_EQ(recording.notifications->scheduledBundleNames, std::vector<icu::UnicodeString> { u"Mine" });
    EXPECT_EQ(storedBundleNames(), std::vector<std::string> { "Mine" });
}

TEST_F(AppTest, AnImportWhoseSaveFailedIsNotAnnounced)
{
    App app(recording.environment);
    std::filesystem::create_directories(libraryFile.parent_path().parent_path());
    writeFile(libraryFile.parent_path(), "in the way");
    writeFile(dir.path() / "mine.qlbundle", R"({"name": "Mine", "expanders": []})");
    app.bundleStore().importBundle(dir.path() / "mine.qlbundle", false);
    EXPECT_TRUE(recording.notifications->scheduledBundleNames.empty());
    EXPECT_EQ(recording.notifications->delivered.back().title, u16(u"File could not be saved"));
}

/// Runs the scheduled save only when the test says so.
struct ManualSaveScheduler final : SaveScheduler {
    void schedule(std::function<void()> save) override
    {
        scheduled = std::move(save);
        ++requests;
    }
    void cancel() override { scheduled = nullptr; }
    void run()
    {
        auto save = std::move(scheduled);
        scheduled = nullptr;
        if (save)
            save();
    }
    std::function<void()> scheduled;
    int requests = 0;
};

TEST_F(AppTest, ChangesInABurstAreWrittenOnceWhenTheDelayEndsOrWhenAskedOrAtTheEnd)
{
    std::filesystem::create_directories(libraryFile.parent_path());
    writeFile(libraryFile, R"({"bundles": [{"name": "A", "expanders": []}]})");
    auto scheduler = std::make_shared<ManualSaveScheduler>();
    recording.environment.saveScheduler = scheduler;
    auto bundleNamed = [](App& app) -> Bundle& { return *app.bundleStore().bundles()[0]; };
    {
        App app(recording.environment);
        for (const char16_t* name : { u"t", u"ty", u"typ" })
            bundleNamed(app).setName(name);
        EXPECT_EQ(scheduler->requests, 1);
        EXPECT_EQ(storedBundleNames(), std::vector<std::string> { "A" });
        scheduler->run();
        EXPECT_EQ(storedBundleNames(), std::vector<std::string> { "typ" });

        bundleNamed(app).setName(u"typed");
        app.bundleStore().saveChangesNow(); // the editor's selection moved on
        EXPECT_EQ(storedBundleNames(), std::vector<std::string> { "typed" });
        EXPECT_FALSE(app.hasPendingSave());

        bundleNamed(app).setName(u"last");
    }
    EXPECT_EQ(storedBundleNames(), std::vector<std::string> { "last" }); // written as the holder ends
}

TEST_F(AppTest, ABundleAddedToTheFileWhileTheAppRunsSurvivesItsNextSave)
{
    std::filesystem::create_directories(libraryFile.parent_path());
    writeFile(libraryFile, R"({"bundles": [{"name": "Mine", "expanders": []}]})");
    App app(recording.environment);
    // Another program adds a bundle by hand.
    writeFile(libraryFile, R"({"bundles": [{"name": "Mine", "expanders": []}, {"name": "By hand", "expanders": []}]})");

    app.bundleStore().bundles()[0]->setName(u"Mine, renamed");
    EXPECT_EQ(storedBundleNames(), (std::vector<std::string> { "Mine, renamed", "By hand" }));
    ASSERT_EQ(app.bundleStore().bundles().size(), 2u);
    ASSERT_FALSE(recording.notifications->delivered.empty());
    EXPECT_EQ(recording.notifications->delivered.back().title, u16(u"The library was changed by another program"));
    EXPECT_NE(recording.notifications->delivered.back().description.indexOf(u"\u201CBy hand\u201D"), -1);

    // Its own saves since are no change from elsewhere.
    recording.notifications->delivered.clear();
    app.bundleStore().bundles()[1]->setName(u"Kept");
    EXPECT_EQ(storedBundleNames(), (std::vector<std::string> { "Mine, renamed", "Kept" }));
    EXPECT_TRUE(recording.notifications->delivered.empty());
}

TEST_F(AppTest, TwoInstancesOnOneFileKeepEachOthersWork)
{
    std::filesystem::create_directories(libraryFile.parent_path());
    writeFile(libraryFile, R"({"bundles": [{"name": "Shared", "expanders": []}]})");
    App first(recording.environment);
    RecordingEnvironment other(libraryFile, resources);
    App second(other.environment);

    first.bundleStore().setBundles({ first.bundleStore().bundles()[0], std::make_shared<Bundle>() });
    second.bundleStore().bundles()[0]->setName(u"Shared, edited");
    EXPECT_EQ(storedBundleNames(), (std::vector<std::string> { "Shared, edited", "New Bundle" }));
    first.bundleStore().bundles()[1]->setName(u"First's");
    EXPECT_EQ(storedBundleNames(), (std::vector<std::string> { "Shared", "First's", "Shared, edited" }));
}

TEST_F(AppTest, AnUnreadableFileInTheLibrarysPlaceIsKeptAside)
{
    std::filesystem::create_directories(libraryFile.parent_path());
    writeFile(libraryFile, R"({"bundles": []})");
    App app(recording.environment);
    writeFile(libraryFile, "not a library");
    app.bundleStore().setBundles({ std::make_shared<Bundle>() });
    EXPECT_EQ(storedBundleNames(), std::vector<std::string> { "New Bundle" });
    int kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator(libraryFile.parent_path()))
        kept += entry.path().extension() == ".unreadable" && readFile(entry.path()) == "not a library";
    EXPECT_EQ(kept, 1);
}

TEST_F(AppTest, ADanglingLibraryLinkIsNeverReplacedByAFile)
{
    std::filesystem::create_directories(libraryFile.parent_path());
    writeFile(libraryFile, R"({"bundles": []})");
    App app(recording.environment);
    std::filesystem::remove(libraryFile);
    std::filesystem::create_symlink(dir.path() / "unmounted" / "bundles.qlbundles", libraryFile);

    app.bundleStore().setBundles({ std::make_shared<Bundle>() });
    EXPECT_TRUE(std::filesystem::is_symlink(libraryFile));
    EXPECT_EQ(recording.notifications->delivered.back().title, u16(u"File could not be saved"));
}

TEST_F(AppTest, TemporaryFilesOfAKilledSaveAreRemovedAtStartButNotFreshOnes)
{
    std::filesystem::create_directories(libraryFile.parent_path());
    writeFile(libraryFile, R"({"bundles": []})");
    const auto folder = libraryFile.parent_path();
    const auto stale = folder / ".bundles.qlbundles.Ab12Cd";
    const auto fresh = folder / ".bundles.qlbundles.Zz99Yy";
    const auto other = folder / ".other.qlbundles.Ab12Cd";
    for (const auto& file : { stale, fresh, other })
        writeFile(file, "{");
    const auto hourAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    std::filesystem::last_write_time(stale, hourAgo);
    std::filesystem::last_write_time(other, hourAgo);

    App app(recording.environment);
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(fresh)); // may belong to a save still running
    EXPECT_TRUE(std::filesystem::exists(other));
}

TEST_F(AppTest, DeliverNotificationPassesTheErrorsTexts)
{
    App app(recording.environment);
    recording.notifications->delivered.clear(); // "Default bundles not found"
    app.deliverNotification(ExpandingError(u"Missing value"));
    ASSERT_EQ(recording.notifications->delivered.size(), 1u);
    EXPECT_EQ(recording.notifications->delivered[0].title, u16(u"Expression could not be expanded."));
    EXPECT_EQ(recording.notifications->delivered[0].description, u16(u"Missing value"));
}

TEST_F(AppTest, CustomActionIsOnlyHeld)
{
    App app(recording.environment);
    EXPECT_FALSE(app.expandingShortcutCustomAction());
    int calls = 0;
    app.setExpandingShortcutCustomAction([&calls] { return ++calls > 0; });
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(app.expandingShortcutCustomAction()());
}

TEST_F(AppTest, SharedHolderCanBeReplacedAndIsKnownOnceCreated)
{
    auto app = std::make_unique<App>(recording.environment);
    App* raw = app.get();
    App::setShared(std::move(app));
    EXPECT_EQ(App::sharedIfCreated(), raw);
    EXPECT_EQ(&App::shared(), raw);
    App::setShared(nullptr);
    EXPECT_EQ(App::sharedIfCreated(), nullptr);
}

} // namespace
} // namespace quillet
