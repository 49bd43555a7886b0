#include "text/FileLock.h"

#include "text/AtomicFile.h"

#include "support/LockHolder.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace quillet {
namespace {

using namespace std::chrono_literals;

using test::anotherProcessCanLock;
using test::LockHolder;

TEST(FileLock, LocksThroughAnyLockFileItCanOpenAndSaysWhenItCannot)
{
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path& lockFile)> make;
        FileLock::State state;
    };
    const Case cases[] = {
        { "no lock file yet", [](const auto&) {}, FileLock::State::held },
        { "a lock file that only reads",
            [](const auto& file) {
                test::writeFile(file, "");
                chmod(file.c_str(), 0444);
            },
            FileLock::State::held },
        { "a folder in its place", [](const auto& file) { std::filesystem::create_directory(file); },
            FileLock::State::held },
        { "a link to a file",
            [](const auto& file) {
                test::writeFile(file.parent_path() / "elsewhere", "");
                std::filesystem::create_symlink(file.parent_path() / "elsewhere", file);
            },
            FileLock::State::held },
        { "a link to nothing",
            [](const auto& file) { std::filesystem::create_symlink(file.parent_path() / "gone", file); },
            FileLock::State::unavailable },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const auto stored = dir.path() / "bundles.qlbundles";
        const auto lockFile = FileLock::lockFilePath(stored);
        EXPECT_EQ(lockFile, dir.path() / ".bundles.qlbundles.lock");
        c.make(lockFile);
        {
            const FileLock lock(stored, 0ms);
            ASSERT_EQ(lock.state(), c.state);
            if (c.state == FileLock::State::held) {
                EXPECT_FALSE(anotherProcessCanLock(lockFile));
            } else {
                EXPECT_NE(lock.error(), 0);
            }
        }
        if (c.state == FileLock::State::held) {
            EXPECT_TRUE(anotherProcessCanLock(lockFile)); // let go with the object
        }
    }
}

TEST(FileLock, WaitsForAnotherHolderOnlyAsLongAsItIsToldAndTakesTheLockOnceFree)
{
    test::TempDir dir;
    const auto stored = dir.path() / "bundles.qlbundles";
    LockHolder holder(FileLock::lockFilePath(stored));
    EXPECT_EQ(FileLock(stored, 30ms).state(), FileLock::State::busy);
    holder.release();
    const FileLock lock(stored, 10s);
    EXPECT_TRUE(lock.isHeld());
}

TEST(AtomicFile, ReplacesOnlyTheExpectedFileAndKeepsOneRenamedInMeanwhile)
{
    struct Case {
        const char* name;
        /// What happens to the file between the look that gave `expected` and the write.
        std::function<void(const std::filesystem::path& file)> meanwhile;
        bool written;
        std::string left;
    };
    const auto renamedIn = [](const std::string& content) {
        return [content](const std::filesystem::path& file) {
            test::writeFile(file.parent_path() / "theirs", content);
            std::filesystem::rename(file.parent_path() / "theirs", file);
        };
    };
    const Case cases[] = {
        { "nothing", [](const auto&) {}, true, "ours" },
        { "another version renamed in", renamedIn("theirs"), false, "theirs" },
        { "the same bytes renamed in", renamedIn("before"), false, "before" },
        { "removed", [](const auto& file) { std::filesystem::remove(file); }, false, "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const auto file = dir.path() / "bundles.qlbundles";
        test::writeFile(file, "before");
        const auto expected = FileIdentity::of(file);
        c.meanwhile(file);
        const auto written = replaceFileAtomically(file, "ours", expected);
        EXPECT_EQ(written.has_value(), c.written);
        EXPECT_EQ(std::filesystem::exists(file) ? test::readFile(file) : "", c.left);
        if (written) {
            EXPECT_EQ(written, FileIdentity::of(file)); // the file written, as its descriptor gave it
        }
        int others = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            others += entry.path() != file;
        EXPECT_EQ(others, 0) << "a temporary file was left";
    }
}

} // namespace
} // namespace quillet
