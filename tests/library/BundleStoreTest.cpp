#include "library/BundleStore.h"
#include "LibraryFakes.h"
#include "languages/ProgrammingLanguageStore.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <functional>

namespace quillet {
namespace {

using test::RecordingStoreDelegate;
using test::RecordingUserInterface;
using test::TempDir;
using test::writeFile;
using Events = std::vector<std::string>;
using Properties = std::vector<Observable::Property>;

std::string expander(const std::string& name, bool enabled = true, const std::string& languages = R"(["any"])")
{
    return R"({"name": ")" + name + R"(", "pattern": ")" + name + R"(", "output_template": "x", "is_enabled": )"
        + (enabled ? "true" : "false") + R"(, "supported_languages": )" + languages + "}";
}

std::string bundle(const std::string& name, const std::vector<std::string>& expanders, bool enabled = true)
{
    std::string list;
    for (const auto& item : expanders)
        list += (list.empty() ? "" : ",") + item;
    return R"({"name": ")" + name + R"(", "is_enabled": )" + (enabled ? "true" : "false") + R"(, "expanders": [)" + list
        + "]}";
}

std::vector<icu::UnicodeString> names(const std::vector<CustomExpanderPtr>& expanders)
{
    std::vector<icu::UnicodeString> result;
    for (const auto& item : expanders)
        result.push_back(item->name());
    return result;
}

ProgrammingLanguagePtr language(const char16_t* id)
{
    return *ProgrammingLanguageStore::shared().language(id);
}

TEST(BundleStoreReading, MissingBundlesGivesAnEmptyLibraryThatWritesAnEmptyArray)
{
    BundleStore store(JSONDictionary::object());
    EXPECT_TRUE(store.bundles().empty());
    EXPECT_EQ(store.dictionary(), JSONDictionary::parse(R"({"bundles": []})"));
}

TEST(BundleStoreReading, BundlesThatAreNotAListOfBundleObjectsFailTheWholeLibrary)
{
    struct Case {
        const char* name;
        std::string json;
        const char16_t* description;
    };
    const Case cases[] = {
        { "bundles an object", R"({"bundles": {}})", u"The library's \"bundles\" is not a list of bundles." },
        { "bundles holding a string", R"({"bundles": [)" + bundle("A", {}) + R"(, "B"]})",
            u"The library's \"bundles\" is not a list of bundles." },
        { "second bundle without expanders", R"({"bundles": [)" + bundle("A", {}) + R"(, {"name": "Broken"}]})",
            u"Bundle 2 (\u201CBroken\u201D) of the library could not be read: \u201Cexpanders\u201D is missing." },
        { "bundle without name", R"({"bundles": [{"expanders": []}]})",
            u"Bundle 1 of the library could not be read: \u201Cname\u201D is missing." },
        // The expander and the key that cannot be read are named too.
        { "expander without pattern",
            R"({"bundles": [)"
                + bundle("A", { expander("a"), R"({"name": "b", "output_template": "", "supported_languages": []})" })
                + "]}",
            u"Bundle 1 (\u201CA\u201D) of the library could not be read: expander 2 (\u201Cb\u201D): "
            u"\u201Cpattern\u201D is missing." },
        { "expander with a number for its template",
            R"({"bundles": [)"
                + bundle("A", { R"({"name": "a", "pattern": "a", "output_template": 3, "supported_languages": []})" })
                + "]}",
            u"Bundle 1 (\u201CA\u201D) of the library could not be read: expander 1 (\u201Ca\u201D): "
            u"\u201Coutput_template\u201D is not a text." },
        { "expander without name, languages holding a number",
            R"({"bundles": [)"
                + bundle("A", { R"({"pattern": "a", "output_template": "", "supported_languages": [1]})" }) + "]}",
            u"Bundle 1 (\u201CA\u201D) of the library could not be read: expander 1: \u201Cname\u201D is missing." },
        { "languages holding a number", R"({"bundles": [)" + bundle("A", { expander("a", true, "[1]") }) + "]}",
            u"Bundle 1 (\u201CA\u201D) of the library could not be read: expander 1 (\u201Ca\u201D): "
            u"\u201Csupported_languages\u201D is not a list of texts." },
        { "an expander that is no object", R"({"bundles": [)" + bundle("A", { "7" }) + "]}",
            u"Bundle 1 (\u201CA\u201D) of the library could not be read: \u201Cexpanders\u201D is not a list of "
            u"objects." },
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        try {
            BundleStore store(JSONDictionary::parse(testCase.json));
            ADD_FAILURE() << "the library was read";
        } catch (const CbError& error) {
            EXPECT_EQ(error.userErrorTitle(), u16(u"JSON reading error"));
            EXPECT_EQ(error.userErrorDescription(), u16(testCase.description));
        }
    }
}

TEST(BundleStoreReading, RoundTripKeepsOrderAndDropsUnknownKeys)
{
    const auto library = JSONDictionary::parse(R"({"version": 3, "bundles": [)" + bundle("A", { expander("a") }) + ","
        + bundle("B", { expander("b", false) }, false) + "]}");
    BundleStore store(library);
    ASSERT_EQ(store.bundles().size(), 2u);
    EXPECT_EQ(store.bundles()[0]->delegate(), &store);
    const auto written = store.dictionary();
    EXPECT_FALSE(written.contains("version"));
    EXPECT_EQ(written["bundles"][1]["name"], "B");
    EXPECT_EQ(written["bundles"][1]["is_enabled"], false);
    BundleStore reread(written);
    EXPECT_EQ(reread.dictionary(), written);
}

TEST(BundleStoreQueries, EnabledExpandersSkipDisabledBundlesAndExpanders)
{
    BundleStore store(JSONDictionary::parse(R"({"bundles": [)" + bundle("Off", { expander("a"), expander("b") }, false)
        + "," + bundle("On", { expander("c"), expander("d", false), expander("e") }) + "]}"));
    EXPECT_EQ(names(store.enabledExpanders()), (std::vector<icu::UnicodeString> { u"c", u"e" }));
}

TEST(BundleStoreQueries, OrderedByLanguageSupportSplitsStablyByLanguageId)
{
    BundleStore store(JSONDictionary::parse(R"({"bundles": [)"
        + bundle("L",
            { expander("A", true, R"(["c"])"), expander("B", true, R"(["any"])"),
                expander("C", true, R"(["php", "c"])"), expander("D", true, R"([])") })
        + "]}"));
    auto [supporting, others] = store.enabledExpandersOrderedByLanguageSupport({ language(u"c") });
    EXPECT_EQ(names(supporting), (std::vector<icu::UnicodeString> { u"A", u"C" }));
    EXPECT_EQ(names(others), (std::vector<icu::UnicodeString> { u"B", u"D" }));

    auto [all, none] = BundleStore::orderedByLanguageSupport(store.enabledExpanders(), {});
    EXPECT_EQ(names(all), (std::vector<icu::UnicodeString> { u"A", u"B", u"C", u"D" }));
    EXPECT_TRUE(none.empty());

    auto [anySupporting, anyOthers] = store.enabledExpandersOrderedByLanguageSupport({ language(u"any") });
    EXPECT_EQ(names(anySupporting), (std::vector<icu::UnicodeString> { u"B" }));
}

TEST(BundleStoreChanges, AssigningBundlesTellsObserversThenDelegatesInOrderAndAdoptsTheBundles)
{
    BundleStore store(JSONDictionary::object());
    Properties announced;
    RecordingStoreDelegate first;
    RecordingStoreDelegate second;
    store.addObserver([&](Observable::Property property, Observable::Phase) { announced.push_back(property); });
    store.addDelegate(&first);
    store.addDelegate(&second);

    auto added = std::make_shared<Bundle>();
    store.setBundles({ added });
    EXPECT_EQ(announced, Properties { Observable::Property::bundles });
    EXPECT_EQ(first.events, Events { "change" });
    EXPECT_EQ(second.events, Events { "change" });
    EXPECT_EQ(added->delegate(), &store);

    store.setBundles(store.bundles()); // the same list still counts
    added->setName(u"renamed"); // a change below reaches every delegate
    EXPECT_EQ(first.events, (Events { "change", "change", "change" }));
}

TEST(BundleStoreChanges, RemovedDelegatesAreNoLongerToldEvenWhenRemovedWhileBeingTold)
{
    BundleStore store(JSONDictionary::object());
    RecordingStoreDelegate kept;

    // A window that closes on the first change and unregisters the delegate after it.
    struct ClosingWindow final : BundleStoreDelegate {
        void bundleStoreDidChange(BundleStore& store) override
        {
            store.removeDelegate(this);
            store.removeDelegate(other.get());
            other.reset();
        }
        void bundleStoreDidImport(BundleStore&, Bundle&, bool) override { }
        std::unique_ptr<RecordingStoreDelegate> other;
    } window;
    window.other = std::make_unique<RecordingStoreDelegate>();
    store.addDelegate(&window);
    store.addDelegate(window.other.get());
    store.addDelegate(&kept);

    store.setBundles({});
    EXPECT_EQ(store.delegates(), std::vector<BundleStoreDelegate*> { &kept });
    EXPECT_EQ(kept.events, Events { "change" });
    store.setBundles({});
    EXPECT_EQ(kept.events, (Events { "change", "change" }));
}

TEST(BundleStoreChanges, RemovedBundlesForgetTheStore)
{
    BundleStore store(JSONDictionary::object());
    RecordingStoreDelegate delegate;
    store.addDelegate(&delegate);
    auto bundleObject = std::make_shared<Bundle>();
    store.setBundles({ bundleObject });
    store.setBundles({});
    EXPECT_EQ(bundleObject->delegate(), nullptr);
    bundleObject->setName(u"outside");
    EXPECT_EQ(delegate.events.size(), 2u);
}

TEST(BundleStoreChanges, GroupedChangesTellTheDelegatesOnceAfterTheLastStep)
{
    BundleStore store(JSONDictionary::object());
    RecordingStoreDelegate delegate;
    Properties observed;
    auto first = std::make_shared<Bundle>();
    auto second = std::make_shared<Bundle>();
    store.setBundles({ first, second });
    store.addDelegate(&delegate);
    store.addObserver([&](Observable::Property property, Observable::Phase) { observed.push_back(property); });

    // An expander leaving one bundle for another: two steps, one report, after both.
    auto moving = std::make_shared<CustomExpander>();
    first->setExpanders({ moving });
    delegate.events.clear();
    std::size_t expandersSeenAtReport = 0;
    struct Watcher final : BundleStoreDelegate {
        std::function<void()> onChange;
        void bundleStoreDidChange(BundleStore&) override { onChange(); }
        void bundleStoreDidImport(BundleStore&, Bundle&, bool) override { }
    } watcher;
    watcher.onChange = [&] { expandersSeenAtReport = first->expanders().size() + second->expanders().size(); };
    store.addDelegate(&watcher);
    store.groupChanges([&] {
        first->setExpanders({});
        second->setExpanders({ moving });
        store.groupChanges([&] { store.setBundles({ second, first }); }); // nested: still one report
        EXPECT_TRUE(delegate.events.empty());
    });
    EXPECT_EQ(delegate.events, Events { "change" });
    EXPECT_EQ(expandersSeenAtReport, 1u);
    EXPECT_EQ(observed, Properties { Observable::Property::bundles }); // observers hear each step as it happens

    // A group that changes nothing reports nothing; one that fails half-way reports what it did.
    store.groupChanges([] {});
    EXPECT_EQ(delegate.events.size(), 1u);
    EXPECT_THROW(store.groupChanges([&] {
        first->setName(u"changed");
        throw std::runtime_error("stop");
    }),
        std::runtime_error);
    EXPECT_EQ(delegate.events, (Events { "change", "change" }));
    first->setName(u"again"); // outside any group: told at once
    EXPECT_EQ(delegate.events.size(), 3u);
    store.removeDelegate(&watcher);
}

class BundleStoreImport : public ::testing::Test {
protected:
    BundleStoreImport()
        : store(JSONDictionary::object())
        , userInterface(std::make_shared<RecordingUserInterface>())
    {
        store.setImportFeedback({ .alerts = userInterface, .application = userInterface });
        store.addDelegate(&delegate);
        store.addObserver([this](Observable::Property property, Observable::Phase) { observed.push_back(property); });
    }

    std::filesystem::path file(const std::string& content)
    {
        auto path = dir.path() / "import.qlbundle";
        writeFile(path, content);
        return path;
    }

    void expectRefused(const char16_t* description)
    {
        ASSERT_EQ(userInterface->alerts.size(), 1u);
        EXPECT_EQ(userInterface->alerts[0].messageText, u16(u"File could not be read"));
        EXPECT_EQ(userInterface->alerts[0].informativeText, u16(description));
        EXPECT_EQ(userInterface->calls, (Events { "activate ignoring other apps", "alert", "deactivate" }));
        EXPECT_TRUE(store.bundles().empty());
        EXPECT_TRUE(delegate.events.empty());
        EXPECT_TRUE(observed.empty());
    }

    TempDir dir;
    BundleStore store;
    std::shared_ptr<RecordingUserInterface> userInterface;
    RecordingStoreDelegate delegate;
    Properties observed;
};

TEST_F(BundleStoreImport, GoodFileIsAppendedWithOneChangeThenTheImportReport)
{
    store.setBundles({ std::make_shared<Bundle>() });
    delegate.events.clear();
    observed.clear();

    store.importBundle(file(bundle("Imported", { expander("x") })), false);
    ASSERT_EQ(store.bundles().size(), 2u);
    EXPECT_EQ(store.bundles()[1]->name(), u16(u"Imported"));
    EXPECT_EQ(store.bundles()[1]->delegate(), &store);
    EXPECT_EQ(delegate.events, (Events { "change", "import Imported" }));
    EXPECT_EQ(observed, Properties { Observable::Property::bundles });
    EXPECT_TRUE(userInterface->alerts.empty());

    store.importBundle(file(bundle("Imported", {})), true);
    EXPECT_EQ(delegate.events.back(), "import Imported silently");
    EXPECT_EQ(store.bundles().size(), 3u); // no duplicate check
}

TEST_F(BundleStoreImport, HostileFilesAreRefusedNamingTheFileAndTheReason)
{
    struct Case {
        const char* name;
        std::function<std::filesystem::path(const std::filesystem::path&)> make;
        const char* reason; // a part of the alert's text after the file's name
    };
    const auto withContent = [](std::string content) {
        return [content](const std::filesystem::path& folder) {
            writeFile(folder / "x.qlbundle", content);
            return folder / "x.qlbundle";
        };
    };
    const Case cases[] = {
        { "missing", [](const auto& folder) { return folder / "missing.qlbundle"; }, "There is no file at this path." },
        { "directory",
            [](const auto& folder) {
                std::filesystem::create_directory(folder / "d.qlbundle");
                return folder / "d.qlbundle";
            },
            "It is a folder" },
        { "fifo",
            [](const auto& folder) {
                EXPECT_EQ(mkfifo((folder / "p.qlbundle").c_str(), 0600), 0);
                return folder / "p.qlbundle";
            },
            "not a regular file" },
        { "device link",
            [](const auto& folder) {
                std::filesystem::create_symlink("/dev/zero", folder / "z.qlbundle");
                return folder / "z.qlbundle";
            },
            "not a regular file" },
        { "dangling link",
            [](const auto& folder) {
                std::filesystem::create_symlink(folder / "nowhere", folder / "l.qlbundle");
                return folder / "l.qlbundle";
            },
            "There is no file at this path." },
        { "huge sparse",
            [](const auto& folder) {
                std::filesystem::path path = folder / "huge.qlbundle";
                writeFile(path, "{");
                std::filesystem::resize_file(path, 100ULL << 30);
                return path;
            },
            "larger than 16 MB" },
        { "just above the limit",
            [](const auto& folder) {
                std::filesystem::path path = folder / "big.qlbundle";
                writeFile(path, "{");
                std::filesystem::resize_file(path, BundleStore::largestBundleFileSize + 1);
                return path;
            },
            "larger than 16 MB" },
        { "invalid JSON", withContent("{oops"), "It is not JSON: " },
        { "top-level array", withContent("[]"), "Error during file decoding" },
        { "name of the wrong type", withContent(R"({"name": 3, "expanders": []})"),
            "The bundle could not be read: \xE2\x80\x9Cname\xE2\x80\x9D" },
        { "expanders missing", withContent(R"({"name": "No expanders"})"),
            "The bundle (\xE2\x80\x9CNo expanders\xE2\x80\x9D) could not be read: \xE2\x80\x9C"
            "expanders\xE2\x80\x9D is missing." },
        { "expander key of the wrong type",
            withContent(R"({"name": "B", "expanders": [{"name": "e", "pattern": 7, "output_template": ""}]})"),
            "expander 1 (\xE2\x80\x9C"
            "e\xE2\x80\x9D): \xE2\x80\x9Cpattern\xE2\x80\x9D" },
        { "markup in the name stays text",
            withContent(R"({"name": "<a href=\"file:///etc/passwd\">x</a><h1>", "expanders": 1})"),
            "(\xE2\x80\x9C<a href=\"file:///etc/passwd\">x</a><h1>\xE2\x80\x9D)" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        userInterface->alerts.clear();
        const auto path = c.make(folder.path());
        store.importBundle(path, false);
        ASSERT_EQ(userInterface->alerts.size(), 1u);
        EXPECT_EQ(userInterface->alerts[0].messageText, u16(u"File could not be read"));
        const std::string text = toUtf8(userInterface->alerts[0].informativeText);
        EXPECT_EQ(text.rfind("\xE2\x80\x9C" + path.string() + "\xE2\x80\x9D: ", 0), 0u) << text;
        EXPECT_NE(text.find(c.reason), std::string::npos) << text;
        EXPECT_TRUE(store.bundles().empty());
        EXPECT_TRUE(delegate.events.empty());
    }
}

TEST_F(BundleStoreImport, OneCallListsItsFailuresInOneAlertAndImportsTheRest)
{
    const auto good = dir.path() / "good.qlbundle";
    writeFile(good, bundle("Good", {}));
    store.importBundles({ dir.path() / "a.qlbundle", good, dir.path() / "b.qlbundle" }, false);
    ASSERT_EQ(userInterface->alerts.size(), 1u);
    const std::string text = toUtf8(userInterface->alerts[0].informativeText);
    EXPECT_NE(text.find("a.qlbundle"), std::string::npos) << text;
    EXPECT_NE(text.find("b.qlbundle"), std::string::npos) << text;
    ASSERT_EQ(store.bundles().size(), 1u);
    EXPECT_EQ(delegate.events, (Events { "change", "import Good" }));
}

TEST_F(BundleStoreImport, FailuresWhileAnAlertShowsWaitForItInsteadOfNesting)
{
    // Plays the modal loop: while the first alert shows, requests keep arriving and fail.
    struct ReenteringAlerts final : UserAlerts {
        void runModal(const Alert& alert) override
        {
            ++depth;
            maximumDepth = std::max(maximumDepth, depth);
            shown.push_back(toUtf8(alert.informativeText));
            for (int i = 0; i < 3 && reenter && shown.size() == 1; ++i)
                store->importBundles({ folder / ("later" + std::to_string(i)) }, false);
            --depth;
        }
        BundleStore* store = nullptr;
        std::filesystem::path folder;
        bool reenter = true;
        int depth = 0;
        int maximumDepth = 0;
        std::vector<std::string> shown;
    };
    auto alerts = std::make_shared<ReenteringAlerts>();
    alerts->store = &store;
    alerts->folder = dir.path();
    store.setImportFeedback({ .alerts = alerts, .application = nullptr });

    store.importBundle(dir.path() / "first", false);
    EXPECT_EQ(alerts->maximumDepth, 1);
    ASSERT_EQ(alerts->shown.size(), 2u);
    EXPECT_NE(alerts->shown[0].find("first"), std::string::npos);
    for (const char* later : { "later0", "later1", "later2" })
        EXPECT_NE(alerts->shown[1].find(later), std::string::npos) << later;

    // A flood lists a screenful and counts the rest.
    std::vector<std::filesystem::path> flood;
    for (int i = 0; i < 100; ++i)
        flood.push_back(dir.path() / ("flood" + std::to_string(i)));
    alerts->shown.clear();
    alerts->reenter = false;
    store.importBundles(flood, false);
    ASSERT_EQ(alerts->shown.size(), 1u);
    EXPECT_NE(alerts->shown[0].find("Files not imported besides these: 80."), std::string::npos);
}

} // namespace
} // namespace quillet
