#pragma once

namespace quillet {

struct Alert;

/// Shows modal alerts. The core decides *that* the user must know and *what* the alert
/// says; the application decides how it looks. A console front prints the texts.
class UserAlerts {
public:
    virtual ~UserAlerts() = default;

    /// Runs the alert and returns once the user has dismissed it.
    virtual void runModal(const Alert& alert) = 0;
};

} // namespace quillet
