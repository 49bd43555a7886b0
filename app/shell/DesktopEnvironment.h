#pragma once

#include "library/ApplicationControl.h"
#include "library/SaveScheduler.h"
#include "library/UserAlerts.h"

#include <QTimer>

#include <functional>

namespace quillet {

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

/// Saves on the event loop's timer. Lives no longer than the QApplication.
class QtSaveScheduler final : public SaveScheduler {
public:
    QtSaveScheduler();
    void schedule(std::function<void()> save) override;
    void cancel() override;

private:
    QTimer m_timer;
    std::function<void()> m_save;
};

} // namespace quillet
