#include "library/App.h"
#include "LibraryFakes.h"
#include "library/KeptChanges.h"
#include "library/SaveScheduler.h"
#include "support/LockHolder.h"
#include "support/TestSupport.h"
#include "text/FileLock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <functional>
#include <iostream>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillet {
namespace {

using test::readFile;
using test::RecordingEnvironment;
using test::TempDir;
using test::writeFile;
using Events = std::vector<std::string>;

/// What this process has read and written so far (/proc/self/io): whether a file was read,
/// and how many writes a start made.
struct ProcessIO {
    long long bytesRead = 0;

    static ProcessIO now()
    {
        ProcessIO io;
        std::istringstream lines(readFile("/proc/self/io"));
        for (std::string key; lines >> key;) {
            long long value = 0;
            lines >> value;
            if (key == "rchar:")
                io.bytesRead = value;
        }
        return io;
    }
};

/// Counts the files renamed into place in a folder under a name while it lives: each is one
/// atomic save of that file. (The process's own count of write calls would also count those
/// of a sanitizer's runtime.)
class SavesInFolder {
public:
    SavesInFolder(const std::filesystem::path& folder, std::string name)
        : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
        , m_name(std::move(name))
    {
        if (m_fd >= 0)
            inotify_add_watch(m_fd, folder.c_str(), IN_MOVED_TO);
    }
    ~SavesInFolder()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    SavesInFolder(const SavesInFolder&) = delete;
    SavesInFolder& operator=(const SavesInFolder&) = delete;

    /// The saves since the last count; -1 when the folder cannot be watched.
    int count()
    {
        if (m_fd < 0)
            return -1;
        int saves = 0;
        alignas(inotify_event) char buffer[64 * 1024];
        for (ssize_t length; (length = read(m_fd, buffer, sizeof buffer)) > 0;) {
            for (ssize_t offset = 0; offset < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
                if (event->len > 0 && m_name == event->name)
                    ++saves;
                offset += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        return saves;
    }

private:
    int m_fd;
    std::string m_name;
};

/// Runs `process` (given its number) in `count` child processes that start together, when a
/// pipe closes, with nothing shared but the files; the exit status of each, -1 for one that
/// did not exit (a signal) or could not be started.
std::vector<int> exitStatusesOfProcessesStartedTogether(int count, const std::function<int(int)>& process)
{
    int start[2];
    if (pipe(start) != 0)
        return std::vector<int>(std::size_t(count), -1);
    std::vector<pid_t> children;
    for (int number = 0; number < count; ++number) {
        const pid_t child = fork();
        if (child == 0) {
            close(start[1]);
            char byte;
            while (read(start[0], &byte, 1) < 0 && errno == EINTR) { }
            _exit(process(number));
        }
        children.push_back(child);
    }
    close(start[0]);
    close(start[1]);
    std::vector<int> statuses;
    for (const pid_t child : children) {
        int status = 0;
        const bool exited = child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status);
        statuses.push_back(exited ? WEXITSTATUS(status) : -1);
    }
    return statuses;
}

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

TEST_F(AppTest, AFirstRunThatRunsOutOfMemoryKeepsNoLibraryThatLacksABundle)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer's shadow memory does not fit under a limit on address space";
#else
    // The last default bundle is too large for the memory left; the others are small.
    const auto& names = App::defaultBundleNames();
    for (const auto& name : names) {
        if (name != names.back()) {
            addResource(name);
            continue;
        }
        addResource(name,
            R"({"name": ")" + name + R"(", "description": ")" + std::string(12 << 20, 'x') + R"(", "expanders": []})");
    }

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::size_t sizeInKiB = 0;
        std::istringstream status(readFile("/proc/self/status"));
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("VmSize:", 0) == 0)
                sizeInKiB = std::stoul(line.substr(7));
        }
        const rlim_t limit = (sizeInKiB << 10) + (8 << 20);
        const rlimit bound { limit, limit };
        if (sizeInKiB == 0 || setrlimit(RLIMIT_AS, &bound) != 0)
            _exit(2);
        App app(recording.environment);
        _exit(recording.notifications->delivered.empty() ? 3 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    ASSERT_EQ(WEXITSTATUS(status), 0) << "the run said nothing of its failure";

    // Nothing is kept, and the next run, with memory, installs all ten.
    EXPECT_FALSE(std::filesystem::exists(libraryFile));
    App app(recording.environment);
    EXPECT_EQ(storedBundleNames(), names);
#endif
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

TEST_F(AppTest, ALibraryFileThatCannotBeReadIsNamedWithItsReasonAndLeftAsItIs)
{
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path&)> make;
        const char16_t* reason; // after the path; null: the path alone
    };
    const Case cases[] = {
        { "a folder where the file should be", [](const auto& file) { std::filesystem::create_directories(file); },
            nullptr },
        { "a file one byte larger than any library",
            [](const auto& file) {
                writeFile(file, "{");
                std::filesystem::resize_file(file, std::uintmax_t(detail::largestLibraryFileSize) + 1);
            },
            u": It is larger than 64 MB, more than any library of expanders holds; it was left as it is." },
        { "a file of 500 MB",
            [](const auto& file) {
                writeFile(file, R"({"bundles": [)");
                std::filesystem::resize_file(file, std::uintmax_t(500) << 20);
            },
            u": It is larger than 64 MB, more than any library of expanders holds; it was left as it is." },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        const auto file = folder.path() / "bundles.qlbundles";
        c.make(file);
        const auto before = std::filesystem::status(file).type();
        const auto sizeBefore = std::filesystem::is_regular_file(file) ? std::filesystem::file_size(file) : 0;
        RecordingEnvironment fresh(file, resources);

        const auto ioBefore = ProcessIO::now();
        App app(fresh.environment);
        // Judged by its size alone: not a byte of it was read.
        EXPECT_LT(ProcessIO::now().bytesRead - ioBefore.bytesRead, 1 << 20);
        EXPECT_FALSE(app.isLoaded());
        ASSERT_EQ(fresh.userInterface->alerts.size(), 1u);
        EXPECT_EQ(fresh.userInterface->alerts[0].messageText, u16(u"File could not be read"));
        icu::UnicodeString expected = fromUtf8(file.string());
        if (c.reason)
            expected.append(c.reason);
        EXPECT_EQ(fresh.userInterface->alerts[0].informativeText, expected);
        EXPECT_EQ(std::filesystem::status(file).type(), before);
        if (std::filesystem::is_regular_file(file)) {
            EXPECT_EQ(std::filesystem::file_size(file), sizeBefore);
        }
    }
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

TEST_F(AppTest, AChangeWhoseSaveFailedStaysWaitingAndIsWrittenAtTheEnd)
{
    std::filesystem::create_directories(libraryFile.parent_path());
    writeFile(libraryFile, R"({"bundles": [{"name": "A", "expanders": []}]})");
    {
        App app(recording.environment);
        // The folder takes no new file for a while: the save fails.
        chmod(libraryFile.parent_path().c_str(), 0555);
        const bool folderRefuses = access(libraryFile.parent_path().c_str(), W_OK) != 0;
        if (!folderRefuses) {
            // Running as root: the folder's mode stops no one; a file in the folder's place does.
            chmod(libraryFile.parent_path().c_str(), 0755);
            std::filesystem::rename(libraryFile.parent_path(), dir.path() / "moved");
            writeFile(libraryFile.parent_path(), "in the way");
        }
        app.bundleStore().bundles()[0]->setName(u"Kept");
        EXPECT_TRUE(app.hasPendingSave());
        EXPECT_EQ(recording.notifications->delivered.back().title, u16(u"File could not be saved"));
        if (folderRefuses) {
            chmod(libraryFile.parent_path().c_str(), 0755);
        } else {
            std::filesystem::remove(libraryFile.parent_path());
            std::filesystem::rename(dir.path() / "moved", libraryFile.parent_path());
        }
    } // quit
    EXPECT_EQ(storedBundleNames(), std::vector<std::string> { "Kept" });
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

    // As the desktop's event loop, when `posts`: the writer's results come back through it.
    bool posts = false;
    bool canPost() const override { return posts; }
    void post(std::function<void()> action) override
    {
        std::lock_guard lock(mutex);
        posted.push_back(std::move(action));
        arrived.notify_all();
    }
    /// Runs what was posted first, waiting for it; false when nothing comes.
    bool runPosted()
    {
        std::unique_lock lock(mutex);
        if (!arrived.wait_for(lock, std::chrono::seconds(10), [this] { return !posted.empty(); }))
            return false;
        auto action = std::move(posted.front());
        posted.pop_front();
        lock.unlock();
        action();
        return true;
    }
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<std::function<void()>> posted;
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

TEST_F(AppTest, ChangesMadeWhileAVersionIsWrittenOnItsThreadGoIntoTheNextWriteInOrder)
{
    // Whether the holder ends while the first write is under way, or the loop goes on.
    for (const bool endsDuringTheWrite : { false, true }) {
        SCOPED_TRACE(endsDuringTheWrite ? "the end comes during the write" : "the loop goes on");
        std::filesystem::create_directories(libraryFile.parent_path());
        writeFile(libraryFile, R"({"bundles": [{"name": "A", "expanders": []}]})");
        auto loop = std::make_shared<ManualSaveScheduler>();
        loop->posts = true;
        recording.environment.saveScheduler = loop;
        {
            App app(recording.environment);
            Bundle& bundle = *app.bundleStore().bundles()[0];
            bundle.setName(u"B");
            loop->run(); // the save hands "B" to the writer's thread and returns
            EXPECT_TRUE(app.isWriting());
            bundle.setName(u"C");
            bundle.setName(u"D");
            EXPECT_FALSE(loop->scheduled) << "a second save while one is written";
            if (endsDuringTheWrite)
                continue; // the end waits for "B", then writes "D"
            ASSERT_TRUE(loop->runPosted());
            EXPECT_EQ(storedBundleNames(), std::vector<std::string> { "B" });
            EXPECT_TRUE(app.hasPendingSave());
            loop->run();
            ASSERT_TRUE(loop->runPosted());
            EXPECT_FALSE(app.hasPendingSave());
            EXPECT_EQ(storedBundleNames(), std::vector<std::string> { "D" });
            EXPECT_TRUE(recording.notifications->delivered.empty());
        }
        EXPECT_EQ(storedBundleNames(), std::vector<std::string> { "D" });
    }
}

/// A library written as "A(a1,a2) B(b1) C()": bundles with the names of their expanders.
JSONDictionary libraryOf(const std::string& outline)
{
    JSONDictionary bundles = JSONDictionary::array();
    std::istringstream words(outline);
    std::string word;
    while (words >> word) {
        const auto open = word.find('(');
        JSONDictionary expanders = JSONDictionary::array();
        std::istringstream names(word.substr(open + 1, word.size() - open - 2));
        for (std::string name; std::getline(names, name, ',');) {
            expanders.push_back({ { "name", name }, { "pattern", name }, { "output_template", name },
                { "supported_languages", { "any" } } });
        }
        bundles.push_back({ { "name", word.substr(0, open) }, { "expanders", std::move(expanders) } });
    }
    return { { "bundles", std::move(bundles) } };
}

std::string outlineOf(const JSONDictionary& library)
{
    std::string outline;
    for (const auto& bundle : library["bundles"]) {
        outline += (outline.empty() ? "" : " ") + bundle["name"].get<std::string>() + "(";
        bool first = true;
        for (const auto& expander : bundle["expanders"]) {
            outline += (first ? "" : ",") + expander["name"].get<std::string>();
            first = false;
        }
        outline += ")";
    }
    return outline;
}

CustomExpander& expanderNamed(BundleStore& store, const icu::UnicodeString& name)
{
    for (const auto& bundle : store.bundles()) {
        for (const auto& expander : bundle->expanders()) {
            if (expander->name() == name)
                return *expander;
        }
    }
    throw std::runtime_error("no such expander");
}

/// How the library came to be when the application starts: a file written before it, or the
/// application's own first run, which installs the default bundles.
enum class Start { existingFile, firstRun };

const char* nameOf(Start start)
{
    return start == Start::existingFile ? "a library file written before the start" : "a first run's library";
}

/// Makes the library of the outline at `file` as `start` says (on a first run, its bundles are
/// the default bundles, under the first default names); the environment to start with.
RecordingEnvironment libraryAt(const std::filesystem::path& file, const std::string& outline, Start start)
{
    const auto resources = file.parent_path().parent_path() / (file.parent_path().filename().string() + "-resources");
    std::filesystem::create_directories(resources / "bundles");
    std::filesystem::create_directories(file.parent_path());
    const auto library = libraryOf(outline);
    if (start == Start::existingFile) {
        writeFile(file, library.dump(4));
    } else {
        for (std::size_t b = 0; b < library["bundles"].size(); ++b)
            writeFile(
                resources / "bundles" / (App::defaultBundleNames()[b] + ".qlbundle"), library["bundles"][b].dump());
    }
    return RecordingEnvironment(file, resources);
}

void appendBundle(BundleStore& store, const std::string& outline)
{
    auto bundles = store.bundles();
    bundles.push_back(std::make_shared<Bundle>(libraryOf(outline)["bundles"][0]));
    store.setBundles(bundles);
}

/// The library file is "A(a1,a2) B(b1) C()" when the application starts (one it loads, or one
/// its first run installs); then a hand rewrites the file, then the application makes a change
/// of its own, which saves.
struct OutsideEditCase {
    const char* name;
    const char* fileByHand;
    std::function<void(BundleStore&)> changeInTheApp;
    const char* merged;
    /// The conflict the user is told of (a name it mentions); none when nothing conflicts.
    const char16_t* conflict;
};

TEST_F(AppTest, ASaveMergesWhatAHandChangedInTheFileSinceTheLastLoadOrSave)
{
    auto renameBundle = [](int index, const char16_t* name) {
        return [=](BundleStore& store) { store.bundles()[std::size_t(index)]->setName(name); };
    };
    auto renameExpander = [](const char16_t* from, const char16_t* to) {
        return [=](BundleStore& store) { expanderNamed(store, from).setName(to); };
    };
    auto deleteBundle = [](int index) {
        return [=](BundleStore& store) {
            auto bundles = store.bundles();
            bundles.erase(bundles.begin() + index);
            store.setBundles(bundles);
        };
    };
    const OutsideEditCase cases[] = {
        { "deleted by hand stays deleted", "A(a1,a2) C()", renameExpander(u"a1", u"a1*"), "A(a1*,a2) C()", nullptr },
        { "edited by hand takes the hand's version", "A(a1,a2) B2(b1,b2) C()", renameBundle(2, u"C*"),
            "A(a1,a2) B2(b1,b2) C*()", nullptr },
        { "added by hand is kept", "A(a1,a2) B(b1) C() D(d1)", renameBundle(0, u"A*"), "A*(a1,a2) B(b1) C() D(d1)",
            nullptr },
        { "reordered by hand keeps the hand's order", "C() A(a1,a2) B(b1)", renameExpander(u"a1", u"a1*"),
            "C() A(a1*,a2) B(b1)", nullptr },
        { "different expanders of one bundle both change", "A(a1f,a2) B(b1) C()", renameExpander(u"a2", u"a2a"),
            "A(a1f,a2a) B(b1) C()", nullptr },
        { "deleted in the app, another bundle edited by hand", "A(a1,a2) B(b1,b2) C()", deleteBundle(2),
            "A(a1,a2) B(b1,b2)", nullptr },
        { "one bundle renamed on both sides keeps both", "A(a1,a2) Bh(b1) C()", renameBundle(1, u"Ba"),
            "A(a1,a2) Ba(b1) Bh(b1) C()", u"\u201CBa\u201D" },
        { "one expander renamed on both sides keeps both", "A(a1h,a2) B(b1) C()", renameExpander(u"a1", u"a1a"),
            "A(a1a,a1h,a2) B(b1) C()", u"\u201Ca1a\u201D" },
        { "deleted by hand but changed in the app is kept", "A(a1,a2) C()", renameBundle(1, u"Ba"),
            "A(a1,a2) Ba(b1) C()", u"\u201CBa\u201D" },
        { "deleted in the app but changed by hand comes back", "A(a1,a2) Bh(b1) C()", deleteBundle(1),
            "A(a1,a2) C() Bh(b1)", u"\u201CBh\u201D" },
        { "deleted and edited by hand, then an import", "A(a1x,a2) C()",
            [](BundleStore& store) { appendBundle(store, "N(n1)"); }, "A(a1x,a2) C() N(n1)", nullptr },
    };
    int index = 0;
    for (const Start start : { Start::existingFile, Start::firstRun })
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(nameOf(start)) + ": " + c.name);
            const auto file = dir.path() / ("library" + std::to_string(++index)) / "bundles.qlbundles";
            RecordingEnvironment recorder = libraryAt(file, "A(a1,a2) B(b1) C()", start);
            App app(recorder.environment);
            ASSERT_EQ(outlineOf(JSONDictionary::parse(readFile(file))), "A(a1,a2) B(b1) C()");
            const auto bundlesBefore = app.bundleStore().bundles();
            writeFile(file, libraryOf(c.fileByHand).dump(4));

            c.changeInTheApp(app.bundleStore());

            EXPECT_EQ(outlineOf(JSONDictionary::parse(readFile(file))), c.merged);
            EXPECT_EQ(outlineOf(app.bundleStore().dictionary()), c.merged);
            // A bundle only the hand changed is the same object, changed in place: an editor
            // showing it goes on editing the library's own.
            for (const auto& bundle : bundlesBefore) {
                const std::string named = " " + toUtf8(bundle->name()) + "(";
                if ((std::string(" ") + c.fileByHand).find(named) != std::string::npos
                    && (std::string(" ") + c.merged).find(named) != std::string::npos) {
                    const auto& after = app.bundleStore().bundles();
                    EXPECT_NE(std::find(after.begin(), after.end(), bundle), after.end()) << toUtf8(bundle->name());
                }
            }
            const auto& delivered = recorder.notifications->delivered;
            if (c.conflict) {
                ASSERT_EQ(delivered.size(), 1u);
                EXPECT_EQ(delivered[0].title, u16(u"The library was changed by another program"));
                EXPECT_NE(delivered[0].description.indexOf(c.conflict), -1) << toUtf8(delivered[0].description);
            } else {
                EXPECT_TRUE(delivered.empty()) << toUtf8(delivered[0].description);
            }

            // The merged library is now the app's last save: its next change merges nothing again.
            app.bundleStore().bundles()[0]->setBundleDescription(u"again");
            EXPECT_EQ(outlineOf(JSONDictionary::parse(readFile(file))), c.merged);
            EXPECT_EQ(delivered.size(), c.conflict ? 1u : 0u);
        }
}

TEST_F(AppTest, ASaveThatFailsAfterAMergeTakesNothingInTwice)
{
    std::filesystem::create_directories(libraryFile.parent_path());
    writeFile(libraryFile, libraryOf("A(a1) B(b1)").dump(4));
    App app(recording.environment);
    writeFile(libraryFile, libraryOf("A(a1) Bh(b1) D(d1)").dump(4));
    {
        // Files may not grow past a few bytes: the merge reads the file, the write fails.
        const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
        rlimit previous {};
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit tiny = previous;
        tiny.rlim_cur = 16;
        setrlimit(RLIMIT_FSIZE, &tiny);
        app.bundleStore().bundles()[1]->setName(u"Ba");
        setrlimit(RLIMIT_FSIZE, &previous);
        signal(SIGXFSZ, previousHandler);
    }
    ASSERT_EQ(recording.notifications->delivered.size(), 2u);
    EXPECT_EQ(recording.notifications->delivered[0].title, u16(u"The library was changed by another program"));
    EXPECT_EQ(recording.notifications->delivered[1].title, u16(u"File could not be saved"));
    EXPECT_EQ(outlineOf(JSONDictionary::parse(readFile(libraryFile))), "A(a1) Bh(b1) D(d1)");

    app.bundleStore().bundles()[0]->setName(u"A*");
    EXPECT_EQ(outlineOf(JSONDictionary::parse(readFile(libraryFile))), "A*(a1) Ba(b1) Bh(b1) D(d1)");
    EXPECT_EQ(recording.notifications->delivered.size(), 2u);
}

TEST_F(AppTest, TwoProcessesImportingAtTheSameMomentLoseNoImport)
{
    std::filesystem::create_directories(libraryFile.parent_path());
    writeFile(libraryFile, R"({"bundles": [{"name": "Shared", "expanders": []}]})");
    constexpr int importsEach = 90;
    for (int process = 0; process < 2; ++process) {
        for (int i = 0; i < importsEach; ++i) {
            const std::string name = "P" + std::to_string(process) + "-" + std::to_string(i);
            writeFile(dir.path() / (name + ".qlbundle"), R"({"name": ")" + name + R"(", "expanders": []})");
        }
    }

    // Both start together, with no bus or anything else shared but the file.
    // Each ends at once, as a killed one would: only saveBeforeEnd() writes what waits.
    const auto statuses = exitStatusesOfProcessesStartedTogether(2, [&](int process) -> int {
        RecordingEnvironment own(libraryFile, resources);
        App app(own.environment);
        for (int i = 0; i < importsEach; ++i) {
            const std::string name = "P" + std::to_string(process) + "-" + std::to_string(i);
            app.bundleStore().importBundle(dir.path() / (name + ".qlbundle"), true);
        }
        // On a busy machine the other process can hold the lock past a save's wait: the user
        // is told the library is busy, and the change waits for the end's save, as it would
        // when the application quits.
        app.saveBeforeEnd();
        bool onlyBusy = true;
        for (const auto& notice : own.notifications->delivered) {
            if (notice.title != u16(u"The library is busy")) {
                onlyBusy = false;
                std::cerr << "told: " << toUtf8(notice.title) << ": " << toUtf8(notice.description) << '\n';
            }
        }
        _exit(app.isLoaded() && !app.hasPendingSave() && onlyBusy ? 0 : 1);
    });
    EXPECT_EQ(statuses, std::vector<int>(2, 0));

    std::multiset<std::string> names;
    for (const auto& name : storedBundleNames())
        names.insert(name);
    EXPECT_EQ(names.size(), std::size_t(1 + 2 * importsEach));
    EXPECT_EQ(names.count("Shared"), 1u);
    for (int process = 0; process < 2; ++process) {
        for (int i = 0; i < importsEach; ++i)
            EXPECT_EQ(names.count("P" + std::to_string(process) + "-" + std::to_string(i)), 1u);
    }
}

/// The other writer read the library "A(a1,a2) B(b1)" as the application loaded or installed it, and renames
/// its version into place after the application's first change was saved; the application's
/// second change then meets it.
struct LateWriterCase {
    const char* name;
    std::function<void(BundleStore&)> firstChange;
    const char* theirs;
    const char* merged;
};

TEST_F(AppTest, AVersionMadeBeforeOurLastSaveLosesNothingOfThatSaveAndDeletesWhatItCouldSee)
{
    auto addBundle
        = [](const char* name) { return [=](BundleStore& store) { appendBundle(store, std::string(name) + "()"); }; };
    const LateWriterCase cases[] = {
        { "an import it never saw is kept", addBundle("N"), "A(a1,a2) B(b1) S()", "A(a1,a2) B(b1) N() S()" },
        { "an edit it never saw is kept", [](BundleStore& store) { expanderNamed(store, u"a1").setName(u"a1x"); },
            "A(a1,a2) B(b1,b2)", "A(a1x,a2) B(b1,b2)" },
        { "an expander it never saw is kept",
            [](BundleStore& store) {
                auto& bundle = *store.bundles()[0];
                auto expanders = bundle.expanders();
                expanders.push_back(std::make_shared<CustomExpander>(libraryOf("X(a3)")["bundles"][0]["expanders"][0]));
                bundle.setExpanders(expanders);
            },
            "A(a1,a2) Bh(b1)", "A(a1,a2,a3) Bh(b1)" },
        { "a bundle it deleted that the application had loaded stays deleted", addBundle("N"), "A(a1,a2)",
            "A(a1,a2) N()" },
    };
    int index = 0;
    for (const Start start : { Start::existingFile, Start::firstRun })
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(nameOf(start)) + ": " + c.name);
            const auto file = dir.path() / ("late" + std::to_string(++index)) / "bundles.qlbundles";
            RecordingEnvironment recorder = libraryAt(file, "A(a1,a2) B(b1)", start);
            App app(recorder.environment);

            c.firstChange(app.bundleStore());
            writeFile(file.parent_path() / "theirs", libraryOf(c.theirs).dump(4));
            std::filesystem::rename(file.parent_path() / "theirs", file);
            app.bundleStore().bundles()[0]->setBundleDescription(u"second change");

            EXPECT_EQ(outlineOf(JSONDictionary::parse(readFile(file))), c.merged);
            EXPECT_EQ(outlineOf(app.bundleStore().dictionary()), c.merged);
            EXPECT_TRUE(recorder.notifications->delivered.empty())
                << toUtf8(recorder.notifications->delivered[0].description);
        }
}

/// A file of unsaved changes as an earlier run keeps it beside the library: the library it
/// started from and the one it could not write.
std::string keptChanges(const std::string& base, const std::string& library)
{
    return JSONDictionary { { "base", libraryOf(base) }, { "library", libraryOf(library) } }.dump(4);
}

/// What an earlier run that could not write its last changes names their file.
constexpr const char* keptChangesName = "bundles.qlbundles.1700000000.4242.unsaved";

TEST_F(AppTest, ProcessesStartingTogetherBesideKeptChangesTakeThemInOnce)
{
    // An earlier run kept an import; three processes start at once (one waits for the lock no
    // longer than the desktop's event loop does), again and again.
    constexpr int rounds = 10;
    constexpr int processes = 3;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const auto file = dir.path() / ("together" + std::to_string(round)) / "bundles.qlbundles";
        std::filesystem::create_directories(file.parent_path());
        writeFile(file, libraryOf("A(a1) B(b1)").dump(4));
        const auto kept = file.parent_path() / keptChangesName;
        writeFile(kept, keptChanges("A(a1) B(b1)", "A(a1) B(b1) K(k1)"));

        const auto statuses = exitStatusesOfProcessesStartedTogether(processes, [&](int process) {
            RecordingEnvironment own(file, resources);
            if (process == 0)
                own.environment.lockWait = App::lockWaitOnEventLoop;
            App app(own.environment);
            return app.isLoaded() ? 0 : 1;
        });
        EXPECT_EQ(statuses, std::vector<int>(processes, 0));
        EXPECT_EQ(outlineOf(JSONDictionary::parse(readFile(file))), "A(a1) B(b1) K(k1)");
        EXPECT_FALSE(std::filesystem::exists(kept));
    }
}

TEST_F(AppTest, OneStartReadsNoMoreKeptChangesThanItsBoundAndLeavesTheRestInOrderForTheNext)
{
    const auto library = dir.path() / "bounded" / "bundles.qlbundles";
    std::filesystem::create_directories(library.parent_path());
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < 5; ++i) {
        files.push_back(
            library.parent_path() / ("bundles.qlbundles.1700000000." + std::to_string(10 + i) + ".unsaved"));
        writeFile(files.back(), keptChanges("A()", "A() K" + std::to_string(i) + "()"));
    }
    // Room for two files and a half at each start.
    const auto mostRead = static_cast<long long>(std::filesystem::file_size(files[0])) * 5 / 2;
    JSONDictionary onDisk = BundleStore(libraryOf("A()")).dictionary(); // as this version writes it
    std::string expected = "A()";
    for (std::size_t taken = 0, starts = 0; taken < files.size() && starts < files.size(); ++starts) {
        auto merged = mergeKeptChanges(library, onDisk, mostRead);
        EXPECT_EQ(merged.taken.size(), std::min<std::size_t>(2, files.size() - taken));
        for (const auto& file : merged.taken) {
            EXPECT_EQ(file, files[taken]);
            expected += " K" + std::to_string(taken++) + "()";
            std::filesystem::remove(file);
        }
        EXPECT_EQ(outlineOf(merged.library), expected);
        onDisk = std::move(merged.library);
    }
    EXPECT_EQ(expected, "A() K0() K1() K2() K3() K4()");
}

TEST_F(AppTest, OnlyChangesThisProgramKeptAreTakenInAllInOneSaveAndWhatTheyChangedIsTold)
{
    const std::string library = "A(a1) B(b1) C()";
    using Made = std::vector<std::filesystem::path>;
    using Make = std::function<Made(const std::filesystem::path& folder)>;
    auto file = [](std::string content, std::string name = keptChangesName) -> Make {
        return [=](const auto& folder) {
            writeFile(folder / name, content);
            return Made { folder / name };
        };
    };
    const std::string importKept = keptChanges(library, library + " K(k1)");
    // As many as a start must take in at once, all against one base.
    constexpr int keptFileCount = 1000;
    std::string manyImports = library;
    Make manyFiles = [&](const auto& folder) {
        Made made;
        for (int i = 0; i < keptFileCount; ++i) {
            const std::string name = "K" + std::to_string(i) + "()";
            made.push_back(folder / ("bundles.qlbundles.1700000000." + std::to_string(1000 + i) + ".unsaved"));
            writeFile(made.back(), keptChanges(library, library + " " + name));
        }
        return made;
    };
    for (int i = 0; i < keptFileCount; ++i)
        manyImports += " K" + std::to_string(i) + "()";

    struct Case {
        const char* name;
        Make make;
        /// The library afterwards.
        std::string library;
        /// What the notice of the changes taken in says (a text it holds); none: nothing is
        /// taken in, and what was made is left as it is.
        const char16_t* told;
        bool needsAnotherUser = false;
    };
    const Case cases[] = {
        { "an import kept by an earlier run", file(importKept), library + " K(k1)", u"Added: \u201CK\u201D." },
        { "every bundle deleted", file(R"({"base": )" + libraryOf(library).dump() + R"(, "library": {"bundles": []}})"),
            "", u"Deleted: \u201CA\u201D, \u201CB\u201D, \u201CC\u201D." },
        { "an expander deleted and another added", file(keptChanges(library, "A() B(b1,b2) C()")), "A() B(b1,b2) C()",
            u"Deleted: \u201CA\u201D \u203A \u201Ca1\u201D. Changed: \u201CA\u201D, \u201CB\u201D." },
        { "1,000 files, each an import", manyFiles, manyImports,
            u"Added: \u201CK0\u201D, \u201CK1\u201D, \u201CK2\u201D" },
        { "a library without its bundles", file(R"({"base": )" + libraryOf(library).dump() + R"(, "library": {}})"),
            library, nullptr },
        { "parts of the wrong type", file(R"({"base": 3, "library": [1]})"), library, nullptr },
        { "not JSON", file("{"), library, nullptr },
        { "a name that only ends like one", file(importKept, "bundles.qlbundles.notes.unsaved"), library, nullptr },
        { "another file's name", file(importKept, "other.qlbundles.1700000000.4242.unsaved"), library, nullptr },
        { "a link to kept changes outside the folder",
            [&](const auto& folder) {
                const auto elsewhere = folder.parent_path() / (folder.filename().string() + "-elsewhere.unsaved");
                writeFile(elsewhere, importKept);
                std::filesystem::create_symlink(elsewhere, folder / keptChangesName);
                return Made { folder / keptChangesName, elsewhere };
            },
            library, nullptr },
        { "another user's file",
            [&](const auto& folder) {
                writeFile(folder / keptChangesName, importKept);
                chown((folder / keptChangesName).c_str(), 65534, 65534);
                return Made { folder / keptChangesName };
            },
            library, nullptr, true },
        { "larger than two libraries",
            [&](const auto& folder) {
                writeFile(folder / keptChangesName, R"({"base": )");
                std::filesystem::resize_file(folder / keptChangesName, std::uintmax_t(200) << 20);
                return Made { folder / keptChangesName };
            },
            library, nullptr },
        { "a pipe",
            [&](const auto& folder) {
                mkfifo((folder / keptChangesName).c_str(), 0600);
                return Made { folder / keptChangesName };
            },
            library, nullptr },
        { "a folder",
            [&](const auto& folder) {
                std::filesystem::create_directory(folder / keptChangesName);
                return Made { folder / keptChangesName };
            },
            library, nullptr },
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsAnotherUser && geteuid() != 0) {
            std::cerr << "skipped (only root can give a file to another user): " << c.name << '\n';
            continue;
        }
        const auto folder = dir.path() / ("kept" + std::to_string(++index));
        const auto libraryFile = folder / "bundles.qlbundles";
        std::filesystem::create_directories(folder);
        writeFile(libraryFile, libraryOf(library).dump(4));
        const std::string before = readFile(libraryFile);
        const Made made = c.make(folder);
        std::vector<std::filesystem::file_type> types;
        for (const auto& path : made)
            types.push_back(std::filesystem::symlink_status(path).type());
        RecordingEnvironment recorder(libraryFile, resources);

        SavesInFolder saves(folder, libraryFile.filename().string());
        const auto ioBefore = ProcessIO::now();
        App app(recorder.environment);
        const auto ioAfter = ProcessIO::now();

        EXPECT_EQ(outlineOf(JSONDictionary::parse(readFile(libraryFile))), c.library);
        EXPECT_EQ(outlineOf(app.bundleStore().dictionary()), c.library);
        // What is not read whole is judged before it is read; all the changes go in one save.
        EXPECT_LT(ioAfter.bytesRead - ioBefore.bytesRead, 16 << 20);
        const int written = saves.count();
        EXPECT_GE(written, 0);
        EXPECT_LE(written, 1);
        const auto& delivered = recorder.notifications->delivered;
        if (c.told) {
            EXPECT_EQ(delivered.size(), 1u);
            if (!delivered.empty()) {
                EXPECT_EQ(delivered[0].title, u16(u"Changes kept from an earlier run were merged"));
                EXPECT_NE(delivered[0].description.indexOf(c.told), -1) << toUtf8(delivered[0].description);
            }
            for (const auto& path : made)
                EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(path))) << path;
        } else {
            EXPECT_TRUE(delivered.empty()) << toUtf8(delivered[0].description);
            EXPECT_EQ(readFile(libraryFile), before);
            for (std::size_t i = 0; i < made.size(); ++i)
                EXPECT_EQ(std::filesystem::symlink_status(made[i]).type(), types[i]) << made[i];
        }
    }
}

TEST_F(AppTest, AVersionPutInPlaceAfterTheLastSaveIsMergedAtTheEnd)
{
    enum class Lock { free, heldByAnother, unavailable };
    struct Case {
        const char* name;
        Lock lock;
        /// A change made after the sync tool's rename, whose save cannot be made (the lock is
        /// not to be had): it waits for the end.
        bool changeWaits;
        /// The end's last notice (a text it holds); none: nothing is said.
        const char16_t* told;
        const char* library;
    };
    const Case cases[] = {
        { "written at the end", Lock::free, false, nullptr, "A(a1) Bs(b1) N(n1)" },
        { "kept beside the library while another program holds its lock", Lock::heldByAnother, false,
            u"Another program held the library's lock; your last changes were kept in ", "A(a1) Bs(b1) N(n1)" },
        { "kept with a waiting change when no lock can be had", Lock::unavailable, true,
            u"Quillet could not lock the library; your last changes were kept in ", "A2(a1) Bs(b1) N(n1)" },
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = dir.path() / ("end" + std::to_string(++index)) / "bundles.qlbundles";
        std::filesystem::create_directories(file.parent_path());
        writeFile(file, libraryOf("A(a1) B(b1)").dump(4));
        RecordingEnvironment recorder(file, resources);
        auto app = std::make_unique<App>(recorder.environment);
        appendBundle(app->bundleStore(), "N(n1)");
        ASSERT_EQ(outlineOf(JSONDictionary::parse(readFile(file))), "A(a1) B(b1) N(n1)");

        // Just before the quit, a sync tool renames in its copy of the version before the
        // import, with a change of its own.
        writeFile(file.parent_path() / "synced", libraryOf("A(a1) Bs(b1)").dump(4));
        std::filesystem::rename(file.parent_path() / "synced", file);
        const auto lockFile = FileLock::lockFilePath(file);
        std::optional<test::LockHolder> holder;
        if (c.lock == Lock::heldByAnother)
            holder.emplace(lockFile);
        if (c.lock == Lock::unavailable) {
            std::filesystem::remove(lockFile);
            std::filesystem::create_symlink(dir.path() / "nowhere", lockFile);
        }
        if (c.changeWaits) {
            app->bundleStore().bundles()[0]->setName(u"A2");
            ASSERT_TRUE(app->hasPendingSave());
        }
        app.reset();

        const auto& delivered = recorder.notifications->delivered;
        if (c.told) {
            EXPECT_NE(delivered.empty() ? -1 : delivered.back().description.indexOf(c.told), -1)
                << (delivered.empty() ? "nothing was said" : toUtf8(delivered.back().description));
            EXPECT_EQ(outlineOf(JSONDictionary::parse(readFile(file))), "A(a1) Bs(b1)");
            holder.reset();
            std::filesystem::remove(lockFile);
            App next(RecordingEnvironment(file, resources).environment);
        } else {
            EXPECT_TRUE(delivered.empty()) << toUtf8(delivered[0].description);
        }
        EXPECT_EQ(outlineOf(JSONDictionary::parse(readFile(file))), c.library);
        for (const auto& entry : std::filesystem::directory_iterator(file.parent_path()))
            EXPECT_NE(entry.path().extension(), ".unsaved") << entry.path();
    }
}

TEST_F(AppTest, ASaveWaitsForAnotherProcesssLockOnlyAsLongAsItMayAndLosesNothing)
{
    struct Case {
        const char* name;
        /// Whether the application ends while the lock is held (else its next save comes after).
        bool endsWhileHeld;
    };
    const Case cases[] = {
        { "written by the next save once the lock is free", false },
        { "kept at the end and merged by the next start", true },
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = dir.path() / ("held" + std::to_string(++index)) / "bundles.qlbundles";
        std::filesystem::create_directories(file.parent_path());
        writeFile(file, libraryOf("A(a1) B(b1)").dump(4));
        const std::string before = readFile(file);
        RecordingEnvironment recorder(file, resources);
        recorder.environment.lockWait = std::chrono::milliseconds(20);
        test::LockHolder holder(FileLock::lockFilePath(file));
        auto app = std::make_unique<App>(recorder.environment);

        app->bundleStore().bundles()[0]->setName(u"A1");
        app->bundleStore().bundles()[0]->setName(u"A2");
        EXPECT_EQ(readFile(file), before);
        EXPECT_TRUE(app->hasPendingSave());
        const auto& delivered = recorder.notifications->delivered;
        ASSERT_EQ(delivered.size(), 1u) << "the user is told once";
        EXPECT_EQ(delivered[0].title, u16(u"The library is busy"));

        if (c.endsWhileHeld) {
            app.reset();
            EXPECT_EQ(readFile(file), before);
            holder.release();
            App next(RecordingEnvironment(file, resources).environment);
            EXPECT_FALSE(next.hasPendingSave());
        } else {
            holder.release();
            app->saveIfPending();
            EXPECT_FALSE(app->hasPendingSave());
        }
        EXPECT_EQ(outlineOf(JSONDictionary::parse(readFile(file))), "A2(a1) B(b1)");
        int left = 0;
        for (const auto& entry : std::filesystem::directory_iterator(file.parent_path()))
            left += entry.path().filename() != file.filename() && !entry.path().filename().string().ends_with(".lock");
        EXPECT_EQ(left, 0) << "a file of unsaved changes was left";
    }
}

TEST_F(AppTest, TwoProcessesImportingBesideAnAwkwardLockFileLoseNothingUnsaid)
{
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path& lockFile)> make;
    };
    const Case cases[] = {
        { "a folder", [](const auto& lock) { std::filesystem::create_directory(lock); } },
        { "another user's read-only file",
            [](const auto& lock) {
                writeFile(lock, "");
                chmod(lock.c_str(), 0444);
            } },
        { "mode 000",
            [](const auto& lock) {
                writeFile(lock, "");
                chmod(lock.c_str(), 0);
            } },
        { "a link to a file",
            [](const auto& lock) {
                writeFile(lock.parent_path() / "elsewhere", "");
                std::filesystem::create_symlink(lock.parent_path() / "elsewhere", lock);
            } },
    };
    constexpr int importsEach = 30;
    // Run as root, the children are another user: the lock file is not theirs.
    const bool dropUser = geteuid() == 0;
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto folder = dir.path() / ("awkward" + std::to_string(++index));
        const auto file = folder / "bundles.qlbundles";
        std::filesystem::create_directories(folder);
        writeFile(file, R"({"bundles": []})");
        for (int process = 0; process < 2; ++process) {
            for (int i = 0; i < importsEach; ++i) {
                const std::string name = "P" + std::to_string(process) + "-" + std::to_string(i);
                writeFile(folder / (name + ".qlbundle"), R"({"name": ")" + name + R"(", "expanders": []})");
            }
        }
        c.make(FileLock::lockFilePath(file));
        if (dropUser) {
            chmod(dir.path().c_str(), 0755);
            chown(folder.c_str(), 65534, 65534);
            chown(file.c_str(), 65534, 65534);
        }

        // Each ends at once, its refused imports still waiting.
        const auto outcomes = exitStatusesOfProcessesStartedTogether(2, [&](int process) -> int {
            if (dropUser && (setgid(65534) != 0 || setuid(65534) != 0))
                _exit(10);
            RecordingEnvironment own(file, resources);
            App app(own.environment);
            for (int i = 0; i < importsEach; ++i) {
                const std::string name = "P" + std::to_string(process) + "-" + std::to_string(i);
                app.bundleStore().importBundle(folder / (name + ".qlbundle"), false);
            }
            const auto announced = own.notifications->scheduledBundleNames.size();
            // Refused: nothing announced, the user told, the imports still waiting.
            if (announced == 0 && app.hasPendingSave() && !own.notifications->delivered.empty()
                && own.notifications->delivered[0].description.indexOf(u"cannot lock the library") >= 0)
                _exit(3);
            _exit(announced == importsEach && own.notifications->delivered.empty() ? 0 : 1);
        });
        std::multiset<std::string> names;
        const auto library = JSONDictionary::parse(readFile(file));
        for (const auto& bundle : library["bundles"])
            names.insert(bundle["name"].get<std::string>());
        for (int process = 0; process < 2; ++process) {
            SCOPED_TRACE("process " + std::to_string(process));
            ASSERT_TRUE(outcomes[std::size_t(process)] == 0 || outcomes[std::size_t(process)] == 3)
                << outcomes[std::size_t(process)];
            const std::size_t expected = outcomes[std::size_t(process)] == 0 ? 1 : 0;
            for (int i = 0; i < importsEach; ++i)
                EXPECT_EQ(names.count("P" + std::to_string(process) + "-" + std::to_string(i)), expected);
        }
    }
}

TEST_F(AppTest, FilesThatCannotBeReadInTheLibrarysPlaceAreEachKeptAsideUnderTheirOwnName)
{
    std::filesystem::create_directories(libraryFile.parent_path());
    writeFile(libraryFile, R"({"bundles": []})");
    App app(recording.environment);
    // Two broken hand saves within a second.
    const std::string texts[] = { "not a library", "not a library either" };
    for (const auto& text : texts) {
        writeFile(libraryFile, text);
        app.bundleStore().setBundles({ std::make_shared<Bundle>() });
        EXPECT_EQ(storedBundleNames(), std::vector<std::string> { "New Bundle" });
    }
    const auto& delivered = recording.notifications->delivered;
    ASSERT_EQ(delivered.size(), 2u);
    const icu::UnicodeString lead = u"Quillet could not read the file that replaced it, so that file was kept as ";
    std::set<std::string> names;
    for (std::size_t i = 0; i < 2; ++i) {
        const auto& description = delivered[i].description;
        ASSERT_TRUE(description.startsWith(lead)) << toUtf8(description);
        const std::string kept
            = toUtf8(description.tempSubString(lead.length(), description.length() - lead.length() - 1));
        EXPECT_EQ(readFile(kept), texts[i]) << kept;
        names.insert(kept);
    }
    EXPECT_EQ(names.size(), 2u);
    int kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator(libraryFile.parent_path()))
        kept += entry.path().extension() == ".unreadable";
    EXPECT_EQ(kept, 2);
}

TEST_F(AppTest, AChangeOverTheLibrarysBoundWaitsAndWhatIsToldOfItHoldsAcrossARestart)
{
    // Whether the change is made small again before the end.
    for (const bool madeSmall : { true, false }) {
        SCOPED_TRACE(madeSmall ? "made small again" : "still too large at the end");
        std::filesystem::create_directories(libraryFile.parent_path());
        writeFile(libraryFile, R"({"bundles": [{"name": "A", "expanders": []}]})");
        const std::string before = readFile(libraryFile);
        recording.notifications->delivered.clear();
        {
            App app(recording.environment);
            Bundle& bundle = *app.bundleStore().bundles()[0];
            bundle.setBundleDescription(fromUtf8(std::string(std::size_t(detail::largestLibraryFileSize), 'x')));
            EXPECT_EQ(readFile(libraryFile), before);
            EXPECT_TRUE(app.hasPendingSave());
            ASSERT_EQ(recording.notifications->delivered.size(), 1u);
            EXPECT_EQ(recording.notifications->delivered[0].title, u16(u"File could not be saved"));
            EXPECT_NE(recording.notifications->delivered[0].description.indexOf(u"would be larger than 64 MB"), -1);
            if (madeSmall) {
                bundle.setBundleDescription(u"small again");
                EXPECT_FALSE(app.hasPendingSave());
            }
        }
        // What the user was told holds after a restart: the change is in the library, or the
        // notices said that it is lost if Quillet ends first, and that it was.
        App again(recording.environment);
        const auto description = again.bundleStore().bundles()[0]->bundleDescription();
        EXPECT_EQ(description, madeSmall ? u16(u"small again") : icu::UnicodeString());
        for (const auto& notice : recording.notifications->delivered) {
            EXPECT_EQ(notice.description.indexOf(u"kept"), -1) << toUtf8(notice.description);
            if (!madeSmall) {
                EXPECT_NE(notice.description.indexOf(u"lost"), -1) << toUtf8(notice.description);
            }
        }
        for (const auto& entry : std::filesystem::directory_iterator(libraryFile.parent_path()))
            EXPECT_NE(entry.path().extension(), ".unsaved") << "a kept change that no start can take in";
        std::filesystem::remove_all(libraryFile.parent_path());
    }
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

TEST_F(AppTest, AStartHoldingTheLockRemovesItsOwnTemporaryFilesWhateverTheirAgeAndNothingElse)
{
    std::filesystem::create_directories(libraryFile.parent_path());
    writeFile(libraryFile, R"({"bundles": []})");
    const auto folder = libraryFile.parent_path();
    const bool canGiveAway = geteuid() == 0; // a file of another user
    struct Row {
        std::string name;
        enum { fresh, stale, link, foreign } kind;
        bool removedWhenFree;
    };
    const std::vector<Row> rows {
        { ".bundles.qlbundles.Ab12Cd", Row::stale, true },
        { ".bundles.qlbundles.Zz99Yy", Row::fresh, true },
        { ".bundles.qlbundles.Qq11Rr", Row::link, false },
        { ".bundles.qlbundles.Fo0Rgn", Row::foreign, false },
        { ".bundles.qlbundles.Ab12C", Row::stale, false },
        { ".bundles.qlbundles.Ab-2Cd", Row::stale, false },
        { ".other.qlbundles.Ab12Cd", Row::stale, false },
    };
    for (const bool lockHeldElsewhere : { true, false }) {
        for (const auto& row : rows) {
            const auto file = folder / row.name;
            std::filesystem::remove(file);
            if (row.kind == Row::link) {
                std::filesystem::create_symlink(libraryFile, file);
                continue;
            }
            writeFile(file, "{");
            if (row.kind == Row::stale)
                std::filesystem::last_write_time(
                    file, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
            if (row.kind == Row::foreign && canGiveAway) {
                ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
            }
        }
        std::optional<FileLock> other;
        if (lockHeldElsewhere)
            other.emplace(libraryFile, std::chrono::milliseconds(0)); // a save of another process under way
        auto environment = recording.environment;
        environment.lockWait = std::chrono::milliseconds(50);
        App app(environment);
        for (const auto& row : rows) {
            if (row.kind == Row::foreign && !canGiveAway)
                continue;
            const bool removed = !std::filesystem::exists(std::filesystem::symlink_status(folder / row.name));
            EXPECT_EQ(removed, row.removedWhenFree && !lockHeldElsewhere)
                << row.name << (lockHeldElsewhere ? " with the lock held elsewhere" : "");
        }
    }
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
