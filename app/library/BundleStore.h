#pragma once

#include "library/Bundle.h"
#include "library/DictionaryReader.h"
#include "library/Observable.h"
#include "variables/ProgrammingLanguage.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace quillet {

class ApplicationControl;
class BundleStore;
class UserAlerts;

/// Hears of every change anywhere in the library, and of imported bundles.
class BundleStoreDelegate {
public:
    virtual ~BundleStoreDelegate() = default;
    virtual void bundleStoreDidChange(BundleStore& store) = 0;
    virtual void bundleStoreDidImport(BundleStore& store, Bundle& bundle, bool silent) = 0;
    /// A user of the store asks that changes made so far be written now (the editor, when
    /// its selection moves or its window closes).
    virtual void bundleStoreWantsChangesSaved(BundleStore& /*store*/) { }
};

/// The whole expander library in memory: the ordered bundles, the delegates that hear of
/// every change below them, the queries of the expansion and the import of bundle files.
///
/// Owns its bundles (each owns its expanders) and is the delegate of every bundle it holds.
/// Delegates are not owned: they are told in the order they were added, and a delegate that
/// goes away removes itself first (also while being told). Observed property: bundles.
/// Main thread only.
class BundleStore final : public BundleDelegate, public Observable {
public:
    /// Where the import shows its failures: an alert in front of the other applications.
    struct ImportFeedback {
        std::shared_ptr<UserAlerts> alerts;
        std::shared_ptr<ApplicationControl> application;
    };

    /// Reads the library object. A missing "bundles" gives an empty library (a first run).
    /// A "bundles" that is not an array of objects, or a bundle that fails to read, fails
    /// the whole read with a CbError that says what is wrong (the bundle, and the expander and
    /// key that cannot be read), so that a library that was read only in part can never be
    /// saved over the file.
    explicit BundleStore(const JSONDictionary& dictionary);
    ~BundleStore() override;
    BundleStore(const BundleStore&) = delete;
    BundleStore& operator=(const BundleStore&) = delete;

    /// Whether the value is a library object as a store writes it: an object whose "bundles"
    /// is a list (the empty object that a first run reads is not one).
    static bool isLibraryObject(const JSONDictionary& value);

    /// The library object: {"bundles": [bundle objects in order]}.
    JSONDictionary dictionary() const;

    const std::vector<BundlePtr>& bundles() const noexcept { return m_bundles; }
    /// Replaces the list (also with the same list): observers of bundles and then every
    /// delegate hear of it, and the store becomes the delegate of every bundle in it.
    void setBundles(std::vector<BundlePtr> bundles);

    /// Runs `changes` and tells the delegates of them once, after the last one, so that a
    /// change made of several steps (an expander leaving one bundle for another) is saved
    /// once and never half done. Observers of the keys still hear every step as it happens.
    /// Groups may nest; the outermost one tells. Nothing is told when nothing changed.
    void groupChanges(const std::function<void()>& changes);

    /// Adds a delegate at the end (a delegate already registered is not added twice).
    void addDelegate(BundleStoreDelegate* delegate);
    /// Removes a delegate; an unknown one is ignored.
    void removeDelegate(BundleStoreDelegate* delegate);
    const std::vector<BundleStoreDelegate*>& delegates() const noexcept { return m_delegates; }

    /// Asks the delegates to write the changes made so far now (bundleStoreWantsChangesSaved).
    void saveChangesNow();

    void setImportFeedback(ImportFeedback feedback) { m_importFeedback = std::move(feedback); }

    /// The enabled expanders of the enabled bundles, in library order; computed per call.
    std::vector<CustomExpanderPtr> enabledExpanders() const;
    /// The expanders that support one of the languages, and the others, each in input
    /// order. With no language every expander counts as supporting.
    static std::pair<std::vector<CustomExpanderPtr>, std::vector<CustomExpanderPtr>> orderedByLanguageSupport(
        const std::vector<CustomExpanderPtr>& expanders, const ProgrammingLanguageList& languages);
    /// orderedByLanguageSupport over enabledExpanders.
    std::pair<std::vector<CustomExpanderPtr>, std::vector<CustomExpanderPtr>> enabledExpandersOrderedByLanguageSupport(
        const ProgrammingLanguageList& languages) const;

    /// No bundle file is larger; a larger one is refused before it is read.
    static constexpr long long largestBundleFileSize = 16LL * 1024 * 1024;

    /// Appends the bundle of a bundle file and tells the delegates (change, then import with
    /// the silent flag). A file that cannot be read or holds no valid bundle leaves the
    /// library unchanged and is reported with an alert ("File could not be read") that names
    /// the file and the reason: nothing there, a folder, a pipe or device, too large, not
    /// JSON, or the bundle, expander and key that cannot be read (the loader's words).
    void importBundle(const std::filesystem::path& path, bool silent);
    /// Imports several bundle files as one change: the readable ones are appended together,
    /// in order, with one assignment (so the library is saved once), then the delegates hear
    /// of each import. The files that fail are listed in one alert. Failures that arrive
    /// while an import alert shows (its modal loop still serves requests) are not shown in a
    /// nested alert: they wait and are listed together in the next one.
    void importBundles(const std::vector<std::filesystem::path>& paths, bool silent);

    void bundleDidChange(Bundle& bundle) override;

private:
    void reportImportFailures(std::vector<icu::UnicodeString> failures);
    template <typename Call> void tellDelegates(Call call);
    void adoptBundles();
    void tellChanged();

    std::vector<BundleStoreDelegate*> m_delegates;
    int m_groupDepth = 0;
    bool m_changedInGroup = false;
    std::vector<BundlePtr> m_bundles;
    ImportFeedback m_importFeedback;

    // Beyond this many, waiting failures are only counted: a flood of bad files must not
    // make an alert taller than the screen, nor grow without bound while one shows.
    static constexpr std::size_t maximumListedImportFailures = 20;
    bool m_showingImportAlert = false;
    std::vector<icu::UnicodeString> m_pendingImportFailures;
    std::size_t m_unlistedImportFailures = 0;
};

} // namespace quillet
