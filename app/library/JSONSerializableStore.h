#pragma once

#include "library/DictionaryReader.h"
#include "text/AtomicFile.h"
#include "text/FileLock.h"

#include <unicode/unistr.h>

#include <chrono>
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

/// The largest library file that is read, and written: a larger file is refused before a byte
/// of it is read, and a save that would write a larger one writes nothing. The ten default
/// bundles take 115 KB and a library of 10,000 expanders like the benchmarks' 6 MB; the largest
/// bundle file an import takes is 16 MB (BundleStore::largestBundleFileSize), which the
/// library writes in some 25 MB for ordinary expanders (indented, every key written). Four
/// times the largest import is room for any library a user makes, and is read in well under
/// a second.
inline constexpr long long largestLibraryFileSize = 64LL * 1024 * 1024;

/// What JSONDictionary::parse gives for the bytes (the same value, key order and errors), built
/// without copying the filled values of objects that grow.
JSONDictionary parseJSONDictionary(const std::string& bytes);

/// The top-level object of the file, or none when nothing exists at the path.
/// Throws CbError ("File could not be read", the path) when the file exists but cannot be
/// read (also when its existence cannot be checked; for a file larger than
/// largestLibraryFileSize the path and why), PlatformError with the JSON reader's
/// description for text that is not JSON, and CbError ("JSON reading error", "Parsing file
/// has an invalid format.") for a top level that is not an object.
/// The identity of the file that was read goes to `identity` when given, and its bytes to
/// `readBytes` (when an object was read from them).
std::optional<JSONDictionary> readJSONDictionary(const std::filesystem::path& path, const JSONStoreTexts& texts,
    std::optional<FileIdentity>* identity = nullptr, std::string* readBytes = nullptr);

/// The object pretty-printed as UTF-8, as the library file holds it.
std::string encodedJSONDictionary(const JSONDictionary& dictionary);

/// Writes the object atomically (writeFileAtomically) and gives the identity of the file
/// written; throws CbError ("File could not be written", the path) when encoding, creating
/// the folder or writing fails, and (the path and why) when the file would be larger than
/// largestLibraryFileSize, which nothing would read back.
FileIdentity writeJSONDictionary(
    const std::filesystem::path& path, const JSONDictionary& dictionary, const JSONStoreTexts& texts);

/// Writes the object atomically only in the place of the expected file (none: only where
/// nothing is), as replaceFileAtomically does: none when another file is there, and nothing
/// is written. Throws as writeJSONDictionary.
std::optional<FileIdentity> replaceJSONDictionary(const std::filesystem::path& path, const JSONDictionary& dictionary,
    const std::optional<FileIdentity>& expected, const JSONStoreTexts& texts);

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
        m_readAVersion = m_foundFile;
        // Not `dictionary ? *dictionary : object()`: the conditional's value would be a copy of
        // the whole object read, which took as long as building the library from it.
        m_serializable = dictionary ? std::make_unique<T>(*dictionary) : std::make_unique<T>(JSONDictionary::object());
    }

    /// Whether the value was read from a file; false when nothing existed at the path (a
    /// first run). Decided by the load itself, so no later look at the path can disagree.
    bool foundFile() const noexcept { return m_foundFile; }

    /// Writes the value's dictionary. Throws only CbError (title "File could not be
    /// written", the file's path as description, and why when the file would be larger than
    /// detail::largestLibraryFileSize).
    void save()
    {
        auto dictionary = m_serializable->dictionary();
        m_identity = detail::writeJSONDictionary(m_path, dictionary, m_texts);
        m_writtenDictionary = std::move(dictionary);
    }

    /// Writes the value's dictionary only in the place of the file last loaded, saved or
    /// read (or only where nothing is, when nothing is there now); false, and nothing
    /// written, when the file there is another by the time of the rename. Throws as save().
    bool saveOverFileLastSeen()
    {
        const auto expected = FileIdentity::of(m_path) ? m_identity : std::nullopt;
        auto dictionary = m_serializable->dictionary();
        const auto written = detail::replaceJSONDictionary(m_path, dictionary, expected, m_texts);
        if (!written)
            return false;
        m_identity = written;
        m_writtenDictionary = std::move(dictionary);
        return true;
    }

    /// Counts the object as written to the file of that identity (a write made elsewhere, from
    /// a version of the value taken earlier).
    void markWritten(JSONDictionary dictionary, const FileIdentity& identity)
    {
        m_identity = identity;
        m_writtenDictionary = std::move(dictionary);
    }

    /// Whether the file at the path is another than the one last loaded, saved or read
    /// (someone else wrote it since). A file that is gone counts as unchanged: nothing there
    /// is lost.
    bool fileChangedElsewhere() const
    {
        const auto now = FileIdentity::of(m_path);
        return now && now != m_identity;
    }

    /// Makes other writers of the file wait while the result is held: waits at most
    /// `longest` for it (FileLock).
    std::unique_ptr<FileLock> lockForWriting(std::chrono::milliseconds longest) const
    {
        return std::make_unique<FileLock>(m_path, longest);
    }

    /// Reads the file as it is now, without touching the value; the errors of the load. The
    /// identity of the file read goes to `identity` when given.
    std::optional<JSONDictionary> readFileAsItIsNow(std::optional<FileIdentity>* identity = nullptr) const
    {
        return detail::readJSONDictionary(m_path, m_texts, identity);
    }

    /// Counts the object (as the value writes it) as the file last read, with the file's
    /// identity: the value has taken in what it holds, so a save that fails afterwards leaves
    /// nothing of it to take in again.
    void markAsRead(JSONDictionary dictionary, std::optional<FileIdentity> identity)
    {
        m_readAVersion = true;
        m_identity = identity;
        m_readDictionary = std::move(dictionary);
        m_writtenDictionary.reset();
        m_loadedBytes = std::string();
    }

    /// The object last loaded, saved or read (markAsRead), as the value writes it.
    const JSONDictionary& savedDictionary() const
    {
        return m_writtenDictionary ? *m_writtenDictionary : readDictionary();
    }

    /// Whether a version of the file was loaded or read (markAsRead): false from a first run's
    /// load, which found nothing, until the first markAsRead.
    bool hasReadAVersion() const noexcept { return m_readAVersion; }

    /// Whether the file last seen is one this store wrote (saved since the last load or read).
    bool wroteLastVersionSeen() const noexcept { return m_writtenDictionary.has_value(); }

    /// The object last loaded or read (markAsRead), as the value writes it: the last version
    /// of the file that this store did not write itself.
    const JSONDictionary& readDictionary() const
    {
        // Written out on first need only: most runs (the command line's) never compare, and
        // writing a large library out took as long as reading it. A value read again from the
        // loaded bytes writes what the loaded value wrote then, whatever changed it since; the
        // bytes take a fraction of the memory of the object read from them.
        if (!m_readDictionary) {
            m_readDictionary
                = T(m_foundFile ? detail::parseJSONDictionary(m_loadedBytes) : JSONDictionary::object()).dictionary();
        }
        return *m_readDictionary;
    }

    /// Writes the value's dictionary only when no file exists at the path (another process
    /// may have created one since the load); false then, and nothing is written. The file
    /// appears whole or not at all. Throws as save().
    bool saveIfAbsent()
    {
        auto dictionary = m_serializable->dictionary();
        const auto written = detail::replaceJSONDictionary(m_path, dictionary, std::nullopt, m_texts);
        if (!written)
            return false;
        m_identity = written;
        m_writtenDictionary = std::move(dictionary);
        return true;
    }

    /// The identity of the file last loaded, saved or read; none when there was none.
    const std::optional<FileIdentity>& identityLastSeen() const noexcept { return m_identity; }
    const std::filesystem::path& path() const noexcept { return m_path; }
    T& serializable() noexcept { return *m_serializable; }
    const T& serializable() const noexcept { return *m_serializable; }

private:
    detail::JSONStoreTexts m_texts;
    std::filesystem::path m_path;
    std::unique_ptr<T> m_serializable;
    bool m_foundFile = false;
    bool m_readAVersion = false;
    std::optional<FileIdentity> m_identity;
    /// The bytes of the file read at the load (when one was), until another read: what
    /// readDictionary() is made from.
    std::string m_loadedBytes;
    /// Made on first need (see readDictionary()); mutable as a cache of a value fixed at the
    /// load or the last read, which the store's owner reads and writes on one thread.
    mutable std::optional<JSONDictionary> m_readDictionary;
    /// The object last written, when a write came after the last read.
    std::optional<JSONDictionary> m_writtenDictionary;
};

} // namespace quillet
