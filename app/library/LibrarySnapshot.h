#pragma once

#include "library/Bundle.h"
#include "library/DictionaryReader.h"

#include <unicode/unistr.h>

#include <memory>
#include <vector>

namespace quillet {

class BundleStore;

/// Which of this process's bundles and expanders the library file held when it was last read
/// or written, so that a later save can tell what changed here from what another writer (a
/// hand, another instance) changed in the file since.
///
/// One entry per bundle of the file, in the file's order, each with the bundle's expanders
/// in order. The objects are held weakly: they may have been deleted since. An object of this
/// process is known by its identity, which no edit changes; the file's records have none, so
/// a record of the file is known by its content, else by its name, else by its place
/// between records it shares with the earlier file.
class LibrarySnapshot {
public:
    LibrarySnapshot() = default;
    /// The store's bundles and expanders as they are now: take it when the file was just
    /// read into the store or written from it.
    static LibrarySnapshot of(const BundleStore& store);

    struct Merge;
    struct Base;

    /// The base (the library object this snapshot was taken of) as a writer whose version is
    /// `theirs` may have known it, when that writer may have read the file before this
    /// process last wrote it: `foreign` is the snapshot of the last version this process did
    /// not write itself (or, where there was none, of the first one it wrote: the oldest any
    /// other writer can have read), `foreignBase` that version. A bundle or expander made here since
    /// (an object not in `foreign`) that `theirs` lacks is left out, so it counts as added
    /// here rather than deleted there; a bundle changed here since, where `theirs` holds its
    /// `foreignBase` version and not the later one, stands as it was in `foreignBase`, so the
    /// change counts as made here. What `theirs` holds as this process wrote it stays as it is.
    Base asSeenBy(const JSONDictionary& base, const JSONDictionary& theirs, const LibrarySnapshot& foreign,
        const JSONDictionary& foreignBase) const;

    /// Brings into the store what changed in the file between `base` (the library object
    /// written or read when this snapshot was taken) and `theirs` (the file now, as this
    /// version writes it), beside the changes made here since, bundle by bundle and within a
    /// bundle expander by expander:
    /// - what only the file changed takes the file's version (the objects here are updated in
    ///   place, so an open editor keeps them); what only this process changed stays;
    /// - what the file lost and this process left alone goes; what the file gained comes in;
    /// - a change on both sides that differs is a conflict: both versions are kept (the
    ///   file's after this process's) and named in the result, as is a record one side
    ///   deleted and the other changed, which is kept.
    /// The order is this process's with the file's new records at the end, unless this
    /// process added, removed and moved nothing in the list: then it is the file's. The store
    /// tells its delegates once. Main thread only.
    Merge mergeInto(BundleStore& store, const JSONDictionary& base, const JSONDictionary& theirs) const;

private:
    struct Entry {
        std::weak_ptr<Bundle> bundle;
        std::vector<std::weak_ptr<CustomExpander>> expanders;
    };
    std::vector<Entry> m_entries;
};

struct LibrarySnapshot::Base {
    LibrarySnapshot snapshot;
    JSONDictionary dictionary;
};

struct LibrarySnapshot::Merge {
    /// The names of the conflicts ("Bundle" or "Bundle › expander"), none when none.
    std::vector<icu::UnicodeString> conflicts;
    /// The objects that now stand for the records of `theirs`: the snapshot to merge the
    /// file's next changes against, once `theirs` counts as read.
    LibrarySnapshot snapshotOfTheirs;
};

} // namespace quillet
