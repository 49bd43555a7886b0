#include "library/KeptChanges.h"

#include "library/LibrarySnapshot.h"
#include "text/AtomicFile.h"
#include "text/Localized.h"
#include "text/RegularFile.h"
#include "text/UnicodeConversion.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace quillet {

namespace {

constexpr std::string_view unsavedKind = "unsaved";
constexpr const char* unsavedBaseKey = "base";
constexpr const char* unsavedLibraryKey = "library";
/// The most names a notice lists of one kind of change; the rest are counted.
constexpr std::size_t mostNamesTold = 10;

icu::UnicodeString quoted(const icu::UnicodeString& name)
{
    return icu::UnicodeString(u"\u201C").append(name).append(u"\u201D");
}

/// The names, comma-separated, the ones past mostNamesTold counted.
icu::UnicodeString listOf(const std::vector<icu::UnicodeString>& names)
{
    icu::UnicodeString list;
    for (std::size_t i = 0; i < names.size() && i < mostNamesTold; ++i)
        list.append(list.isEmpty() ? u"" : u", ").append(names[i]);
    if (names.size() > mostNamesTold) {
        list.append(localized(u" and %@ more", "List and more")
                        .findAndReplace(u"%@", fromUtf8(std::to_string(names.size() - mostNamesTold))));
    }
    return list;
}

/// Whether the name is one that App::keepUnsavedChanges gives a file beside the library:
/// "<library>.<time>.<process>.unsaved", both numbers in decimal digits.
bool isUnsavedFileName(std::string_view name, std::string_view libraryName)
{
    const std::string suffix = "." + std::string(unsavedKind);
    if (name.size() <= libraryName.size() + 1 + suffix.size() || !name.starts_with(libraryName)
        || name[libraryName.size()] != '.' || !name.ends_with(suffix))
        return false;
    const auto numbers = name.substr(libraryName.size() + 1, name.size() - libraryName.size() - 1 - suffix.size());
    const auto dot = numbers.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == numbers.size())
        return false;
    auto isNumber = [](std::string_view digits) {
        return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    return isNumber(numbers.substr(0, dot)) && isNumber(numbers.substr(dot + 1));
}

struct UnsavedChanges {
    JSONDictionary base;
    JSONDictionary library;
};

/// What the file keeps, when it is one that this program wrote and this version reads: a
/// regular file of this user, not a link, no larger than largestKeptChangesFileSize (looked at
/// before it is read), holding a base and a library that are both library objects. None for
/// anything else.
std::optional<UnsavedChanges> readUnsavedChanges(const std::filesystem::path& file)
{
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat status { };
    RegularFileRead read;
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == geteuid())
        read = readOpenRegularFile(fd, static_cast<std::size_t>(largestKeptChangesFileSize));
    close(fd);
    if (!read.ok())
        return std::nullopt;
    try {
        const auto kept = detail::parseJSONDictionary(read.bytes);
        if (!kept.is_object())
            return std::nullopt;
        // Read as this version writes it; a missing or mistyped part is not one it wrote.
        auto libraryAt = [&](const char* key) -> std::optional<JSONDictionary> {
            const auto found = kept.find(key);
            if (found == kept.end() || !BundleStore::isLibraryObject(*found))
                return std::nullopt;
            return BundleStore(*found).dictionary();
        };
        auto base = libraryAt(unsavedBaseKey);
        auto library = libraryAt(unsavedLibraryKey);
        if (!base || !library)
            return std::nullopt;
        return UnsavedChanges { std::move(*base), std::move(*library) };
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

std::filesystem::path keptChangesName(const std::filesystem::path& library)
{
    auto kept = library;
    kept += "." + std::to_string(std::time(nullptr)) + "." + std::to_string(getpid()) + "." + std::string(unsavedKind);
    return kept;
}

void keepChanges(const std::filesystem::path& name, const JSONDictionary& base, JSONDictionary library)
{
    const JSONDictionary unsaved { { unsavedBaseKey, base }, { unsavedLibraryKey, std::move(library) } };
    if (!replaceFileAtomically(
            name, unsaved.dump(-1, ' ', false, JSONDictionary::error_handler_t::replace), std::nullopt))
        throw std::system_error(EEXIST, std::generic_category(), "the name is taken");
}

std::vector<std::filesystem::path> keptChangesBeside(const std::filesystem::path& path)
{
    std::vector<std::filesystem::path> files;
    const std::string libraryName = path.filename().string();
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(path.parent_path(), error)) {
        if (isUnsavedFileName(entry.path().filename().string(), libraryName))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

KeptChangesMerged mergeKeptChanges(const std::filesystem::path& path, const JSONDictionary& onDisk, long long mostRead)
{
    JSONDictionary merged = onDisk;
    std::vector<std::filesystem::path> taken;
    std::vector<icu::UnicodeString> conflicts;
    // Files kept against the same base (most are: runs that started from the same file)
    // meet the library one after another in one store, so that the time grows with the
    // files and not with their square.
    std::optional<BundleStore> library;
    JSONDictionary libraryBase;
    LibrarySnapshot baseSnapshot;
    std::size_t groupStart = 0;
    std::size_t readLeft = static_cast<std::size_t>(mostRead);
    auto closeGroup = [&] {
        if (library)
            merged = library->dictionary();
        library.reset();
        groupStart = taken.size();
    };
    for (const auto& file : keptChangesBeside(path)) {
        std::error_code sizeError;
        const auto size = std::filesystem::file_size(file, sizeError);
        if (!sizeError && size <= static_cast<std::size_t>(largestKeptChangesFileSize) && size > readLeft)
            break; // left, with the later ones, for a later start
        auto kept = readUnsavedChanges(file);
        if (!kept)
            continue; // not one this program wrote, or not one this version reads: left as it is
        readLeft -= std::min<std::size_t>(readLeft, sizeError ? 0 : size);
        try {
            if (!library || kept->base != libraryBase) {
                closeGroup();
                // The library as it is now, made from the earlier run's base so that its
                // objects stand for the base's records...
                library.emplace(kept->base);
                baseSnapshot = LibrarySnapshot::of(*library);
                baseSnapshot.mergeInto(*library, kept->base, merged);
                libraryBase = kept->base;
            }
            // ...then meeting the earlier run's changes as a save meets another writer's:
            // the library's order stays, what the earlier run added comes after.
            auto merge = baseSnapshot.mergeInto(*library, libraryBase, kept->library);
            for (auto& conflict : merge.conflicts)
                conflicts.push_back(std::move(conflict));
        } catch (const std::exception&) {
            // The files of this group stay for a later start.
            taken.resize(groupStart);
            library.reset();
            continue;
        }
        taken.push_back(file);
    }
    closeGroup();
    return { std::move(merged), std::move(taken), std::move(conflicts) };
}

/// What the user is told of records that changes kept from an earlier run and the library
/// file changed both.
CbError keptConflictNotice(const std::vector<icu::UnicodeString>& conflicts)
{
    return CbError(localized(u"Changes kept from an earlier run were merged", "Changes kept title"),
        localized(u"They and the library changed the same bundles or expanders since; both versions were kept, "
                  u"the earlier run's after the library's: ",
            "Changes kept conflict")
            .append(listOf(conflicts))
            .append(u"."));
}

LibraryBefore LibraryBefore::of(const BundleStore& store)
{
    LibraryBefore before;
    for (const auto& bundle : store.bundles())
        before.m_entries.push_back({ bundle, bundle->dictionary(), bundle->expanders() });
    return before;
}

CbError LibraryBefore::noticeOfChangesTo(const BundleStore& store) const
{
    std::vector<icu::UnicodeString> deleted;
    std::vector<icu::UnicodeString> added;
    std::vector<icu::UnicodeString> changed;
    const auto& now = store.bundles();
    for (const auto& entry : m_entries) {
        if (std::find(now.begin(), now.end(), entry.bundle) == now.end()) {
            deleted.push_back(quoted(entry.bundle->name()));
            continue;
        }
        const auto expanders = entry.bundle->expanders();
        for (const auto& expander : entry.expanders) {
            if (std::find(expanders.begin(), expanders.end(), expander) == expanders.end())
                deleted.push_back(quoted(entry.bundle->name()).append(u" \u203A ").append(quoted(expander->name())));
        }
        if (entry.bundle->dictionary() != entry.dictionary)
            changed.push_back(quoted(entry.bundle->name()));
    }
    for (const auto& bundle : now) {
        if (std::none_of(
                m_entries.begin(), m_entries.end(), [&](const Entry& entry) { return entry.bundle == bundle; }))
            added.push_back(quoted(bundle->name()));
    }
    icu::UnicodeString description;
    auto sentence = [&](const std::vector<icu::UnicodeString>& names, icu::UnicodeString lead) {
        if (!names.empty())
            description.append(description.isEmpty() ? u"" : u" ").append(lead).append(listOf(names)).append(u".");
    };
    sentence(deleted, localized(u"Deleted: ", "Changes kept deleted"));
    sentence(added, localized(u"Added: ", "Changes kept added"));
    sentence(changed, localized(u"Changed: ", "Changes kept changed"));
    if (description.isEmpty())
        description = localized(u"The order of the bundles changed.", "Changes kept order");
    return CbError(localized(u"Changes kept from an earlier run were merged", "Changes kept title"), description);
}

} // namespace quillet
