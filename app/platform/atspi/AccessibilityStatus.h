#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

namespace quillet {

/// Whether assistive technologies are on in this session (org.a11y.Status.IsEnabled of the
/// session bus's org.a11y.Bus), kept and followed rather than asked at every press.
///
/// Made on the thread of the Qt event loop, and used there: it asks once without waiting when
/// made, and then follows the bus's PropertiesChanged signal.
class AccessibilityStatus final : public QObject {
    Q_OBJECT

public:
    explicit AccessibilityStatus(QObject* parent = nullptr);

    /// The value last heard; until one is heard, asked at once with a short bound (false when
    /// the bus does not answer then).
    bool isEnabled();
    /// Turns assistive technologies on; whether they are on afterwards. `failure` tells why not.
    bool enable(QString* failure = nullptr);

private Q_SLOTS:
    void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);

private:
    std::optional<bool> m_enabled;
};

} // namespace quillet
