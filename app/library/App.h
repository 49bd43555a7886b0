#pragma once

#include "library/BundleStore.h"
#include "library/JSONSerializableStore.h"
#include "library/LibrarySnapshot.h"
#include "library/LibraryWriter.h"
#include "text/UserErrorDescriptionType.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillet {

class ExpanderController;

class ApplicationControl;
class ResourceLocator;
class SaveScheduler;
class UserAlerts;
class UserNotifications;

/// The process-wide holder of the expander library.
///
/// Creating it loads the library file. When loading fails, the error is shown in an alert
/// and the application is asked to end; no library is installed and the file is never
/// written. When the file does not exist yet, the default bundles are installed silently,
/// in the order of defaultBundleNames, from the resources, and saved with one write, so the
/// file exists whole or not at all; when no resource is found, a notification says so and
/// nothing is created. Afterwards every change of the
/// library saves the whole file, at once or, with a SaveScheduler, within its delay; a
/// delegate's request (the editor's selection moved, its window closed) and the holder's
/// destruction write a waiting change at once. A failed save becomes a notification and
/// the next change saves again; an import whose save failed is not announced.
///
/// The file is never replaced blindly: a save holds the library's lock file (so another
/// instance saving at the same moment waits), and when the file is no longer the one last
/// loaded or saved (a hand or another instance changed it), what changed there is merged
/// into the library first (LibrarySnapshot::mergeInto), against the versions the other writer
/// can have started from: the one this holder wrote last, or an older one that it loaded or
/// read (LibrarySnapshot::asSeenBy). Where there was no file at the load (a first run), the
/// oldest is the first version this holder wrote. So what was deleted there and left alone
/// here stays deleted, what was changed there and not here takes the file's version, what
/// was added here since that version stays even when the other writer's version lacks it
/// (that writer may never have seen it), and a change on both sides keeps both versions and
/// tells the user. When the merge leaves the library as the file holds it, nothing is
/// written. The file is looked at once more right before the new one is renamed in; when it
/// changed meanwhile, the merge runs again. A file in its place that cannot be read is kept
/// beside the library under a new name (never one a copy kept earlier has). A start that
/// holds the library's lock removes the temporary files that killed saves left in its folder
/// (removeStaleTemporaryFiles), whatever their age. No library larger
/// than detail::largestLibraryFileSize is written: the save fails and the change waits, and is
/// lost if the holder ends first (it is not kept for a start that could not write it either).
///
/// A save waits for the lock at most Environment::lockWait. When another process holds it
/// longer, the change stays waiting, the user is told once that the library is busy, and the
/// save is tried again (after the scheduler's delay, SaveScheduler::delayMilliseconds, or at
/// the next change). When no lock can be had at all (the lock file can be neither made nor
/// opened), nothing is written, the user is told so, and the change waits. A change stays
/// waiting until it is written, a failed save's too. The notifications of a save are
/// delivered once the lock is let go.
///
/// With a SaveScheduler that can post to its thread (the desktop's event loop), the file is
/// written on a thread of its own (LibraryWriter) from a version taken on the caller's thread:
/// the encoding, the lock's wait and the disk never hold that thread. Saves keep their order,
/// one at a time; what changes while one is written goes into the next. The merge of another
/// writer's changes runs on the caller's thread, and the version is written again after it.
///
/// At the end (destruction, saveBeforeEnd()) the write under way is waited for, however slow
/// the disk; then a waiting change, or a file that another writer
/// put in place of the one this holder wrote last, is saved as any save is, waiting at most
/// lockWaitAtEnd for the lock; what still cannot be written is kept beside the library (made
/// against the file as it is then), in a file named "bundles.qlbundles.<time>.<process>.unsaved",
/// and the user is told why (the lock held, no lock to be had, or the write failed).
///
/// A start takes in the files of unsaved changes that earlier runs kept: only regular files of
/// the user (not links) named as above, no larger than largestKeptChangesFileSize each and
/// largestKeptChangesReadAtOneStart in all (KeptChanges.h), and holding what this
/// version writes; anything else there is left as it is. It holds the library's lock from
/// the listing to their removal, so that of several processes starting together one takes
/// them in, once; merges them all, writes the library once and then removes them, and tells
/// the user what they changed (what they deleted first). When the lock cannot be had within
/// Environment::lockWait, or the write fails, they stay for a later start.
///
/// Everything the desktop does (alerts, notifications, activation and termination, finding
/// resources) goes through the interfaces of the Environment, so the command line loads the
/// library through App just as the desktop application does. Main thread only.
class App final : public BundleStoreDelegate {
public:
    /// The longest the last save waits for another process's lock: the end takes no longer
    /// than this, the write under way and one more write.
    static constexpr std::chrono::milliseconds lockWaitAtEnd { 2000 };
    /// The longest a save on the desktop's event loop waits for another process's lock, so
    /// that the loop never stalls visibly; the change then waits and is tried again.
    static constexpr std::chrono::milliseconds lockWaitOnEventLoop { 40 };

    struct Environment {
        std::shared_ptr<UserAlerts> alerts;
        std::shared_ptr<UserNotifications> notifications;
        std::shared_ptr<ApplicationControl> application;
        std::shared_ptr<ResourceLocator> resources;
        /// The library file; Paths::bundlesFilePath() when none.
        std::optional<std::filesystem::path> bundlesFilePath;
        /// Delays saves so that a burst of changes is written once; none writes every change
        /// at once (the command line, most tests).
        std::shared_ptr<SaveScheduler> saveScheduler;
        /// The longest a save waits for another process's lock (lockWaitOnEventLoop on the
        /// desktop's event loop).
        std::chrono::milliseconds lockWait = lockWaitAtEnd;

        /// Console services (alerts and notifications go to standard error, the application
        /// control does nothing) and the resources beside or installed with the program.
        static Environment headless();
    };

    /// Loads (and on a first run installs) the library as described above. Missing services
    /// of the environment are taken from Environment::headless().
    explicit App(Environment environment);
    ~App() override;
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    /// The ten default bundles, in installation order.
    static const std::vector<std::string>& defaultBundleNames();

    /// Sets the environment of the shared holder; call before the first shared().
    static void configureShared(Environment environment);
    /// The shared holder, created on first access with the configured environment (headless
    /// when none was configured). Not to be called again while it is being created.
    static App& shared();
    /// The shared holder when it exists (and has finished loading), else none; for code that
    /// looks at the library only when one is open.
    static App* sharedIfCreated() noexcept;
    /// Replaces the shared holder (the previous one is destroyed); for tools and tests.
    static void setShared(std::unique_ptr<App> app);

    /// False when loading failed; the library is then empty and is never saved.
    bool isLoaded() const noexcept { return m_bundleStoreController != nullptr; }
    /// What made loading fail, with the texts of its alert.
    const std::optional<CbError>& loadError() const noexcept { return m_loadError; }

    JSONSerializableStore<BundleStore>* bundleStoreController() noexcept { return m_bundleStoreController.get(); }
    BundleStore& bundleStore() noexcept;

    /// Delivers a notification of the error at once.
    void deliverNotification(const UserErrorDescriptionType& error);
    /// Writes the library now (a waiting save included); a failure becomes a "File could not
    /// be saved" notification that names the file. The change waits until it is written.
    void save();
    /// Writes the library now when a change waits for its save.
    void saveIfPending();
    /// Whether a change waits for its save (also one whose save failed or found the library
    /// busy).
    bool hasPendingSave() const noexcept { return m_savePending; }
    /// The last save, as the process ends: a waiting change, or a version another writer put
    /// in place of ours, is written, or kept beside the library for the next start (see
    /// above). Bounded by lockWaitAtEnd.
    void saveBeforeEnd();

    using CustomAction = std::function<bool()>;
    const CustomAction& expandingShortcutCustomAction() const noexcept { return m_expandingShortcutCustomAction; }
    void setExpandingShortcutCustomAction(CustomAction action) { m_expandingShortcutCustomAction = std::move(action); }

    void bundleStoreDidChange(BundleStore& store) override;
    void bundleStoreDidImport(BundleStore& store, Bundle& bundle, bool silent) override;
    void bundleStoreWantsChangesSaved(BundleStore& store) override;

    /// Whether a write runs on the writer's thread now.
    bool isWriting() const { return m_writer && m_writer->isWriting(); }

private:
    /// Loads the library file into a new store; false after showing the load error.
    bool load(const std::filesystem::path& path);
    void showLoadError(const UserErrorDescriptionType& error);
    /// Installs the default bundles with one write of a new file; false when another run
    /// created the file meanwhile (nothing is then written).
    bool installDefaultBundles();
    enum class SaveOutcome {
        written,
        /// Another process held the lock for the whole wait.
        busy,
        /// No lock could be had at all.
        unavailable,
        failed,
        /// Handed to the writer's thread; the outcome comes later.
        underWay,
        /// Another writer's changes were merged: the library is to be written again.
        again,
    };
    SaveOutcome saveWaiting(std::chrono::milliseconds longest);
    /// Takes the version to write now and writes it, on the writer's thread when there is one.
    SaveOutcome writeVersion(std::chrono::milliseconds longest);
    /// What a write's result means for the library, on the caller's thread.
    SaveOutcome saveFinished(LibraryWriter::Written written, std::chrono::milliseconds longest);
    /// Merges, under the lock, what another writer put in the library's place.
    SaveOutcome mergeChangesMadeElsewhere(std::chrono::milliseconds longest);
    void tellLockUnavailable(int error);
    void scheduleSave();
    /// The save under the lock; throws the write's errors.
    void writeHoldingTheLock();
    /// Takes the version just written as the one last seen.
    void rememberWrittenVersion();
    void notifySaveFailure(const UserErrorDescriptionType& error);
    /// Merges into the library what another writer changed in the file since our last look;
    /// true when the library is then what the file holds. Without the lock, only a file that
    /// can be read whole is merged, and nothing is written or moved.
    bool keepChangesMadeElsewhere(bool holdingTheLock);
    /// Delivers the notification now, or once the lock is let go during a save.
    void tell(CbError notice);
    void deliverHeldNotices();
    /// Keeps the waiting change beside the library for the next start, and says why.
    void keepUnsavedChanges(SaveOutcome why);
    /// Merges what earlier runs kept beside the library, writes it, and removes their files.
    void takeInUnsavedChanges();

    Environment m_environment;
    std::unique_ptr<JSONSerializableStore<BundleStore>> m_bundleStoreController;
    // The objects the file held when it was last loaded, saved or read.
    LibrarySnapshot m_snapshot;
    // The objects of the last version this holder did not write itself (loaded or read), or
    // of the first one it wrote where there was none.
    LibrarySnapshot m_foreignSnapshot;
    // Stands in for the library when loading failed, so callers find an empty one; it is
    // tied to no file and never saved.
    std::unique_ptr<BundleStore> m_detachedStore;
    std::optional<CbError> m_loadError;
    CustomAction m_expandingShortcutCustomAction;
    bool m_savePending = false;
    bool m_saveScheduled = false;
    bool m_lastSaveFailed = false;
    // The user was told that another process holds the lock; cleared once a save gets it.
    bool m_toldBusy = false;
    // Notifications held while a save holds the lock.
    std::vector<CbError> m_heldNotices;
    // Set while the save itself changes the library (taking in another writer's bundles).
    bool m_saving = false;
    // Changes of the library so far, to tell whether a version written holds the last one.
    unsigned long long m_changes = 0;
    // What the version being written stands for.
    struct VersionUnderWay {
        LibrarySnapshot snapshot;
        unsigned long long changes = 0;
        std::vector<BundlePtr> imports;
    };
    std::optional<VersionUnderWay> m_underWay;
    // Imports announced once a version holding them is written.
    std::vector<BundlePtr> m_importsToAnnounce;
    // A save was asked for while a write was under way: it follows at once.
    bool m_saveAgain = false;
    int m_replacedAttempts = 0;
    // The process ends: every write runs on the caller's thread.
    bool m_ending = false;
    // Declared last: destroyed (its thread joined) before what its results reach.
    std::unique_ptr<LibraryWriter> m_writer;
};

/// A controller over the enabled expanders of the open library (none while no library is
/// open), sharing the library's expanders: what patterns may embed when they are validated,
/// previewed or documented. Main thread only.
std::shared_ptr<const ExpanderController> openLibraryExpanders();

} // namespace quillet
