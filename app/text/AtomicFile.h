#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string_view>

namespace quillet {

/// Which file a path named when it was read or written: another writer's rename or rewrite
/// changes it.
struct FileIdentity {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    long long size = 0;
    long long modifiedSeconds = 0;
    long long modifiedNanoseconds = 0;

    bool operator==(const FileIdentity&) const = default;

    /// The file the path names now (links followed); none when nothing is there.
    static std::optional<FileIdentity> of(const std::filesystem::path& path);
    static FileIdentity of(const struct stat& status);
};

/// What an atomic write replaces, and how it keeps the bytes.
enum class AtomicWrite {
    /// A file the user keeps: a symbolic link is written through to its target (a link whose
    /// target is missing is refused), the replaced file's permissions are kept (rw-r--r-- for a
    /// new one), and the bytes and the rename are flushed to disk.
    keptFile,
    /// A file the program makes again whenever it is missing or damaged (a cache): whatever
    /// stands at the path is replaced, a symbolic link, a FIFO or an empty folder included (a
    /// folder with files in it is refused); the file is its owner's alone; nothing is flushed.
    remadeFile,
};

/// Replaces the file with the bytes so that a reader only ever sees the old or the new
/// content: the bytes go to a temporary file in the same folder (named ".<file name>.XXXXXX")
/// and are renamed over the target, as `how` says. Creates missing folders. On failure the
/// temporary file is removed, the target is untouched and std::system_error (or
/// std::filesystem::filesystem_error) is thrown. The identity of the file written, as its
/// descriptor gave it before the rename.
FileIdentity writeFileAtomically(
    const std::filesystem::path& path, std::string_view bytes, AtomicWrite how = AtomicWrite::keptFile);

/// Writes a kept file as writeFileAtomically() does, but only in the place of the file that
/// `expected` names (none: only where nothing is), looked at again right before the rename.
/// Where the file system can swap two names in one step, the file that the swap took out of
/// place is checked too and put back when it is not the expected one, so that a file another
/// writer renamed in at that moment is never lost; elsewhere a window of a few system calls
/// remains. None, and nothing written, when another file stands there; else the identity of
/// the file written. Throws as writeFileAtomically().
std::optional<FileIdentity> replaceFileAtomically(
    const std::filesystem::path& path, std::string_view bytes, const std::optional<FileIdentity>& expected);

/// Moves `from` (a file or a folder) to a new name beside `path` for a copy kept of it:
/// "<path>.<time>.<kind>", or "<path>.<time>-<n>.<kind>" (n = 2, 3, …) when that name is
/// taken, so that a copy kept earlier is never replaced. The name taken. Throws
/// std::system_error when nothing could be moved.
std::filesystem::path moveToKeptName(
    const std::filesystem::path& from, const std::filesystem::path& path, std::string_view kind);

/// Writes the bytes as a kept file (writeFileAtomically) under a new name beside `path`, named
/// as moveToKeptName() names it, never over another file. The name written. Throws as
/// writeFileAtomically().
std::filesystem::path writeKeptCopy(const std::filesystem::path& path, std::string_view kind, std::string_view bytes);

/// Counts a write of a file while it lives, its preparation included (every atomic write
/// counts itself).
class FileWriteUnderWay {
public:
    FileWriteUnderWay() noexcept;
    ~FileWriteUnderWay();
    FileWriteUnderWay(const FileWriteUnderWay&) = delete;
    FileWriteUnderWay& operator=(const FileWriteUnderWay&) = delete;
};

/// How many writes of files run now, on any thread: a process waiting for its disk to take one
/// (a slow disk's flush may take many seconds) is not stuck.
int fileWritesUnderWay() noexcept;

/// Removes the temporary files that interrupted atomic writes of the file left beside it,
/// whatever their age: regular files of this user (not links) named ".<file name>.XXXXXX", six
/// letters and digits. Only for a caller that holds the lock that every writer of the file
/// holds while it writes (FileLock), so that no write under way loses its file.
void removeStaleTemporaryFiles(const std::filesystem::path& path);

} // namespace quillet
