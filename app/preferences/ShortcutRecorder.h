#pragma once

#include "front/UserDefaultsKey.h"
#include "platform/Shortcut.h"

#include <QPointer>
#include <QPushButton>

#include <functional>
#include <optional>

namespace quillet {

class UserDefaults;

/// Records a global shortcut into a settings key.
///
/// Shows the shortcut stored under its key (and follows later changes). A click starts
/// recording: the next key with at least one modifier (function keys need none) is stored
/// in the shared stored form; Escape cancels; Backspace or Delete clears the shortcut, so
/// that the key holds "no shortcut". Leaving the control cancels recording.
class ShortcutRecorder final : public QPushButton {
    Q_OBJECT

public:
    explicit ShortcutRecorder(QWidget* parent = nullptr);
    ~ShortcutRecorder() override;

    /// Told true when a recorder starts recording and false when it stops: the application
    /// lets go of its global shortcuts meanwhile, so that a chord it holds reaches the
    /// recorder instead of running its action. Main thread only; none by default.
    static void setRecordingObserver(std::function<void(bool recording)> observer);

    /// Ties the recorder to the key of the settings.
    void setAssociatedUserDefaultsKey(UserDefaults& defaults, UserDefaultsKey key);

    bool isRecording() const { return m_recording; }
    void setRecording(bool recording);
    /// The shortcut shown; none when the key holds none.
    std::optional<Shortcut> shortcut() const;

    QSize sizeHint() const override;

Q_SIGNALS:
    void shortcutChanged();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void refresh();

    QPointer<UserDefaults> m_defaults;
    UserDefaultsKey m_key = UserDefaultsKey::ExpandTextShortcut;
    bool m_recording = false;
};

} // namespace quillet
