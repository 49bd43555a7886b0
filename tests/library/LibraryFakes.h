#pragma once

#include "library/Alert.h"
#include "library/App.h"
#include "library/ApplicationControl.h"
#include "library/Bundle.h"
#include "library/BundleStore.h"
#include "library/ResourceLocator.h"
#include "library/UserAlerts.h"
#include "library/UserNotifications.h"
#include "text/UnicodeConversion.h"
#include "text/UserErrorDescriptionType.h"

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quillet::test {

/// Records the alerts it is asked to show, together with what the application did around them.
struct RecordingUserInterface final : UserAlerts, ApplicationControl {
    void runModal(const Alert& alert) override
    {
        alerts.push_back(alert);
        calls.push_back("alert");
    }
    void activate(bool ignoringOtherApps) override
    {
        calls.push_back(ignoringOtherApps ? "activate ignoring other apps" : "activate");
    }
    void deactivate() override { calls.push_back("deactivate"); }
    void terminate() override { calls.push_back("terminate"); }

    std::vector<Alert> alerts;
    std::vector<std::string> calls;
};

struct RecordingNotifications final : UserNotifications {
    struct Delivered {
        icu::UnicodeString title;
        icu::UnicodeString description;
    };
    void deliverNotification(const UserErrorDescriptionType& error) override
    {
        delivered.push_back({ error.userErrorTitle(), error.userErrorDescription() });
    }
    void scheduleBundleImportedNotification(const Bundle& bundle) override
    {
        scheduledBundleNames.push_back(bundle.name());
    }

    std::vector<Delivered> delivered;
    std::vector<icu::UnicodeString> scheduledBundleNames;
};

/// Counts the store's reports, in order.
struct RecordingStoreDelegate final : BundleStoreDelegate {
    void bundleStoreDidChange(BundleStore&) override { events.push_back("change"); }
    void bundleStoreDidImport(BundleStore&, Bundle& bundle, bool silent) override
    {
        events.push_back("import " + toUtf8(bundle.name()) + (silent ? " silently" : ""));
    }
    std::vector<std::string> events;
};

/// An App environment whose services record what they are asked, over a library file in a folder.
struct RecordingEnvironment {
    explicit RecordingEnvironment(std::filesystem::path libraryFile, std::filesystem::path resources)
        : userInterface(std::make_shared<RecordingUserInterface>())
        , notifications(std::make_shared<RecordingNotifications>())
        , environment {
            .alerts = userInterface,
            .notifications = notifications,
            .application = userInterface,
            .resources = std::make_shared<DirectoryResourceLocator>(std::move(resources)),
            .bundlesFilePath = std::move(libraryFile),
            .saveScheduler = nullptr,
        }
    {
    }

    std::shared_ptr<RecordingUserInterface> userInterface;
    std::shared_ptr<RecordingNotifications> notifications;
    App::Environment environment;
};

} // namespace quillet::test
