#pragma once

#include "library/DictionaryReader.h"
#include "library/JSONSerializableStore.h"
#include "text/AtomicFile.h"

#include <unicode/unistr.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace quillet {

/// Writes versions of the library file, one after another, on a thread of its own: the
/// encoding, the wait for the library's lock, the write and its flush to disk never hold the
/// thread that took the version (the desktop's event loop, which answers D-Bus callers and
/// the keyboard meanwhile). Each write is atomic (a temporary file renamed in place) and
/// replaces only the file that the version was made against.
class LibraryWriter {
public:
    /// A version of the library to write, taken on the owner's thread.
    struct Version {
        JSONDictionary library;
        /// The file this version replaces: the one last loaded, written or read (none when
        /// none was). Where another file stands there, nothing is written.
        std::optional<FileIdentity> replaces;
        /// The longest the write waits for another process's lock.
        std::chrono::milliseconds lockWait { 0 };
    };

    struct Written {
        enum class Outcome {
            written,
            /// Another file stands in the library's place: its changes are to be merged first.
            replacedElsewhere,
            /// Another process held the lock for the whole wait.
            busy,
            /// No lock can be had at all (lockError says why).
            unavailable,
            /// The write failed (failure says why, naming the file).
            failed,
        };
        Outcome outcome = Outcome::failed;
        /// The version, handed back: what the file holds once written.
        JSONDictionary library;
        /// The file written.
        std::optional<FileIdentity> identity;
        int lockError = 0;
        icu::UnicodeString failure;
    };

    /// Runs an action on the owner's thread soon; callable from any thread.
    using Post = std::function<void(std::function<void()>)>;

    /// A writer of the file at the path whose results come back through `post`. Throws
    /// std::system_error when no thread can be had.
    LibraryWriter(std::filesystem::path path, Post post);
    /// Waits for the write under way, whose result is then dropped.
    ~LibraryWriter();
    LibraryWriter(const LibraryWriter&) = delete;
    LibraryWriter& operator=(const LibraryWriter&) = delete;

    /// Writes the version on the writer's thread; `done` gets the result on the owner's thread.
    /// Only while no write is under way.
    void start(Version version, std::function<void(Written)> done);
    /// Whether a write is under way (or its result not yet delivered).
    bool isWriting() const;
    /// Waits for the write under way and gives its result here rather than to its `done`
    /// (none when none was under way): the end of the process, which waits for the disk.
    std::optional<Written> finish();

    /// Writes the version on the calling thread.
    static Written write(const std::filesystem::path& path, Version version, const detail::JSONStoreTexts& texts);

private:
    struct Shared;
    void run();

    std::filesystem::path m_path;
    detail::JSONStoreTexts m_texts;
    Post m_post;
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};

} // namespace quillet
