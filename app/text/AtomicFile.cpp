#include "text/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <ctime>
#include <string>
#include <system_error>

namespace quillet {

namespace {

std::atomic<int> writesUnderWay { 0 };

[[noreturn]] void throwSystemError(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

/// Where the temporary file goes.
enum class Placement {
    /// Over whatever stands there.
    replace,
    /// Only where nothing stands.
    create,
    /// Only over the expected file.
    replaceExpected,
};

/// The longest run of kept copies of one kind within one second that is named; past it a
/// folder is full of them and something else is wrong.
constexpr int mostKeptCopiesInASecond = 1000;

/// The n-th name (from 1) of a copy of `path` kept at `time`.
std::filesystem::path keptName(const std::filesystem::path& path, std::time_t time, int n, std::string_view kind)
{
    auto kept = path;
    kept += "." + std::to_string(time) + (n > 1 ? "-" + std::to_string(n) : std::string()) + "." + std::string(kind);
    return kept;
}

/// Puts `theirs`, a file that stood in the target's place, under a name beside it that no
/// clean-up takes for a temporary file.
void keepAside(const std::string& theirs, const std::filesystem::path& path)
{
    try {
        moveToKeptName(theirs, path, "displaced");
    } catch (const std::system_error&) {
        // Left under the temporary name: nothing better can be done with it here.
    }
}

/// Swaps the temporary file with the expected one; false when another file stands there (the
/// temporary file then holds our bytes again, for the caller to remove).
bool exchangeWithExpected(const std::string& temporary, const std::filesystem::path& path, const FileIdentity& expected)
{
    if (FileIdentity::of(path) != expected)
        return false;
    if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) != 0) {
        if (errno == ENOENT)
            return false; // removed since the look: not the expected file any more
        if (errno != EINVAL && errno != ENOSYS)
            throwSystemError("cannot replace the file");
        // No swap on this file system: the rename follows the look as closely as it can.
        if (rename(temporary.c_str(), path.c_str()) != 0)
            throwSystemError("cannot replace the file");
        return true;
    }
    // The temporary name now holds what stood in the file's place at the swap.
    struct stat displaced { };
    if (lstat(temporary.c_str(), &displaced) == 0 && FileIdentity::of(displaced) == expected) {
        unlink(temporary.c_str());
        return true;
    }
    // Another writer renamed its file in between the look and the swap: it goes back.
    if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0)
        return false;
    keepAside(temporary, path);
    return true;
}

/// Moves the temporary file to the path; false when the placement forbids it (the temporary
/// file is then left to the caller).
bool moveInPlace(const std::string& temporary, const std::filesystem::path& path, Placement placement,
    const std::optional<FileIdentity>& expected, AtomicWrite how)
{
    if (placement == Placement::replace) {
        if (rename(temporary.c_str(), path.c_str()) == 0)
            return true;
        // A rename cannot replace a folder: an empty one in a remade file's place is taken away
        // first; one with files in it is left alone.
        if (errno == EISDIR && how == AtomicWrite::remadeFile && rmdir(path.c_str()) == 0
            && rename(temporary.c_str(), path.c_str()) == 0)
            return true;
        throwSystemError("cannot replace the file");
    }
    if (placement == Placement::replaceExpected && expected)
        return exchangeWithExpected(temporary, path, *expected);
    if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    if (errno != EINVAL && errno != ENOSYS)
        throwSystemError("cannot create the file");
    // A file system without the exclusive rename: a hard link fails just as atomically when
    // the name is taken; the temporary name is then removed by the caller.
    if (link(temporary.c_str(), path.c_str()) == 0) {
        unlink(temporary.c_str());
        return true;
    }
    if (errno == EEXIST)
        return false;
    throwSystemError("cannot create the file");
}

std::optional<FileIdentity> writeAtomically(const std::filesystem::path& linkOrFile, std::string_view bytes,
    AtomicWrite how, Placement placement, const std::optional<FileIdentity>& expected)
{
    const FileWriteUnderWay underWay;
    const bool kept = how == AtomicWrite::keptFile;
    // A file kept elsewhere through a symbolic link is written where the link points;
    // renaming over the link itself would detach it from the real file.
    std::filesystem::path path = linkOrFile;
    if (kept && std::filesystem::is_symlink(linkOrFile)) {
        // A link to a folder not mounted yet: a plain file in its place would cut the user's
        // file off, and the link would be lost.
        if (!std::filesystem::exists(linkOrFile))
            throw std::system_error(ENOENT, std::generic_category(), "the link points to nothing");
        path = std::filesystem::weakly_canonical(linkOrFile);
    }
    const auto folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    std::filesystem::create_directories(folder);

    // The temporary file must be in the target's folder: rename is atomic only within one file system.
    std::string temporary = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        throwSystemError("cannot create a temporary file");

    auto fail = [&](const char* what) {
        const int savedErrno = errno;
        if (fd >= 0)
            close(fd);
        unlink(temporary.c_str());
        errno = savedErrno;
        throwSystemError(what);
    };

    // Keep the permissions of the file being replaced; a new file gets the usual rw-r--r--. A
    // remade file keeps the rw------- of the temporary file.
    struct stat existing { };
    if (kept && fchmod(fd, stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644) != 0)
        fail("cannot set the permissions of the temporary file");

    const char* data = bytes.data();
    std::size_t remaining = bytes.size();
    while (remaining > 0) {
        const ssize_t written = write(fd, data, remaining);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            fail("cannot write the temporary file");
        }
        data += written;
        remaining -= static_cast<std::size_t>(written);
    }
    if (kept && fsync(fd) != 0)
        fail("cannot flush the temporary file");
    // The identity of what we wrote, taken before the rename: a look at the path afterwards
    // may already see another writer's file.
    struct stat writtenStatus { };
    if (fstat(fd, &writtenStatus) != 0)
        fail("cannot look at the temporary file");
    if (close(fd) != 0) {
        const int savedErrno = errno;
        unlink(temporary.c_str());
        errno = savedErrno;
        throwSystemError("cannot close the temporary file");
    }
    bool moved = false;
    try {
        moved = moveInPlace(temporary, path, placement, expected, how);
    } catch (...) {
        unlink(temporary.c_str());
        throw;
    }
    if (!moved) {
        unlink(temporary.c_str());
        return std::nullopt;
    }
    // Make the rename itself durable; a failure here no longer endangers the data.
    const int folderFd = kept ? open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (folderFd >= 0) {
        fsync(folderFd);
        close(folderFd);
    }
    return FileIdentity::of(writtenStatus);
}

} // namespace

std::optional<FileIdentity> FileIdentity::of(const std::filesystem::path& path)
{
    struct stat status { };
    if (stat(path.c_str(), &status) != 0)
        return std::nullopt;
    return of(status);
}

FileIdentity FileIdentity::of(const struct stat& status)
{
    return {
        .device = status.st_dev,
        .inode = status.st_ino,
        .size = status.st_size,
        .modifiedSeconds = status.st_mtim.tv_sec,
        .modifiedNanoseconds = status.st_mtim.tv_nsec,
    };
}

FileIdentity writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, AtomicWrite how)
{
    return *writeAtomically(path, bytes, how, Placement::replace, std::nullopt);
}

std::optional<FileIdentity> replaceFileAtomically(
    const std::filesystem::path& path, std::string_view bytes, const std::optional<FileIdentity>& expected)
{
    return writeAtomically(
        path, bytes, AtomicWrite::keptFile, expected ? Placement::replaceExpected : Placement::create, expected);
}

std::filesystem::path moveToKeptName(
    const std::filesystem::path& from, const std::filesystem::path& path, std::string_view kind)
{
    const std::time_t now = std::time(nullptr);
    for (int n = 1; n <= mostKeptCopiesInASecond; ++n) {
        const auto kept = keptName(path, now, n, kind);
        if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, kept.c_str(), RENAME_NOREPLACE) == 0)
            return kept;
        if (errno == EEXIST)
            continue;
        if (errno != EINVAL && errno != ENOSYS)
            throwSystemError("cannot keep the file under another name");
        // A file system without the exclusive rename: a hard link is just as exclusive.
        if (link(from.c_str(), kept.c_str()) == 0) {
            unlink(from.c_str());
            return kept;
        }
        if (errno != EEXIST)
            throwSystemError("cannot keep the file under another name");
    }
    throw std::system_error(EEXIST, std::generic_category(), "too many kept copies");
}

std::filesystem::path writeKeptCopy(const std::filesystem::path& path, std::string_view kind, std::string_view bytes)
{
    const std::time_t now = std::time(nullptr);
    for (int n = 1; n <= mostKeptCopiesInASecond; ++n) {
        const auto kept = keptName(path, now, n, kind);
        // Any name there is taken, a link too: a kept copy is never written through one.
        struct stat taken { };
        if (lstat(kept.c_str(), &taken) == 0)
            continue;
        if (writeAtomically(kept, bytes, AtomicWrite::keptFile, Placement::create, std::nullopt))
            return kept;
    }
    throw std::system_error(EEXIST, std::generic_category(), "too many kept copies");
}

FileWriteUnderWay::FileWriteUnderWay() noexcept
{
    ++writesUnderWay;
}

FileWriteUnderWay::~FileWriteUnderWay()
{
    --writesUnderWay;
}

int fileWritesUnderWay() noexcept
{
    return writesUnderWay.load();
}

void removeStaleTemporaryFiles(const std::filesystem::path& path)
{
    std::error_code error;
    std::filesystem::path target = path;
    if (std::filesystem::is_symlink(path, error))
        target = std::filesystem::weakly_canonical(path, error);
    if (error)
        return;
    const std::string prefix = "." + target.filename().string() + ".";
    const auto folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    const auto isTemporaryName = [&prefix](const std::string& name) {
        // mkostemp's six letters and digits after the prefix, as writeAtomically() names them.
        constexpr std::size_t letters = 6;
        if (name.size() != prefix.size() + letters || name.compare(0, prefix.size(), prefix) != 0)
            return false;
        return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
            [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
    };
    const int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (!isTemporaryName(name))
            continue;
        // Only a regular file of this user (never a link, never another's file that looks alike).
        struct stat status { };
        if (fstatat(folderFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode)
            && status.st_uid == geteuid())
            unlinkat(folderFd, name.c_str(), 0);
    }
    close(folderFd);
}

} // namespace quillet
