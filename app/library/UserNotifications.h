#pragma once

namespace quillet {

class Bundle;
class UserErrorDescriptionType;

/// Posts the application's user notifications. The application builds them with its
/// notification builder (title and text from the error; an error with a help address
/// carries it along) and hands them to the desktop.
class UserNotifications {
public:
    virtual ~UserNotifications() = default;

    /// Shows a notification of the error at once.
    virtual void deliverNotification(const UserErrorDescriptionType& error) = 0;
    /// Schedules the notification that the bundle has been imported.
    virtual void scheduleBundleImportedNotification(const Bundle& bundle) = 0;
};

} // namespace quillet
