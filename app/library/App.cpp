#include "library/App.h"

#include "expansion/ExpanderController.h"
#include "library/Alert.h"
#include "library/ApplicationControl.h"
#include "library/LibrarySnapshot.h"
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

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <iostream>
#include <mutex>
#include <new>

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
    removeStaleTemporaryFiles(*path);
    if (!load(*path))
        return;
    // A first run is what the load found, never a second look at the path, which another
    // run may have filled meanwhile. When one did, its library is the one to use.
    if (!m_bundleStoreController->foundFile() && !installDefaultBundles() && !load(*path))
        return;
    takeInUnsavedChanges();
    m_bundleStoreController->serializable().addDelegate(this);
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
        if (!m_bundleStoreController->saveIfAbsent())
            return false;
        m_snapshot = LibrarySnapshot::of(store);
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
    m_saving = true;
    // Whatever happens below, the change waits until it is on disk.
    m_savePending = true;
    SaveOutcome outcome = SaveOutcome::failed;
    const auto& path = m_bundleStoreController->path();
    try {
        // Another instance saving at the same moment waits here, and then reads what we wrote.
        const auto lock = m_bundleStoreController->lockForWriting(longest);
        switch (lock->state()) {
        case FileLock::State::held:
            writeHoldingTheLock();
            outcome = SaveOutcome::written;
            break;
        case FileLock::State::busy:
            outcome = SaveOutcome::busy;
            break;
        case FileLock::State::unavailable:
            // No folder for the library: no write could succeed either.
            if (lock->error() == ENOENT || lock->error() == ENOTDIR)
                throw CbError(StoreErrorTexts::fileCouldNotBeWritten(), fromUtf8(path.string()));
            // Without the lock, another instance's save could replace ours unseen, or ours
            // theirs: nothing is written.
            notifySaveFailure(CbError(StoreErrorTexts::fileCouldNotBeWritten(),
                localized(u"Quillet cannot lock the library, so it wrote nothing; your changes are kept until it "
                          u"can. The lock file: ",
                    "Library lock unavailable")
                    .append(fromUtf8(FileLock::lockFilePath(path).string()))
                    .append(u" (")
                    .append(fromUtf8(std::strerror(lock->error())))
                    .append(u")")));
            break;
        }
    } catch (const UserErrorDescriptionType& error) {
        notifySaveFailure(error);
    } catch (const std::exception& error) {
        notifySaveFailure(PlatformError(localizedDescription(error)));
    }
    m_saving = false;

    // Delivered only now: a notification may take a while, and other writers wait for the lock.
    auto notices = std::move(m_heldNotices);
    m_heldNotices.clear();
    switch (outcome) {
    case SaveOutcome::written: {
        m_savePending = false;
        m_lastSaveFailed = false;
        m_toldBusy = false;
        std::error_code error;
        for (const auto& file : m_takenInUnsavedFiles)
            std::filesystem::remove(file, error);
        m_takenInUnsavedFiles.clear();
        break;
    }
    case SaveOutcome::busy:
        m_lastSaveFailed = true;
        if (!m_toldBusy) {
            m_toldBusy = true;
            notices.push_back(CbError(localized(u"The library is busy", "Library busy title"),
                localized(u"Another program holds the library's lock; Quillet keeps your changes and writes them "
                          u"as soon as it lets go: ",
                    "Library busy")
                    .append(fromUtf8(FileLock::lockFilePath(path).string()))));
        }
        if (m_environment.saveScheduler)
            scheduleSave();
        break;
    case SaveOutcome::failed:
        m_lastSaveFailed = true;
        break;
    }
    for (const auto& notice : notices)
        deliverNotification(notice);
    return outcome;
}

void App::writeHoldingTheLock()
{
    // Another writer that takes no lock may put its file in place while we write: the look
    // right before the rename sees it, and its changes are merged before we try again.
    constexpr int attempts = 5;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (m_bundleStoreController->fileChangedElsewhere())
            keepChangesMadeElsewhere();
        if (m_bundleStoreController->saveOverFileLastSeen()) {
            m_snapshot = LibrarySnapshot::of(bundleStore());
            return;
        }
    }
    throw CbError(StoreErrorTexts::fileCouldNotBeWritten(),
        localized(u"Another program replaced the library again and again while Quillet wrote it; your changes are "
                  u"kept until the next save: ",
            "Library replaced during save")
            .append(fromUtf8(m_bundleStoreController->path().string())));
}

void App::saveIfPending()
{
    if (m_savePending)
        save();
}

void App::saveBeforeEnd()
{
    if (!m_bundleStoreController || !m_savePending || m_saving)
        return;
    if (saveWaiting(lockWaitAtEnd) != SaveOutcome::written)
        keepUnsavedChanges();
    if (m_environment.saveScheduler) {
        m_environment.saveScheduler->cancel();
        m_saveScheduled = false;
    }
}

namespace {

constexpr std::string_view unsavedSuffix = ".unsaved";
constexpr const char* unsavedBaseKey = "base";
constexpr const char* unsavedLibraryKey = "library";

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

/// The files of unsaved changes beside the library, oldest first.
std::vector<std::filesystem::path> unsavedFilesBeside(const std::filesystem::path& path)
{
    std::vector<std::filesystem::path> files;
    const std::string prefix = path.filename().string() + ".";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(path.parent_path(), error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > prefix.size() + unsavedSuffix.size() && name.starts_with(prefix)
            && name.ends_with(unsavedSuffix))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

void App::keepUnsavedChanges()
{
    const auto& path = m_bundleStoreController->path();
    auto kept = path;
    kept += "." + std::to_string(std::time(nullptr)) + "." + std::to_string(getpid()) + std::string(unsavedSuffix);
    try {
        const JSONDictionary unsaved { { unsavedBaseKey, m_bundleStoreController->savedDictionary() },
            { unsavedLibraryKey, bundleStore().dictionary() } };
        writeFileAtomically(kept, detail::encodedJSONDictionary(unsaved));
    } catch (const std::exception& error) {
        deliverNotification(CbError(StoreErrorTexts::fileCouldNotBeSaved(),
            localized(u"Your last changes could not be kept either: ", "Library unsaved not kept")
                .append(fromUtf8(kept.string()))
                .append(u" (")
                .append(localizedDescription(error))
                .append(u")")));
        return;
    }
    // What earlier runs left is in this file too.
    std::error_code error;
    for (const auto& file : m_takenInUnsavedFiles)
        std::filesystem::remove(file, error);
    m_takenInUnsavedFiles.clear();
    m_savePending = false;
    deliverNotification(CbError(StoreErrorTexts::fileCouldNotBeSaved(),
        localized(u"Another program held the library's lock; your last changes were kept in ", "Library unsaved kept")
            .append(fromUtf8(kept.string()))
            .append(localized(u" and are merged into the library at the next start.", "Library unsaved kept end"))));
}

void App::takeInUnsavedChanges()
{
    for (const auto& file : unsavedFilesBeside(m_bundleStoreController->path())) {
        // One at a time, each written before the next: a merge is made against what is on disk.
        if (m_savePending)
            return;
        JSONDictionary base;
        JSONDictionary unsaved;
        try {
            RegularFileRead read = readRegularFile(file, static_cast<std::size_t>(detail::largestLibraryFileSize));
            if (!read.ok())
                continue;
            auto kept = detail::parseJSONDictionary(read.bytes);
            base = BundleStore(kept.at(unsavedBaseKey)).dictionary();
            unsaved = BundleStore(kept.at(unsavedLibraryKey)).dictionary();
        } catch (const std::exception&) {
            continue; // not one this version can read: left as it is
        }
        BundleStore& store = bundleStore();
        JSONDictionary current = store.dictionary();
        std::vector<icu::UnicodeString> conflicts;
        {
            // The earlier run's library, as if it had just made its changes to `base`...
            BundleStore theirs(base);
            const auto baseSnapshot = LibrarySnapshot::of(theirs);
            baseSnapshot.mergeInto(theirs, base, unsaved);
            // ...then meeting the file as it is now, as its save would have.
            auto merge = baseSnapshot.mergeInto(theirs, base, current);
            conflicts = std::move(merge.conflicts);
            store.setBundles(theirs.bundles());
            m_snapshot = std::move(merge.snapshotOfTheirs);
            m_foreignSnapshot = m_snapshot;
        }
        m_bundleStoreController->markAsRead(std::move(current), m_bundleStoreController->identityLastSeen());
        m_takenInUnsavedFiles.push_back(file);
        if (!conflicts.empty())
            deliverNotification(conflictNotice(conflicts));
        save();
    }
}

void App::tell(CbError notice)
{
    if (m_saving)
        m_heldNotices.push_back(std::move(notice));
    else
        deliverNotification(notice);
}

void App::keepChangesMadeElsewhere()
{
    const auto& path = m_bundleStoreController->path();
    std::optional<JSONDictionary> current;
    std::optional<FileIdentity> identity;
    try {
        current = m_bundleStoreController->readFileAsItIsNow(&identity);
    } catch (const std::exception&) {
        // Not ours and not readable: kept under another name, never overwritten.
        auto target = path;
        if (std::filesystem::is_symlink(path))
            target = std::filesystem::weakly_canonical(path);
        auto kept = target;
        kept += "." + std::to_string(std::time(nullptr)) + ".unreadable";
        std::error_code error;
        std::filesystem::rename(target, kept, error);
        if (error)
            throw CbError(StoreErrorTexts::fileCouldNotBeWritten(),
                localized(u"Another program put a file that Quillet cannot read in the library's place; it was "
                          u"left as it is: ",
                    "Library replaced unreadable")
                    .append(fromUtf8(target.string())));
        tell(CbError(localized(u"The library was changed by another program", "Library changed title"),
            localized(u"Quillet could not read the file that replaced it, so that file was kept as ",
                "Library replaced unreadable kept")
                .append(fromUtf8(kept.string()))
                .append(u".")));
        return;
    }
    if (!current)
        return; // removed meanwhile: nothing to keep
    std::vector<icu::UnicodeString> conflicts;
    try {
        // Read as this version writes it, so that a bundle only written differently is no change.
        JSONDictionary theirs = BundleStore(*current).dictionary();
        // Against the library as the other writer may have known it: it may have read the file
        // before our last save, and what that save added is not for it to delete.
        const auto base = m_snapshot.asSeenBy(m_bundleStoreController->savedDictionary(), theirs, m_foreignSnapshot,
            m_bundleStoreController->readDictionary());
        auto merge = base.snapshot.mergeInto(bundleStore(), base.dictionary, theirs);
        m_snapshot = std::move(merge.snapshotOfTheirs);
        m_foreignSnapshot = m_snapshot;
        m_bundleStoreController->markAsRead(std::move(theirs), identity);
        conflicts = std::move(merge.conflicts);
    } catch (const std::exception&) {
        // A library this version cannot read in full: kept whole beside ours.
        auto kept = path;
        kept += "." + std::to_string(std::time(nullptr)) + ".changed";
        writeFileAtomically(kept, detail::encodedJSONDictionary(*current));
        // Kept, so ours may take its place: the base stays what it was.
        m_bundleStoreController->markAsRead(JSONDictionary(m_bundleStoreController->savedDictionary()), identity);
        m_foreignSnapshot = m_snapshot;
        tell(CbError(localized(u"The library was changed by another program", "Library changed title"),
            localized(u"Its version holds bundles Quillet cannot read; it was kept as ", "Library changed kept")
                .append(fromUtf8(kept.string()))
                .append(u".")));
        return;
    }
    if (!conflicts.empty())
        tell(conflictNotice(conflicts));
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
    if (!m_environment.saveScheduler) {
        save();
        return;
    }
    m_savePending = true;
    if (!m_saveScheduled)
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

void App::bundleStoreDidImport(BundleStore& /*store*/, Bundle& bundle, bool silent)
{
    // An import is announced only once it is on disk.
    saveIfPending();
    if (!silent && !m_lastSaveFailed)
        m_environment.notifications->scheduleBundleImportedNotification(bundle);
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
