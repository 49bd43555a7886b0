#pragma once

#include <QWidget>

class QLabel;

namespace quillet {

class StartAtLogin;
class UserDefaults;

/// The preferences tab of sounds and starting at login.
class GeneralPreferencesViewController final : public QWidget {
    Q_OBJECT
public:
    /// startAtLogin: reports why the autostart entry could not be changed; may be nullptr.
    GeneralPreferencesViewController(UserDefaults& defaults, StartAtLogin* startAtLogin, QWidget* parent = nullptr);

    /// Says why starting at login could not be turned on or off; hidden otherwise.
    QLabel* loginErrorLabel() const noexcept { return m_loginError; }

private:
    QLabel* m_loginError = nullptr;
};

} // namespace quillet
