#pragma once

namespace quillet {

/// The application's life cycle as the core needs it: bringing the application to the
/// front before a modal alert, letting go of the front afterwards, and ending it when
/// the library cannot be loaded.
class ApplicationControl {
public:
    virtual ~ApplicationControl() = default;

    virtual void activate(bool ignoringOtherApps) = 0;
    virtual void deactivate() = 0;
    /// Asks the application to end; it may return before the process ends.
    virtual void terminate() = 0;
};

} // namespace quillet
