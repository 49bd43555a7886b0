#pragma once

#include "library/ApplicationControl.h"
#include "library/SaveScheduler.h"
#include "library/UserAlerts.h"

#include <QTimer>

#include <functional>
#include <memory>

namespace quillet {

// Each of these stands aside once the process ends inside exit() (processIsExiting()): the
// library's last save may still run then, and must touch no Qt object.

/// The library's modal alerts as message boxes.
class QtUserAlerts final : public UserAlerts {
public:
    void runModal(const Alert& alert) override;
};

/// The application's life cycle over QApplication: a tray application has no window to
/// raise, so activation only matters to the windows; terminate quits the event loop.
class QtApplicationControl final : public ApplicationControl {
public:
    void activate(bool ignoringOtherApps) override;
    void deactivate() override { }
    void terminate() override;
};

/// Saves on the event loop's timer. Destroyed no later than the QApplication, unless the
/// process is ending inside exit(), when its timer is left as it is.
class QtSaveScheduler final : public SaveScheduler {
public:
    QtSaveScheduler();
    ~QtSaveScheduler() override;
    QtSaveScheduler(const QtSaveScheduler&) = delete;
    QtSaveScheduler& operator=(const QtSaveScheduler&) = delete;
    void schedule(std::function<void()> save) override;
    void cancel() override;
    bool canPost() const override { return true; }
    void post(std::function<void()> action) override;

private:
    std::unique_ptr<QTimer> m_timer;
    std::function<void()> m_save;
};

} // namespace quillet
