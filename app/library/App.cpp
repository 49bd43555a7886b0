#include "library/App.h"

#include "expansion/ExpanderController.h"
#include "library/Alert.h"
#include "library/ApplicationControl.h"
#include "library/LibrarySnapshot.h"
#include "library/Paths.h"
#include "library/ResourceLocator.h"
#include "library/SaveScheduler.h"
#include "library/UserAlerts.h"
#include "library/UserNotifications.h"
#include "text/Localized.h"
#include "text/UnicodeConversion.h"

#include <atomic>
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
        showLoadError(CbError(localized(u"File could not be read", "JSON Serializable Store error"),
            localized(u"No folder for the library: set XDG_DATA_HOME or HOME.", "Missing data folder error")));
        return;
    }
    detail::removeStaleTemporaryFiles(*path);
    if (!load(*path))
        return;
    // A first run is what the load found, never a second look at the path, which another
    // run may have filled meanwhile. When one did, its library is the one to use.
    if (!m_bundleStoreController->foundFile() && !installDefaultBundles() && !load(*path))
        return;
    m_bundleStoreController->serializable().addDelegate(this);
}

App::~App()
{
    if (m_environment.saveScheduler)
        m_environment.saveScheduler->cancel();
    if (m_bundleStoreController) {
        // What was typed last is written before the process ends.
        saveIfPending();
        m_bundleStoreController->serializable().removeDelegate(this);
    }
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
    m_savePending = false;
    if (m_environment.saveScheduler)
        m_environment.saveScheduler->cancel();
    if (!m_bundleStoreController || m_saving)
        return;
    m_saving = true;
    try {
        // Another instance saving at the same moment waits here, and then reads what we wrote.
        const auto lock = m_bundleStoreController->lockForWriting();
        if (m_bundleStoreController->fileChangedElsewhere())
            keepChangesMadeElsewhere();
        m_bundleStoreController->save();
        m_snapshot = LibrarySnapshot::of(bundleStore());
        m_lastSaveFailed = false;
    } catch (const UserErrorDescriptionType& error) {
        m_lastSaveFailed = true;
        notifySaveFailure(error);
    } catch (const std::exception& error) {
        m_lastSaveFailed = true;
        notifySaveFailure(PlatformError(localizedDescription(error)));
    }
    m_saving = false;
}

void App::saveIfPending()
{
    if (m_savePending)
        save();
}

void App::keepChangesMadeElsewhere()
{
    const auto& path = m_bundleStoreController->path();
    std::optional<JSONDictionary> current;
    std::optional<detail::FileIdentity> identity;
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
            throw CbError(localized(u"File could not be written", "JSON Serializable Store error"),
                localized(u"Another program put a file that Quillet cannot read in the library's place; it was "
                          u"left as it is: ",
                    "Library replaced unreadable")
                    .append(fromUtf8(target.string())));
        deliverNotification(CbError(localized(u"The library was changed by another program", "Library changed title"),
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
        auto merge = m_snapshot.mergeInto(bundleStore(), m_bundleStoreController->savedDictionary(), theirs);
        m_snapshot = std::move(merge.snapshotOfTheirs);
        m_bundleStoreController->markAsRead(std::move(theirs), identity);
        conflicts = std::move(merge.conflicts);
    } catch (const std::exception&) {
        // A library this version cannot read in full: kept whole beside ours.
        auto kept = path;
        kept += "." + std::to_string(std::time(nullptr)) + ".changed";
        detail::writeFileAtomically(kept, current->dump(4) + "\n");
        deliverNotification(CbError(localized(u"The library was changed by another program", "Library changed title"),
            localized(u"Its version holds bundles Quillet cannot read; it was kept as ", "Library changed kept")
                .append(fromUtf8(kept.string()))
                .append(u".")));
        return;
    }
    if (conflicts.empty())
        return;
    icu::UnicodeString names;
    for (const auto& name : conflicts)
        names.append(names.isEmpty() ? u"" : u", ").append(name);
    deliverNotification(CbError(localized(u"The library was changed by another program", "Library changed title"),
        localized(u"Quillet and another program changed the same bundles or expanders; both versions were kept, "
                  u"the other program's after yours: ",
            "Library changed conflict")
            .append(names)
            .append(u".")));
}

void App::notifySaveFailure(const UserErrorDescriptionType& error)
{
    // The store's own description names the file that could not be written.
    deliverNotification(
        CbError(localized(u"File could not be saved", "File could not be save"), error.userErrorDescription()));
}

void App::bundleStoreDidChange(BundleStore& /*store*/)
{
    if (m_saving)
        return; // the save under way writes this change too
    if (!m_environment.saveScheduler) {
        save();
        return;
    }
    if (m_savePending)
        return;
    m_savePending = true;
    m_environment.saveScheduler->schedule([this] { saveIfPending(); });
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
