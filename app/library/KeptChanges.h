#pragma once

#include "library/BundleStore.h"
#include "library/DictionaryReader.h"
#include "library/JSONSerializableStore.h"
#include "text/UserErrorDescriptionType.h"

#include <unicode/unistr.h>

#include <filesystem>
#include <vector>

namespace quillet {

/// The changes that a run could not write at its end, kept beside the library for the next
/// start: a file named "<library>.<time>.<process>.unsaved" holding {"base": the library as
/// that run last read or wrote it, "library": its library}, both written without indentation.

/// The largest such file read: two libraries (the base and the changed one) written without
/// indentation, and the object around them.
inline constexpr long long largestKeptChangesFileSize = 2 * detail::largestLibraryFileSize + 1024;
/// The most bytes of such files that one start reads: as much as the largest one. The files
/// past it (by name, so the newest) stay for later starts.
inline constexpr long long largestKeptChangesReadAtOneStart = largestKeptChangesFileSize;

/// A new name for the changes kept beside the library at the path.
std::filesystem::path keptChangesName(const std::filesystem::path& library);
/// Writes the kept changes under that name, never over another file; throws std::exception.
void keepChanges(const std::filesystem::path& name, const JSONDictionary& base, JSONDictionary library);
/// The files of kept changes beside the library, by name (so oldest first).
std::vector<std::filesystem::path> keptChangesBeside(const std::filesystem::path& library);

struct KeptChangesMerged {
    /// The library with the changes taken in.
    JSONDictionary library;
    /// The files taken in: to be removed once the library is written.
    std::vector<std::filesystem::path> taken;
    /// The records both the kept changes and the library changed since ("Bundle" or
    /// "Bundle › expander").
    std::vector<icu::UnicodeString> conflicts;
};

/// Merges into `library` (the file's object, as this version writes it) the kept changes
/// beside it, each as a save meets another writer's (the library's order stays, what they
/// added comes after), in time with their size: only regular files of this user (not links)
/// named as above, no larger than largestKeptChangesFileSize each and
/// `mostRead` in all, holding what this version writes; the files past that bound, by name,
/// stay for a later start. Anything else is left as it is.
KeptChangesMerged mergeKeptChanges(const std::filesystem::path& path, const JSONDictionary& library,
    long long mostRead = largestKeptChangesReadAtOneStart);

/// What the user is told of records that kept changes and the library both changed.
CbError keptConflictNotice(const std::vector<icu::UnicodeString>& conflicts);

/// The bundles and expanders of a library before a change, to tell what the change did.
class LibraryBefore {
public:
    static LibraryBefore of(const BundleStore& store);
    /// What became of the library since, deletions first: the notice of changes taken in
    /// from earlier runs.
    CbError noticeOfChangesTo(const BundleStore& store) const;

private:
    struct Entry {
        BundlePtr bundle;
        JSONDictionary dictionary;
        std::vector<CustomExpanderPtr> expanders;
    };
    std::vector<Entry> m_entries;
};

} // namespace quillet
