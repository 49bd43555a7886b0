#include "text/RegularFile.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

namespace quillet {
namespace {

using Outcome = RegularFileRead::Outcome;

TEST(RegularFile, ReadsARegularFileWithinItsLimitAndNothingElseWithoutBlocking)
{
    test::TempDir folder;
    struct Case {
        const char* what;
        std::function<void(const std::filesystem::path&)> make;
        std::size_t largest;
        Outcome outcome;
        std::string bytes;
        int error;
    };
    const auto file = [](std::string content) {
        return [content](const std::filesystem::path& path) { test::writeFile(path, content); };
    };
    const Case cases[] = {
        { "a file at its limit", file("abc"), 3, Outcome::read, "abc", 0 },
        { "an empty file", file(""), 3, Outcome::read, "", 0 },
        { "a file without a limit", file(std::string(200'000, 'x')), std::size_t(-1), Outcome::read,
            std::string(200'000, 'x'), 0 },
        { "a file past its limit", file("abcd"), 3, Outcome::tooLarge, "", 0 },
        { "a folder", [](const auto& path) { std::filesystem::create_directory(path); }, 3, Outcome::notRegular, "",
            0 },
        // Opened for reading with no writer, a pipe would block a reader that waited for one.
        { "a pipe", [](const auto& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }, 3, Outcome::notRegular, "", 0 },
        { "nothing", [](const auto&) {}, 3, Outcome::notOpened, "", ENOENT },
    };
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto path = folder.path() / std::to_string(++number);
        c.make(path);
        const RegularFileRead read = readRegularFile(path, c.largest);
        EXPECT_EQ(read.outcome, c.outcome);
        EXPECT_EQ(read.ok(), c.outcome == Outcome::read);
        EXPECT_EQ(read.bytes, c.bytes);
        EXPECT_EQ(read.error, c.error);
    }
}

TEST(RegularFile, AnOpenFileIsReadWholeWithTheStatusItHadAndStaysOpen)
{
    test::TempDir folder;
    const auto path = folder.path() / "file";
    test::writeFile(path, "hello");
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const RegularFileRead read = readOpenRegularFile(fd);
    EXPECT_TRUE(read.ok());
    EXPECT_EQ(read.bytes, "hello");
    EXPECT_EQ(read.status.st_size, 5);
    struct stat status { };
    EXPECT_EQ(fstat(fd, &status), 0) << "the descriptor is the caller's to close";
    close(fd);
}

} // namespace
} // namespace quillet
