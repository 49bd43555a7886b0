#include "library/App.h"
#include "support/ProcessRunner.h"
#include "support/TestSupport.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace quillet {
namespace {

namespace fs = std::filesystem;

/// The `quillet` program copied under a prefix of its own (bin/quillet, share/quillet), with
/// ten small default bundles, run as scripts would run it, under faults.
class QuilletCommandFaultsTest : public ::testing::Test {
protected:
    QuilletCommandFaultsTest() { install(prefix() / "bin", prefix() / "share" / "quillet"); }

    fs::path prefix() const { return m_root.path() / "prefix"; }
    fs::path program() const { return prefix() / "bin" / "quillet"; }
    fs::path libraryFile() const { return m_root.path() / "data" / "com.orvanta.Quillet" / "bundles.qlbundles"; }

    /// Copies the program into the folder and, unless none, the default bundles into the resources.
    static void install(const fs::path& programFolder, const std::optional<fs::path>& resources)
    {
        fs::create_directories(programFolder);
        fs::copy_file(QUILLET_PROGRAM, programFolder / "quillet", fs::copy_options::overwrite_existing);
        if (!resources)
            return;
        fs::create_directories(*resources / "bundles");
        const auto& names = App::defaultBundleNames();
        for (std::size_t i = 0; i < names.size(); ++i)
            test::writeFile(*resources / "bundles" / (names[i] + ".qlbundle"), bundle(names[i], i).dump(2));
    }

    /// A bundle of one expander: "x<index>" becomes the bundle's name.
    static nlohmann::json bundle(const std::string& name, std::size_t index)
    {
        return { { "name", name },
            { "expanders",
                { { { "name", name }, { "pattern", "x" + std::to_string(index) }, { "output_template", name },
                    { "supported_languages", { "any" } } } } } };
    }

    /// The pattern of the last default bundle: it expands only when the whole library is there.
    static std::string lastPattern() { return "x" + std::to_string(App::defaultBundleNames().size() - 1); }

    test::ProcessResult run(const std::vector<std::string>& arguments, const std::string& input = {},
        const std::function<void()>& inChild = {}, const fs::path& programPath = {},
        std::map<std::string, std::string> environment = {})
    {
        environment["XDG_DATA_HOME"] = (m_root.path() / "data").string();
        environment.try_emplace("XDG_CONFIG_HOME", (m_root.path() / "config").string());
        environment.try_emplace("XDG_CACHE_HOME", (m_root.path() / "cache").string());
        return test::runProcess(
            (programPath.empty() ? program() : programPath).string(), arguments, input, environment, inChild);
    }

    std::vector<std::string> storedBundleNames() const
    {
        std::vector<std::string> names;
        const auto library = nlohmann::json::parse(test::readFile(libraryFile()));
        for (const auto& stored : library.at("bundles"))
            names.push_back(stored.at("name"));
        return names;
    }

    test::TempDir m_root;
};

TEST_F(QuilletCommandFaultsTest, AFirstRunThatCannotWriteTheWholeLibraryLeavesNoneAndTheNextRunInstallsAllTen)
{
    struct Case {
        const char* name;
        bool killed; // by the file size signal, as a run killed mid-write; else the write fails
    };
    // 1200 bytes hold the first three of the small bundles, not all ten.
    for (const Case& testCase : { Case { "write fails", false }, Case { "killed while writing", true } }) {
        SCOPED_TRACE(testCase.name);
        fs::remove_all(m_root.path() / "data");
        const bool killed = testCase.killed;
        const auto limited = run({ "expand", lastPattern() }, {}, [killed] {
            if (!killed)
                signal(SIGXFSZ, SIG_IGN);
            const rlimit limit { 1200, 1200 };
            setrlimit(RLIMIT_FSIZE, &limit);
        });
        if (!killed) {
            EXPECT_NE(limited.standardError.find("File could not be saved"), std::string::npos);
            EXPECT_EQ(limited.exitStatus, 0) << "the library in memory still expands";
        }
        EXPECT_FALSE(fs::exists(libraryFile())) << test::readFile(libraryFile());

        const auto later = run({ "expand", lastPattern() });
        EXPECT_EQ(later.exitStatus, 0) << later.standardError;
        EXPECT_EQ(storedBundleNames(), App::defaultBundleNames());
    }
}

TEST_F(QuilletCommandFaultsTest, FirstRunsAtOnceAllExpandWithTheWholeLibrary)
{
    // Many first runs on one data folder: each must either install the library whole or read
    // the one another run installed, never a part of it or an empty one.
    constexpr int runs = 24;
    std::vector<std::string> environment;
    for (char** variable = environ; *variable; ++variable)
        environment.emplace_back(*variable);
    environment.push_back("XDG_DATA_HOME=" + (m_root.path() / "data").string());
    environment.push_back("XDG_CACHE_HOME=" + (m_root.path() / "cache").string());
    std::vector<char*> envp;
    for (auto& variable : environment)
        envp.push_back(variable.data());
    envp.push_back(nullptr);

    std::vector<pid_t> children;
    for (int i = 0; i < runs; ++i) {
        const std::string errors = (m_root.path() / ("errors" + std::to_string(i))).string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::string programPath = program().string(), command = "expand", text = lastPattern();
        char* argv[] = { programPath.data(), command.data(), text.data(), nullptr };
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, programPath.c_str(), &actions, nullptr, argv, envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        children.push_back(pid);
    }
    int failures = 0;
    for (std::size_t i = 0; i < children.size(); ++i) {
        int status = 0;
        waitpid(children[i], &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            ++failures;
            ADD_FAILURE() << "run " << i << " ended with " << status << ": "
                          << test::readFile(m_root.path() / ("errors" + std::to_string(i)));
        }
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(storedBundleNames(), App::defaultBundleNames());
}

TEST_F(QuilletCommandFaultsTest, StandardStreamsThatFailEndWithTwoAndAMessage)
{
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        std::function<void()> inChild;
        const char* message;
    };
    const Case cases[] = {
        { "input closed", { "expand" }, [] { close(STDIN_FILENO); }, "quillet: standard input is closed\n" },
        { "input a folder", { "expand" }, [] { dup2(open("/", O_RDONLY | O_DIRECTORY), STDIN_FILENO); },
            "quillet: standard input could not be read: Is a directory\n" },
        { "output full", { "expand", "x0" }, [] { dup2(open("/dev/full", O_WRONLY), STDOUT_FILENO); },
            "quillet: the result could not be written to standard output: No space left on device\n" },
        { "output closed", { "expand", "x0" }, [] { close(STDOUT_FILENO); },
            "quillet: the result could not be written: standard output is closed\n" },
    };
    ASSERT_EQ(run({ "expand", "x0" }).exitStatus, 0); // the library is installed and expands
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto result = run(testCase.arguments, {}, testCase.inChild);
        EXPECT_EQ(result.exitStatus, 2);
        EXPECT_EQ(result.standardError, testCase.message);
    }
}

// The command line asks for a large heap up front; where the system will not give that much
// address space (a limit, strict overcommit) it must expand all the same. And under any limit
// that lets the program start at all, a run expands, or ends with 2 and says it has no memory:
// never a signal, another status or another answer, and never a library installed in part.
TEST_F(QuilletCommandFaultsTest, UnderEveryLimitOnAddressSpaceARunExpandsOrSaysItHasNoMemory)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer's shadow memory does not fit under a limit on address space";
#endif
    const auto limited = [&](std::size_t bytes, const std::vector<std::string>& arguments) {
        return run(arguments, {}, [bytes] {
            const rlimit limit { bytes, bytes };
            setrlimit(RLIMIT_AS, &limit);
        });
    };
    // Default bundles of some size, so that reading and installing them takes memory.
    const auto& names = App::defaultBundleNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        auto large = bundle(names[i], i);
        for (int k = 0; k < 150; ++k) {
            const std::string tag = std::to_string(i) + "_" + std::to_string(k);
            large["expanders"].push_back({ { "name", "filler " + tag },
                { "pattern", "filler" + tag + " ${a:text} ${b:word}|, ${c:identifier}|" },
                { "output_template", "filler(${a}, ${b}|, ${c}|)#" }, { "supported_languages", { "any" } } });
        }
        test::writeFile(prefix() / "share" / "quillet" / "bundles" / (names[i] + ".qlbundle"), large.dump(2));
    }
    const auto expected = run({ "expand", "x0" });
    ASSERT_EQ(expected.exitStatus, 0) << expected.standardError;
    // Below the size of the program's own image the system cannot start it: the least limit
    // under which it answers at all, found from below.
    constexpr std::size_t mebibyte = std::size_t { 1 } << 20;
    std::size_t least = 8 * mebibyte;
    while (least < 512 * mebibyte && limited(least, { "--help" }).exitStatus != 0)
        least += mebibyte;
    ASSERT_LT(least, 512 * mebibyte);
    std::vector<std::size_t> limits { 300 * mebibyte };
    for (std::size_t limit = least; limit < least + 64 * mebibyte; limit += mebibyte)
        limits.push_back(limit);

    struct Case {
        const char* name;
        bool firstRun; // no library and no cache yet
    };
    for (const Case& testCase : { Case { "a first run", true }, Case { "a later run", false } }) {
        SCOPED_TRACE(testCase.name);
        int expansions = 0;
        for (const std::size_t limit : limits) {
            SCOPED_TRACE(std::to_string(limit / 1024) + " KiB");
            if (testCase.firstRun) {
                fs::remove_all(m_root.path() / "data");
                fs::remove_all(m_root.path() / "cache");
            }
            const auto result = limited(limit, { "expand", "x0" });
            if (result.exitStatus == 0) {
                ++expansions;
                EXPECT_EQ(result.standardOutput, expected.standardOutput);
            } else {
                EXPECT_EQ(result.exitStatus, 2) << result.standardError;
                EXPECT_NE(result.standardError.find("quillet: out of memory\n"), std::string::npos)
                    << result.standardError;
                EXPECT_EQ(result.standardOutput, "");
            }
            if (fs::exists(libraryFile())) {
                EXPECT_EQ(storedBundleNames(), App::defaultBundleNames());
            }
        }
        EXPECT_GT(expansions, 0);
    }
}

// What a run keeps for the next one is only a cache: whatever stands where its files go, a run
// expands as it would without it, at once, and leaves a cache the next run can use.
TEST_F(QuilletCommandFaultsTest, WhateverStandsWhereTheCacheGoesARunExpandsAndReplacesIt)
{
    const fs::path folder = m_root.path() / "cache" / "com.orvanta.Quillet";
    const auto expected = run({ "expand", lastPattern() });
    ASSERT_EQ(expected.exitStatus, 0) << expected.standardError;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        files.push_back(entry.path());
    ASSERT_FALSE(files.empty());
    std::map<fs::path, std::string> kept;
    for (const auto& file : files)
        kept[file] = test::readFile(file);

    const fs::path fifo = m_root.path() / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const fs::path elsewhere = m_root.path() / "elsewhere";
    constexpr std::uintmax_t hugeSize = std::uintmax_t { 100 } << 30;
    test::writeFile(elsewhere, "");
    fs::resize_file(elsewhere, hugeSize);
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> put;
    };
    const Case cases[] = {
        { "a FIFO", [](const fs::path& file) { mkfifo(file.c_str(), 0600); } },
        { "an empty folder", [](const fs::path& file) { fs::create_directory(file); } },
        // A link is replaced, never written through (so no link here may lead to a device).
        { "a link to a huge file elsewhere", [&](const fs::path& file) { fs::create_symlink(elsewhere, file); } },
        { "a link to a FIFO", [&](const fs::path& file) { fs::create_symlink(fifo, file); } },
        { "a huge sparse file",
            [](const fs::path& file) {
                test::writeFile(file, "");
                fs::resize_file(file, std::uintmax_t { 100 } << 30);
            } },
        { "the kept file with a megabyte more",
            [&](const fs::path& file) { test::writeFile(file, kept[file] + std::string(1 << 20, 'q')); } },
        { "the kept file cut short",
            [&](const fs::path& file) { test::writeFile(file, kept[file].substr(0, kept[file].size() / 2)); } },
        { "an unreadable file",
            [&](const fs::path& file) {
                test::writeFile(file, kept[file]);
                fs::permissions(file, fs::perms::none);
            } },
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        for (const auto& file : files) {
            fs::remove_all(file);
            testCase.put(file);
        }
        // A run that waits on the cache is ended by the alarm rather than holding the tests up.
        const auto result = run({ "expand", lastPattern() }, {}, [] { alarm(20); });
        EXPECT_EQ(result.exitStatus, expected.exitStatus) << result.standardError;
        EXPECT_EQ(result.standardOutput, expected.standardOutput);
        EXPECT_EQ(result.standardError, "");
        for (const auto& file : files)
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file))) << file;
    }
    EXPECT_EQ(fs::file_size(elsewhere), hugeSize);
}

TEST_F(QuilletCommandFaultsTest, TextThatIsNotUtf8IsRefusedWithSixtyFiveAndNothingPrinted)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::size_t badByte; // counted from 1
    };
    const Case cases[] = {
        { "stray byte", "\xff x0", 1 },
        { "overlong slash", "a\xc0\xaf x0", 2 },
        { "encoded surrogate", "ab\xed\xa0\x80 x0", 3 },
        { "cut sequence", "x0 \xe2\x82", 4 },
    };
    ASSERT_EQ(run({ "expand", "x0" }).exitStatus, 0);
    const std::string before = test::readFile(libraryFile());
    for (const auto& testCase : cases) {
        for (const bool fromInput : { false, true }) {
            SCOPED_TRACE(std::string(testCase.name) + (fromInput ? " on standard input" : " as argument"));
            const auto result
                = fromInput ? run({ "expand" }, testCase.bytes + "\n") : run({ "expand", testCase.bytes });
            EXPECT_EQ(result.exitStatus, 65);
            EXPECT_EQ(result.standardOutput, "");
            EXPECT_EQ(result.standardError,
                "quillet: the text is not valid UTF-8 (byte " + std::to_string(testCase.badByte) + " of "
                    + std::to_string(testCase.bytes.size()) + "); nothing was expanded\n");
        }
    }
    EXPECT_EQ(test::readFile(libraryFile()), before);
}

TEST_F(QuilletCommandFaultsTest, OneLineEndIsDroppedFromStandardInputAlsoWhenItIsCrLf)
{
    struct Case {
        const char* input;
        int exitStatus;
    };
    for (const auto& [input, exitStatus] : { Case { "x0\r\n", 0 }, Case { "x0\n", 0 }, Case { "x0", 0 },
             Case { "x0\n\n", 1 }, Case { "x0\r\n\r\n", 1 } }) {
        SCOPED_TRACE(nlohmann::json(input).dump());
        const auto result = run({ "expand" }, input);
        EXPECT_EQ(result.exitStatus, exitStatus) << result.standardError;
        if (exitStatus == 0) {
            EXPECT_EQ(result.standardOutput, "{\"text\":\"Swift Basic\",\"cursorPosition\":11}\n");
        }
    }
}

TEST_F(QuilletCommandFaultsTest, WithoutArgumentsItStartsTheTrayApplicationInstalledBesideIt)
{
    // No quillet-app in this installation: the start fails with a message, not a hang.
    const auto result = run({});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.standardError.find("quillet: cannot start " + (prefix() / "bin" / "quillet-app").string()),
        std::string::npos)
        << result.standardError;
}

TEST_F(QuilletCommandFaultsTest, UsageErrorsSayWhatWasWrongBeforeTheUsage)
{
    struct Case {
        std::vector<std::string> arguments;
        int exitStatus;
        std::string standardError; // before the usage text
    };
    // No arguments at all start the tray application instead (the desktop launcher's tests).
    const Case cases[] = {
        { { "explode" }, 64, "quillet: unknown command explode\n" },
        { { "expand", "--bogus" }, 64, "quillet: unknown option --bogus\n" },
        { { "expand", "--extension" }, 64, "quillet: --extension needs a value\n" },
        { { "expand", "--extension=" }, 64, "quillet: --extension needs a value\n" },
        { { "expand", "-", "x0" }, 64, "quillet: more than one text given: x0\n" },
        { { "expand", "x0", "-" }, 64, "quillet: more than one text given: -\n" },
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(nlohmann::json(testCase.arguments).dump());
        const auto result = run(testCase.arguments);
        EXPECT_EQ(result.exitStatus, testCase.exitStatus);
        EXPECT_EQ(result.standardError.substr(0, testCase.standardError.size()), testCase.standardError);
        EXPECT_NE(result.standardError.find("\nusage: quillet expand"), std::string::npos);
    }

    const auto help = run({ "expand", "--record", "--help" });
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_EQ(help.standardOutput.rfind("usage: quillet expand", 0), 0u);
    EXPECT_EQ(help.standardError, "");

    // After "--" a text may begin with "-".
    const auto dashed = run({ "expand", "--", "--record" });
    EXPECT_EQ(dashed.exitStatus, 1) << dashed.standardError;
    EXPECT_EQ(dashed.standardError, "");
}

TEST_F(QuilletCommandFaultsTest, AMovedProgramFindsItsResourcesOrSaysItFoundNone)
{
    struct Case {
        const char* name;
        fs::path programFolder;
        std::optional<fs::path> resources;
    };
    const fs::path elsewhere = m_root.path() / "elsewhere";
    const Case cases[] = {
        { "under another prefix", elsewhere / "usr" / "bin", elsewhere / "usr" / "share" / "quillet" },
        { "beside its resources", elsewhere / "build", elsewhere / "build" / "resources" },
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        fs::remove_all(elsewhere);
        fs::remove_all(m_root.path() / "data");
        install(testCase.programFolder, testCase.resources);
        const auto result = run({ "expand", lastPattern() }, {}, {}, testCase.programFolder / "quillet");
        EXPECT_EQ(result.exitStatus, 0) << result.standardError;
        EXPECT_EQ(storedBundleNames(), App::defaultBundleNames());
    }

    SCOPED_TRACE("alone");
    fs::remove_all(elsewhere);
    fs::remove_all(m_root.path() / "data");
    install(elsewhere / "bin", std::nullopt);
    const auto alone = run({ "expand", "x0" }, {}, {}, elsewhere / "bin" / "quillet");
    EXPECT_EQ(alone.exitStatus, 1);
    EXPECT_EQ(alone.standardError.rfind("Default bundles not found\n", 0), 0u) << alone.standardError;
    EXPECT_NE(alone.standardError.find((elsewhere / "share" / "quillet").string()), std::string::npos);
    EXPECT_FALSE(fs::exists(m_root.path() / "data"));
}

TEST_F(QuilletCommandFaultsTest, ALibraryThatCannotBeLoadedNamesTheExpanderAndTheKey)
{
    nlohmann::json broken = bundle("Mine", 0);
    broken["expanders"].push_back(
        { { "name", "Loop" }, { "output_template", "" }, { "supported_languages", { "any" } } });
    fs::create_directories(libraryFile().parent_path());
    const std::string content = nlohmann::json { { "bundles", { bundle("First", 1), broken } } }.dump();
    test::writeFile(libraryFile(), content);

    const auto result = run({ "expand", "x0" });

    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_EQ(result.standardError,
        "JSON reading error\nBundle 2 (\u201CMine\u201D) of the library could not be read: "
        "expander 2 (\u201CLoop\u201D): \u201Cpattern\u201D is missing.\n");
    EXPECT_EQ(test::readFile(libraryFile()), content);
}

TEST_F(QuilletCommandFaultsTest, Md5AndSha1ExpandWhenTheCryptoProviderRefusesThem)
{
    // Only the base provider: it offers no digest at all, as a FIPS setup offers no md5.
    const fs::path configuration = m_root.path() / "openssl.cnf";
    test::writeFile(configuration,
        "openssl_conf = init\n[init]\nproviders = providers\n"
        "[providers]\nbase = base\n[base]\nactivate = 1\n");
    fs::create_directories(libraryFile().parent_path());
    nlohmann::json digests = bundle("Digests", 0);
    digests["expanders"][0]["pattern"] = "digest ${x:word}";
    digests["expanders"][0]["output_template"] = "${x.md5} ${x.sha1}";
    test::writeFile(libraryFile(), nlohmann::json { { "bundles", { digests } } }.dump());

    const auto result = run({ "expand", "digest abc" }, {}, {}, {}, { { "OPENSSL_CONF", configuration.string() } });

    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_EQ(result.standardOutput,
        "{\"text\":\"900150983cd24fb0d6963f7d28e17f72 "
        "a9993e364706816aba3e25717850c26c9cd0d89d\",\"cursorPosition\":73}\n");
}

} // namespace
} // namespace quillet
