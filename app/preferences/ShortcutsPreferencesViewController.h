#pragma once

#include <QWidget>

namespace quillet {

class ShortcutRecorder;
class UserDefaults;

/// The preferences tab of the three global shortcuts: each recorder shows and records the
/// shortcut of its settings key.
class ShortcutsPreferencesViewController final : public QWidget {
    Q_OBJECT
public:
    explicit ShortcutsPreferencesViewController(UserDefaults& defaults, QWidget* parent = nullptr);

    ShortcutRecorder* expandTextShortcutView() const noexcept { return m_expandText; }
    ShortcutRecorder* showExpandersShortcutView() const noexcept { return m_showExpanders; }
    ShortcutRecorder* showExpanderBrowserShortcutView() const noexcept { return m_showExpanderBrowser; }

private:
    ShortcutRecorder* m_expandText = nullptr;
    ShortcutRecorder* m_showExpanders = nullptr;
    ShortcutRecorder* m_showExpanderBrowser = nullptr;
};

} // namespace quillet
