#pragma once

#include "library/DictionaryReader.h"

#include <unicode/unistr.h>

#include <concepts>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quillet {

/// A value that is read from a JSON object (a constructor that may throw) and written
/// back as one (made only of strings, numbers, booleans, arrays and objects).
template <typename T>
concept JSONSerializable = std::constructible_from<T, const JSONDictionary&> && requires(const T& value)
{
    {
        value.dictionary()
        } -> std::convertible_to<JSONDictionary>;
};

namespace detail {

/// The user-facing texts of the store, looked up when a store is created.
struct JSONStoreTexts {
    icu::UnicodeString parsingErrorTitle;
    icu::UnicodeString invalidFormatError;
    icu::UnicodeString fileCouldBeNotReadErrorTitle;
    icu::UnicodeString savingErrorTitle;

    static JSONStoreTexts localizedTexts();
};

/// Which file a path named when it was last read or written: another writer's rename or
/// rewrite changes it.
struct FileIdentity {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    long long size = 0;
    long long modifiedSeconds = 0;
    long long modifiedNanoseconds = 0;

    bool operator==(const FileIdentity&) const = default;

    /// The file the path names now (links followed); none when nothing is there.
    static std::optional<FileIdentity> of(const std::filesystem::path& path);
};

/// What JSONDictionary::parse gives for the bytes (the same value, key order and errors), built
/// without copying the filled values of objects that grow.
JSONDictionary parseJSONDictionary(const std::string& bytes);

/// The top-level object of the file, or none when nothing exists at the path.
/// Throws CbError ("File could not be read", the path) when the file exists but cannot be
/// read (also when its existence cannot be checked), PlatformError with the JSON reader's
/// description for text that is not JSON, and CbError ("JSON reading error", "Parsing file
/// has an invalid format.") for a top level that is not an object.
/// The identity of the file that was read goes to `identity` when given, and its bytes to
/// `readBytes` (when an object was read from them).
std::optional<JSONDictionary> readJSONDictionary(const std::filesystem::path& path, const JSONStoreTexts& texts,
    std::optional<FileIdentity>* identity = nullptr, std::string* readBytes = nullptr);

/// Removes the temporary files that an interrupted save of the file left beside it (named
/// ".<file name>.XXXXXX") when they are older than a save could take.
void removeStaleTemporaryFiles(const std::filesystem::path& path);

/// Writes the object pretty-printed as UTF-8 into a new file, atomically, unless something is
/// already at the path: false then, and nothing is written. Throws as writeJSONDictionary.
bool createJSONDictionaryFile(
    const std::filesystem::path& path, const JSONDictionary& dictionary, const JSONStoreTexts& texts);

/// Writes the object pretty-printed as UTF-8, atomically; throws CbError ("File could not be
/// written", the path) when encoding, creating the folder or writing fails.
void writeJSONDictionary(
    const std::filesystem::path& path, const JSONDictionary& dictionary, const JSONStoreTexts& texts);

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
/// std::filesystem::filesystem_error) is thrown.
void writeFileAtomically(
    const std::filesystem::path& path, std::string_view bytes, AtomicWrite how = AtomicWrite::keptFile);

/// An advisory lock (flock) on a file beside the stored one, named ".<file name>.lock":
/// every writer of the file holds it around reading, comparing and replacing the file, so two
/// processes take turns and neither replaces what the other wrote without having read it.
/// Waits for the lock; held until destroyed. Where no lock file can be made (a read-only
/// folder), nothing is locked: a save there fails anyway.
class FileLock {
public:
    explicit FileLock(const std::filesystem::path& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    /// The lock file of the stored file at the path.
    static std::filesystem::path lockFilePath(const std::filesystem::path& path);

private:
    int m_fd = -1;
};

} // namespace detail

/// One JSON-serializable value tied to one file.
///
/// Creating the store loads the value; a failing load leaves no store, so nothing can ever
/// be saved over a file that could not be read. save() rewrites the whole file atomically:
/// a failed or interrupted save leaves the previous file whole. Not thread-safe.
template <JSONSerializable T> class JSONSerializableStore {
public:
    /// Loads the value from the file, or builds it from an empty object when nothing exists
    /// at the path (the file is not created). Throws the errors of detail::readJSONDictionary
    /// and whatever T's reader throws.
    explicit JSONSerializableStore(std::filesystem::path path)
        : m_texts(detail::JSONStoreTexts::localizedTexts())
        , m_path(std::move(path))
    {
        const auto dictionary = detail::readJSONDictionary(m_path, m_texts, &m_identity, &m_loadedBytes);
        m_foundFile = dictionary.has_value();
        // Not `dictionary ? *dictionary : object()`: the conditional's value would be a copy of
        // the whole object read, which took as long as building the library from it.
        m_serializable = dictionary ? std::make_unique<T>(*dictionary) : std::make_unique<T>(JSONDictionary::object());
    }

    /// Whether the value was read from a file; false when nothing existed at the path (a
    /// first run). Decided by the load itself, so no later look at the path can disagree.
    bool foundFile() const noexcept { return m_foundFile; }

    /// Writes the value's dictionary. Throws only CbError (title "File could not be
    /// written", the file's path as description).
    void save()
    {
        auto dictionary = m_serializable->dictionary();
        detail::writeJSONDictionary(m_path, dictionary, m_texts);
        m_identity = detail::FileIdentity::of(m_path);
        m_savedDictionary = std::move(dictionary);
        m_loadedBytes = std::string();
    }

    /// Whether the file at the path is another than the one last loaded or saved (someone
    /// else wrote it since). A file that is gone counts as unchanged: nothing there is lost.
    bool fileChangedElsewhere() const
    {
        const auto now = detail::FileIdentity::of(m_path);
        return now && now != m_identity;
    }

    /// Makes other writers of the file wait until the result is destroyed (detail::FileLock).
    std::unique_ptr<detail::FileLock> lockForWriting() const { return std::make_unique<detail::FileLock>(m_path); }

    /// Reads the file as it is now, without touching the value; the errors of the load. The
    /// identity of the file read goes to `identity` when given.
    std::optional<JSONDictionary> readFileAsItIsNow(std::optional<detail::FileIdentity>* identity = nullptr) const
    {
        return detail::readJSONDictionary(m_path, m_texts, identity);
    }

    /// Counts the object (as the value writes it) as the file last read, with the file's
    /// identity: the value has taken in what it holds, so a save that fails afterwards leaves
    /// nothing of it to take in again.
    void markAsRead(JSONDictionary dictionary, std::optional<detail::FileIdentity> identity)
    {
        m_identity = identity;
        m_savedDictionary = std::move(dictionary);
        m_loadedBytes = std::string();
    }

    /// The object last loaded or saved, as the value writes it.
    const JSONDictionary& savedDictionary() const
    {
        // Written out on first need only: most runs (the command line's) never compare, and
        // writing a large library out took as long as reading it. A value read again from the
        // loaded bytes writes what the loaded value wrote then, whatever changed it since; the
        // bytes take a fraction of the memory of the object read from them.
        if (!m_savedDictionary) {
            m_savedDictionary
                = T(m_foundFile ? detail::parseJSONDictionary(m_loadedBytes) : JSONDictionary::object()).dictionary();
        }
        return *m_savedDictionary;
    }

    /// Writes the value's dictionary only when no file exists at the path (another process
    /// may have created one since the load); false then, and nothing is written. The file
    /// appears whole or not at all. Throws as save().
    bool saveIfAbsent()
    {
        auto dictionary = m_serializable->dictionary();
        if (!detail::createJSONDictionaryFile(m_path, dictionary, m_texts))
            return false;
        m_identity = detail::FileIdentity::of(m_path);
        m_savedDictionary = std::move(dictionary);
        m_loadedBytes = std::string();
        return true;
    }

    const std::filesystem::path& path() const noexcept { return m_path; }
    T& serializable() noexcept { return *m_serializable; }
    const T& serializable() const noexcept { return *m_serializable; }

private:
    detail::JSONStoreTexts m_texts;
    std::filesystem::path m_path;
    std::unique_ptr<T> m_serializable;
    bool m_foundFile = false;
    std::optional<detail::FileIdentity> m_identity;
    /// The bytes of the file read at the load (when one was), until the first save: what
    /// savedDictionary() is made from.
    std::string m_loadedBytes;
    /// Made on first need (see savedDictionary()); mutable as a cache of a value fixed at the
    /// load or the last save, which the store's owner reads and writes on one thread.
    mutable std::optional<JSONDictionary> m_savedDictionary;
};

} // namespace quillet
