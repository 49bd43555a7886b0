#include "library/App.h"

#include "expansion/ExpanderController.h"
#include "library/Alert.h"
#include "library/ApplicationControl.h"
#include "library/KeptChanges.h"
#include "library/LibrarySnapshot.h"
#include "library/LibraryWriter.h"
#include "library/Paths.h"
#include "library/ResourceLocator.h"
#include "library/SaveScheduler.h"
#include "library/StoreErrorTexts.h"
#include "library/UserAlerts.h"
#include "library/UserNotifications.h"
#include "text/AtomicFile.h"
#include "text/FileLock.h"
#include "text/Localized.h"
#include "text/RegularFile.h"
#include "text/UnicodeConversion.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <iostream>
#include <mutex>
#include <new>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace quillet {

namespace {

class ConsoleAlerts final : public UserAlerts {
public:
    void runModal(const Alert& alert) override
    {
        std::cerr << toUtf8(alert.messageText) << '\n' << toUtf8(alert.informativeText) << std::endl;
    }
};

class ConsoleNotifications final : public UserNotifications {
public:
    void deliverNotification(const UserErrorDescriptionType& error) override
    {
        std::cerr << toUtf8(error.userErrorTitle()) << ": " << toUtf8(error.userErrorDescription()) << std::endl;
    }
    void scheduleBundleImportedNotification(const Bundle& /*bundle*/) override { }
};

class NoApplicationControl final : public ApplicationControl {
public:
    void activate(bool /*ignoringOtherApps*/) override { }
    void deactivate() override { }
    void terminate() override { }
};

std::mutex sharedMutex;
std::unique_ptr<App> sharedApp;
std::atomic<App*> sharedAppPointer { nullptr };
std::optional<App::Environment> sharedEnvironment;

App::Environment completed(App::Environment environment)
{
    auto headless = App::Environment::headless();
    if (!environment.alerts)
        environment.alerts = headless.alerts;
    if (!environment.notifications)
        environment.notifications = headless.notifications;
    if (!environment.application)
        environment.application = headless.application;
    if (!environment.resources)
        environment.resources = headless.resources;
    return environment;
}

} // namespace

App::Environment App::Environment::headless()
{
    return {
        .alerts = std::make_shared<ConsoleAlerts>(),
        .notifications = std::make_shared<ConsoleNotifications>(),
        .application = std::make_shared<NoApplicationControl>(),
        .resources = std::make_shared<SearchPathResourceLocator>(SearchPathResourceLocator::applicationRoots()),
        .bundlesFilePath = std::nullopt,
        .saveScheduler = nullptr,
        .lockWait = lockWaitAtEnd,
    };
}

const std::vector<std::string>& App::defaultBundleNames()
{
    static const std::vector<std::string> names {
        "Swift Basic",
        "Swift Extra",
        "Swift + Cocoa and UIKit",
        "Swift + Cocoa",
        "Swift + UIKit",
        "Swift + XCTests",
        "Objective C",
        "PHP",
        "HTML",
        "EXAMPLES",
    };
    return names;
}

App::App(Environment environment)
    : m_environment(completed(std::move(environment)))
{
    const auto path = m_environment.bundlesFilePath ? m_environment.bundlesFilePath : Paths::bundlesFilePath();
    if (!path) {
        showLoadError(CbError(StoreErrorTexts::fileCouldNotBeRead(),
            localized(u"No folder for the library: set XDG_DATA_HOME or HOME.", "Missing data folder error")));
        return;
    }
    if (std::error_code error; std::filesystem::is_directory(path->parent_path(), error)) {
        // Every writer of the library holds its lock while its temporary file exists: held, no
        // write is under way, and what a killed save left goes, however fresh.
        const FileLock lock(*path, m_environment.lockWait);
        if (lock.isHeld())
            removeStaleTemporaryFiles(*path);
    }
    if (!load(*path))
        return;
    // A first run is what the load found, never a second look at the path, which another
    // run may have filled meanwhile. When one did, its library is the one to use.
    if (!m_bundleStoreController->foundFile() && !installDefaultBundles() && !load(*path))
        return;
    takeInUnsavedChanges();
    m_bundleStoreController->serializable().addDelegate(this);
    if (auto scheduler = m_environment.saveScheduler; scheduler && scheduler->canPost()) {
        try {
            m_writer = std::make_unique<LibraryWriter>(m_bundleStoreController->path(),
                [scheduler](std::function<void()> action) { scheduler->post(std::move(action)); });
        } catch (const std::system_error&) {
            // Without a thread of its own the library is written on the caller's.
        }
    }
}

App::~App()
{
    if (m_bundleStoreController) {
        // What was typed last is written before the process ends.
        saveBeforeEnd();
        m_bundleStoreController->serializable().removeDelegate(this);
    }
    if (m_environment.saveScheduler)
        m_environment.saveScheduler->cancel();
}

bool App::load(const std::filesystem::path& path)
{
    m_bundleStoreController.reset();
    try {
        m_bundleStoreController = std::make_unique<JSONSerializableStore<BundleStore>>(path);
    } catch (const UserErrorDescriptionType& error) {
        showLoadError(error);
        return false;
    } catch (const std::exception& error) {
        showLoadError(PlatformError(localizedDescription(error)));
        return false;
    }
    m_bundleStoreController->serializable().setImportFeedback(
        { .alerts = m_environment.alerts, .application = m_environment.application });
    m_snapshot = LibrarySnapshot::of(bundleStore());
    m_foreignSnapshot = m_snapshot;
    return true;
}

void App::showLoadError(const UserErrorDescriptionType& error)
{
    m_loadError = CbError(error.userErrorTitle(), error.userErrorDescription());
    m_detachedStore = std::make_unique<BundleStore>(JSONDictionary::object());
    m_environment.application->activate(true);
    m_environment.alerts->runModal(Alert::fromError(error));
    m_environment.application->deactivate();
    m_environment.application->terminate();
}

bool App::installDefaultBundles()
{
    std::vector<std::filesystem::path> resources;
    for (const auto& name : defaultBundleNames()) {
        if (auto resource = m_environment.resources->pathForResource(name, "qlbundle"))
            resources.push_back(std::move(*resource));
    }
    if (resources.empty()) {
        icu::UnicodeString folders;
        for (const auto& folder : m_environment.resources->searchedFolders())
            folders.append(folders.isEmpty() ? u"" : u", ").append(fromUtf8(folder.string()));
        icu::UnicodeString description = localized(
            u"No default bundle was found, so no library was created. Looked in: ", "Default bundles missing");
        deliverNotification(CbError(localized(u"Default bundles not found", "Default bundles missing title"),
            description.append(folders.isEmpty() ? u"nothing" : folders)));
        return true;
    }

    // All of them in memory first (App hears no change yet), then one write: a run that is
    // killed, or whose disk fills, leaves no library rather than a part of one, and the next
    // run installs them again.
    BundleStore& store = bundleStore();
    try {
        store.importBundles(resources, true);
    } catch (const std::bad_alloc&) {
        deliverNotification(CbError(localized(u"Default bundles not installed", "Default bundles no memory title"),
            localized(u"There was not enough memory to read them; Quillet installs them at its next start.",
                "Default bundles no memory")));
        return true;
    }
    if (store.bundles().empty())
        return true; // each failure was reported by the import
    try {
        // Under the lock, as every write: a start beside it removes no temporary file of ours.
        const auto lock = m_bundleStoreController->lockForWriting(m_environment.lockWait);
        if (!m_bundleStoreController->saveIfAbsent())
            return false;
        rememberWrittenVersion();
        return true;
    } catch (const UserErrorDescriptionType& error) {
        notifySaveFailure(error);
        return true;
    }
}

BundleStore& App::bundleStore() noexcept
{
    return m_bundleStoreController ? m_bundleStoreController->serializable() : *m_detachedStore;
}

void App::deliverNotification(const UserErrorDescriptionType& error)
{
    m_environment.notifications->deliverNotification(error);
}

void App::save()
{
    saveWaiting(m_environment.lockWait);
}

App::SaveOutcome App::saveWaiting(std::chrono::milliseconds longest)
{
    if (m_saving)
        return SaveOutcome::failed;
    if (m_environment.saveScheduler) {
        m_environment.saveScheduler->cancel();
        m_saveScheduled = false;
    }
    if (!m_bundleStoreController)
        return SaveOutcome::failed;
    // Whatever happens below, the change waits until it is on disk.
    m_savePending = true;
    if (isWriting()) {
        // Written once the write under way is done, with what changed meanwhile.
        m_saveAgain = true;
        return SaveOutcome::underWay;
    }
    m_replacedAttempts = 0;
    return writeVersion(longest);
}

App::SaveOutcome App::writeVersion(std::chrono::milliseconds longest)
{
    auto& controller = *m_bundleStoreController;
    m_underWay = VersionUnderWay { LibrarySnapshot::of(bundleStore()), m_changes, std::move(m_importsToAnnounce) };
    m_importsToAnnounce.clear();
    LibraryWriter::Version version { bundleStore().dictionary(), controller.identityLastSeen(), longest };
    if (m_writer && !m_ending) {
        m_writer->start(std::move(version),
            [this, longest](LibraryWriter::Written written) { saveFinished(std::move(written), longest); });
        return SaveOutcome::underWay;
    }
    return saveFinished(
        LibraryWriter::write(controller.path(), std::move(version), detail::JSONStoreTexts::localizedTexts()), longest);
}

App::SaveOutcome App::saveFinished(LibraryWriter::Written written, std::chrono::milliseconds longest)
{
    auto& controller = *m_bundleStoreController;
    VersionUnderWay underWay = std::move(*m_underWay);
    m_underWay.reset();
    SaveOutcome outcome = SaveOutcome::failed;
    switch (written.outcome) {
    case LibraryWriter::Written::Outcome::written:
        controller.markWritten(std::move(written.library), *written.identity);
        m_snapshot = std::move(underWay.snapshot);
        // Where no file was there to load, no other writer can have started from anything
        // older than the first version written here: it stands for their base as a loaded
        // file would.
        if (!controller.hasReadAVersion()) {
            controller.markAsRead(JSONDictionary(controller.savedDictionary()), controller.identityLastSeen());
            m_foreignSnapshot = m_snapshot;
        }
        outcome = SaveOutcome::written;
        break;
    case LibraryWriter::Written::Outcome::replacedElsewhere:
        outcome = mergeChangesMadeElsewhere(longest);
        if (outcome == SaveOutcome::written) {
            underWay.changes = m_changes; // the file holds the library as it is now
        } else if (outcome == SaveOutcome::again) {
            // Another writer that takes no lock may put its file in place again and again.
            constexpr int attempts = 5;
            if (++m_replacedAttempts < attempts) {
                underWay.imports.insert(underWay.imports.end(), m_importsToAnnounce.begin(), m_importsToAnnounce.end());
                m_importsToAnnounce = std::move(underWay.imports);
                deliverHeldNotices();
                return writeVersion(longest);
            }
            notifySaveFailure(CbError(StoreErrorTexts::fileCouldNotBeWritten(),
                localized(u"Another program replaced the library again and again while Quillet wrote it; your "
                          u"changes are kept until the next save: ",
                    "Library replaced during save")
                    .append(fromUtf8(controller.path().string()))));
            outcome = SaveOutcome::failed;
        }
        break;
    case LibraryWriter::Written::Outcome::busy:
        outcome = SaveOutcome::busy;
        break;
    case LibraryWriter::Written::Outcome::unavailable:
        tellLockUnavailable(written.lockError);
        outcome = SaveOutcome::unavailable;
        break;
    case LibraryWriter::Written::Outcome::failed:
        notifySaveFailure(CbError(StoreErrorTexts::fileCouldNotBeWritten(), written.failure));
        break;
    }

    switch (outcome) {
    case SaveOutcome::written:
        m_savePending = m_changes != underWay.changes;
        m_lastSaveFailed = false;
        m_toldBusy = false;
        // An import is announced only once it is on disk.
        for (const auto& bundle : underWay.imports)
            m_environment.notifications->scheduleBundleImportedNotification(*bundle);
        break;
    case SaveOutcome::busy:
        m_lastSaveFailed = true;
        if (!m_toldBusy) {
            m_toldBusy = true;
            m_heldNotices.push_back(CbError(localized(u"The library is busy", "Library busy title"),
                localized(u"Another program holds the library's lock; Quillet keeps your changes and writes them "
                          u"as soon as it lets go: ",
                    "Library busy")
                    .append(fromUtf8(FileLock::lockFilePath(controller.path()).string()))));
        }
        if (m_environment.saveScheduler && !m_ending)
            scheduleSave();
        break;
    default:
        m_lastSaveFailed = true;
        break;
    }
    // Delivered only now: a notification may take a while, and other writers wait for the lock.
    deliverHeldNotices();
    // What changed while this version was written goes into the next.
    const bool saveAgain = std::exchange(m_saveAgain, false);
    if (outcome == SaveOutcome::written && m_savePending && m_writer && !m_ending) {
        if (saveAgain)
            saveWaiting(longest);
        else if (!m_saveScheduled)
            scheduleSave();
    }
    return outcome;
}

App::SaveOutcome App::mergeChangesMadeElsewhere(std::chrono::milliseconds longest)
{
    auto& controller = *m_bundleStoreController;
    SaveOutcome outcome = SaveOutcome::again;
    m_saving = true;
    try {
        const auto lock = controller.lockForWriting(longest);
        if (lock->state() == FileLock::State::busy) {
            outcome = SaveOutcome::busy;
        } else if (lock->state() == FileLock::State::unavailable) {
            tellLockUnavailable(lock->error());
            outcome = SaveOutcome::unavailable;
        } else if (controller.fileChangedElsewhere() && keepChangesMadeElsewhere(true)) {
            outcome = SaveOutcome::written; // the file holds the library already
        }
    } catch (const UserErrorDescriptionType& error) {
        notifySaveFailure(error);
        outcome = SaveOutcome::failed;
    } catch (const std::exception& error) {
        notifySaveFailure(PlatformError(localizedDescription(error)));
        outcome = SaveOutcome::failed;
    }
    m_saving = false;
    return outcome;
}

void App::tellLockUnavailable(int error)
{
    // Without the lock, another instance's save could replace ours unseen, or ours theirs:
    // nothing is written.
    notifySaveFailure(CbError(StoreErrorTexts::fileCouldNotBeWritten(),
        localized(u"Quillet cannot lock the library, so it wrote nothing; your changes are kept until it "
                  u"can. The lock file: ",
            "Library lock unavailable")
            .append(fromUtf8(FileLock::lockFilePath(m_bundleStoreController->path()).string()))
            .append(u" (")
            .append(fromUtf8(std::strerror(error)))
            .append(u")")));
}

void App::writeHoldingTheLock()
{
    // Another writer that takes no lock may put its file in place while we write: the look
    // right before the rename sees it, and its changes are merged before we try again.
    constexpr int attempts = 5;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (m_bundleStoreController->fileChangedElsewhere() && keepChangesMadeElsewhere(true))
            return; // the file holds the library already
        if (m_bundleStoreController->saveOverFileLastSeen()) {
            rememberWrittenVersion();
            return;
        }
    }
    throw CbError(StoreErrorTexts::fileCouldNotBeWritten(),
        localized(u"Another program replaced the library again and again while Quillet wrote it; your changes are "
                  u"kept until the next save: ",
            "Library replaced during save")
            .append(fromUtf8(m_bundleStoreController->path().string())));
}

void App::rememberWrittenVersion()
{
    m_snapshot = LibrarySnapshot::of(bundleStore());
    // Where no file was there to load, no other writer can have started from anything older
    // than the first version written here: it stands for their base as a loaded file would.
    auto& controller = *m_bundleStoreController;
    if (!controller.hasReadAVersion()) {
        controller.markAsRead(JSONDictionary(controller.savedDictionary()), controller.identityLastSeen());
        m_foreignSnapshot = m_snapshot;
    }
}

void App::saveIfPending()
{
    if (m_savePending)
        save();
}

void App::saveBeforeEnd()
{
    if (!m_bundleStoreController || m_saving)
        return;
    m_ending = true;
    // The write under way is waited for, however slow the disk: a process that writes is not
    // stuck, and what it writes is the library's last version, or the one before.
    if (m_writer) {
        if (auto written = m_writer->finish())
            saveFinished(std::move(*written), lockWaitAtEnd);
    }
    // A version that another writer put in place of the one this holder wrote last may lack
    // what that save wrote (a sync tool's copy of an older version): it is merged and written
    // as at any save.
    const auto& controller = *m_bundleStoreController;
    const bool replacedSinceOurSave = controller.wroteLastVersionSeen() && controller.fileChangedElsewhere();
    if (!m_savePending && !replacedSinceOurSave)
        return;
    const SaveOutcome outcome = saveWaiting(lockWaitAtEnd);
    if (outcome != SaveOutcome::written)
        keepUnsavedChanges(outcome);
    if (m_environment.saveScheduler) {
        m_environment.saveScheduler->cancel();
        m_saveScheduled = false;
    }
}

namespace {

/// What the user is told of records that were changed on both sides of a merge.
CbError conflictNotice(const std::vector<icu::UnicodeString>& conflicts)
{
    icu::UnicodeString names;
    for (const auto& name : conflicts)
        names.append(names.isEmpty() ? u"" : u", ").append(name);
    return CbError(localized(u"The library was changed by another program", "Library changed title"),
        localized(u"Quillet and another program changed the same bundles or expanders; both versions were kept, "
                  u"the other program's after yours: ",
            "Library changed conflict")
            .append(names)
            .append(u"."));
}

} // namespace

void App::keepUnsavedChanges(SaveOutcome why)
{
    auto& controller = *m_bundleStoreController;
    const auto& path = controller.path();
    // Made against the file as it is now, so that what a version put in place meanwhile lacks
    // of this holder's saves stays added here (read only: the lock is not ours).
    if (controller.fileChangedElsewhere()) {
        m_saving = true;
        keepChangesMadeElsewhere(false);
        m_saving = false;
        deliverHeldNotices();
    }
    JSONDictionary library = bundleStore().dictionary();
    if (library == controller.savedDictionary()) {
        m_savePending = false; // the file holds it all
        return;
    }
    // What the next start could not write either is not kept for it to take in; the notice
    // of the failed save said so.
    if (detail::encodedJSONDictionary(library).size() > static_cast<std::size_t>(detail::largestLibraryFileSize)) {
        deliverNotification(CbError(StoreErrorTexts::fileCouldNotBeSaved(),
            localized(u"Your changes since the last save are lost: the library would be larger than 64 MB, more "
                      u"than Quillet reads back.",
                "Library unsaved too large")));
        return;
    }
    const auto kept = keptChangesName(path);
    try {
        keepChanges(kept, controller.savedDictionary(), std::move(library));
    } catch (const std::exception& error) {
        deliverNotification(CbError(StoreErrorTexts::fileCouldNotBeSaved(),
            localized(u"Your last changes could not be kept either: ", "Library unsaved not kept")
                .append(fromUtf8(kept.string()))
                .append(u" (")
                .append(localizedDescription(error))
                .append(u")")));
        return;
    }
    m_savePending = false;
    icu::UnicodeString reason;
    switch (why) {
    case SaveOutcome::busy:
        reason = localized(
            u"Another program held the library's lock; your last changes were kept in ", "Library unsaved kept");
        break;
    case SaveOutcome::unavailable:
        reason = localized(
            u"Quillet could not lock the library; your last changes were kept in ", "Library unsaved kept no lock");
        break;
    case SaveOutcome::written:
    case SaveOutcome::failed:
    case SaveOutcome::underWay:
    case SaveOutcome::again:
        reason = localized(
            u"The library could not be written; your last changes were kept in ", "Library unsaved kept failed");
        break;
    }
    deliverNotification(CbError(StoreErrorTexts::fileCouldNotBeSaved(),
        reason.append(fromUtf8(kept.string()))
            .append(localized(u" and are merged into the library at the next start.", "Library unsaved kept end"))));
}

void App::takeInUnsavedChanges()
{
    auto& controller = *m_bundleStoreController;
    const auto& path = controller.path();
    // Most starts find none, and take no lock.
    if (keptChangesBeside(path).empty())
        return;
    BundleStore& store = bundleStore();
    std::vector<icu::UnicodeString> conflicts;
    std::optional<LibraryBefore> before;
    {
        // Held from the listing to the removal: another process starting beside the same files
        // waits, then finds them gone and what they kept in the library file.
        const auto lock = controller.lockForWriting(m_environment.lockWait);
        if (!lock->isHeld())
            return; // left for a start that can lock the library
        const JSONDictionary onDisk = controller.savedDictionary();
        auto kept = mergeKeptChanges(path, onDisk);
        const JSONDictionary merged = std::move(kept.library);
        const std::vector<std::filesystem::path> taken = std::move(kept.taken);
        conflicts = std::move(kept.conflicts);
        if (taken.empty())
            return;

        bool written = merged == onDisk; // already in the file: only the files go
        if (!written) {
            before = LibraryBefore::of(store);
            m_saving = true;
            m_savePending = true;
            try {
                // Nothing changed here yet: the merge gives `merged`, keeping the objects of what stays.
                m_snapshot.mergeInto(store, onDisk, merged);
                writeHoldingTheLock();
                written = true;
            } catch (const UserErrorDescriptionType& error) {
                notifySaveFailure(error);
            } catch (const std::exception& error) {
                notifySaveFailure(PlatformError(localizedDescription(error)));
            }
            m_saving = false;
            m_savePending = false;
        }
        if (written) {
            std::error_code error;
            for (const auto& file : taken)
                std::filesystem::remove(file, error);
        } else {
            // The files stay for a later start: the library goes back to the file's.
            store.setBundles(BundleStore(controller.savedDictionary()).bundles());
            m_snapshot = LibrarySnapshot::of(store);
            m_foreignSnapshot = m_snapshot;
            before.reset();
            conflicts.clear();
        }
    }
    if (before)
        tell(before->noticeOfChangesTo(store));
    if (!conflicts.empty())
        tell(keptConflictNotice(conflicts));
    deliverHeldNotices();
}

void App::tell(CbError notice)
{
    if (m_saving)
        m_heldNotices.push_back(std::move(notice));
    else
        deliverNotification(notice);
}

void App::deliverHeldNotices()
{
    auto notices = std::move(m_heldNotices);
    m_heldNotices.clear();
    for (const auto& notice : notices)
        deliverNotification(notice);
}

bool App::keepChangesMadeElsewhere(bool holdingTheLock)
{
    const auto& path = m_bundleStoreController->path();
    std::optional<JSONDictionary> current;
    std::optional<FileIdentity> identity;
    try {
        current = m_bundleStoreController->readFileAsItIsNow(&identity);
    } catch (const std::exception&) {
        if (!holdingTheLock)
            return false; // moved aside only under the lock
        // Not ours and not readable: kept under another name, never overwritten.
        auto target = path;
        if (std::filesystem::is_symlink(path))
            target = std::filesystem::weakly_canonical(path);
        std::filesystem::path kept;
        try {
            kept = moveToKeptName(target, target, "unreadable");
        } catch (const std::system_error&) {
            throw CbError(StoreErrorTexts::fileCouldNotBeWritten(),
                localized(u"Another program put a file that Quillet cannot read in the library's place; it was "
                          u"left as it is: ",
                    "Library replaced unreadable")
                    .append(fromUtf8(target.string())));
        }
        tell(CbError(localized(u"The library was changed by another program", "Library changed title"),
            localized(u"Quillet could not read the file that replaced it, so that file was kept as ",
                "Library replaced unreadable kept")
                .append(fromUtf8(kept.string()))
                .append(u".")));
        return false;
    }
    if (!current)
        return false; // removed meanwhile: nothing to keep
    std::vector<icu::UnicodeString> conflicts;
    bool holdsTheLibrary = false;
    try {
        // Read as this version writes it, so that a bundle only written differently is no change.
        JSONDictionary theirs = BundleStore(*current).dictionary();
        // Against the library as the other writer may have known it: it may have read the file
        // before our last save, and what that save added is not for it to delete.
        const auto base = m_snapshot.asSeenBy(m_bundleStoreController->savedDictionary(), theirs, m_foreignSnapshot,
            m_bundleStoreController->readDictionary());
        auto merge = base.snapshot.mergeInto(bundleStore(), base.dictionary, theirs);
        holdsTheLibrary = bundleStore().dictionary() == theirs;
        m_snapshot = std::move(merge.snapshotOfTheirs);
        m_foreignSnapshot = m_snapshot;
        m_bundleStoreController->markAsRead(std::move(theirs), identity);
        conflicts = std::move(merge.conflicts);
    } catch (const std::exception&) {
        if (!holdingTheLock)
            return false;
        // A library this version cannot read in full: kept whole beside ours.
        const auto kept = writeKeptCopy(path, "changed", detail::encodedJSONDictionary(*current));
        // Kept, so ours may take its place: the base stays what it was.
        m_bundleStoreController->markAsRead(JSONDictionary(m_bundleStoreController->savedDictionary()), identity);
        m_foreignSnapshot = m_snapshot;
        tell(CbError(localized(u"The library was changed by another program", "Library changed title"),
            localized(u"Its version holds bundles Quillet cannot read; it was kept as ", "Library changed kept")
                .append(fromUtf8(kept.string()))
                .append(u".")));
        return false;
    }
    if (!conflicts.empty())
        tell(conflictNotice(conflicts));
    return holdsTheLibrary;
}

void App::notifySaveFailure(const UserErrorDescriptionType& error)
{
    // The store's own description names the file that could not be written.
    tell(CbError(StoreErrorTexts::fileCouldNotBeSaved(), error.userErrorDescription()));
}

void App::bundleStoreDidChange(BundleStore& /*store*/)
{
    if (m_saving)
        return; // the save under way writes this change too
    ++m_changes;
    if (!m_environment.saveScheduler) {
        save();
        return;
    }
    m_savePending = true;
    // A write under way schedules the next one when it is done.
    if (!m_saveScheduled && !isWriting())
        scheduleSave();
}

void App::scheduleSave()
{
    m_saveScheduled = true;
    m_environment.saveScheduler->schedule([this] {
        m_saveScheduled = false;
        saveIfPending();
    });
}

void App::bundleStoreDidImport(BundleStore& store, Bundle& bundle, bool silent)
{
    // An import is announced only once it is on disk: with the version that holds it.
    if (!silent) {
        const auto& bundles = store.bundles();
        const auto found = std::find_if(
            bundles.rbegin(), bundles.rend(), [&](const BundlePtr& candidate) { return candidate.get() == &bundle; });
        if (found != bundles.rend())
            m_importsToAnnounce.push_back(*found);
    }
    saveIfPending();
    if (!m_savePending && !isWriting()) {
        // Written already (at the change itself).
        auto imports = std::move(m_importsToAnnounce);
        m_importsToAnnounce.clear();
        if (!m_lastSaveFailed) {
            for (const auto& imported : imports)
                m_environment.notifications->scheduleBundleImportedNotification(*imported);
        }
    }
}

void App::bundleStoreWantsChangesSaved(BundleStore& /*store*/)
{
    saveIfPending();
}

void App::configureShared(Environment environment)
{
    std::lock_guard lock(sharedMutex);
    sharedEnvironment = std::move(environment);
}

App& App::shared()
{
    std::lock_guard lock(sharedMutex);
    if (!sharedApp) {
        sharedApp = std::make_unique<App>(sharedEnvironment ? *sharedEnvironment : Environment {});
        sharedAppPointer = sharedApp.get();
    }
    return *sharedApp;
}

App* App::sharedIfCreated() noexcept
{
    return sharedAppPointer.load();
}

void App::setShared(std::unique_ptr<App> app)
{
    std::lock_guard lock(sharedMutex);
    sharedAppPointer = nullptr;
    sharedApp = std::move(app);
    sharedAppPointer = sharedApp.get();
}

std::shared_ptr<const ExpanderController> openLibraryExpanders()
{
    std::vector<ExpanderPtr> expanders;
    if (App* app = App::sharedIfCreated()) {
        for (auto& expander : app->bundleStore().enabledExpanders())
            expanders.push_back(std::move(expander));
    }
    return std::make_shared<const ExpanderController>(std::move(expanders));
}

} // namespace quillet
