#pragma once

#include "front/UserDefaultsKey.h"

#include <QPointer>
#include <QWidget>

#include <map>

class QLabel;

namespace quillet {

class GlobalShortcutRoutes;
class ShortcutRecorder;
class UserDefaults;

/// The preferences tab of the three global shortcuts: each recorder shows and records the
/// shortcut of its settings key. Where the keys do not simply reach Quillet, a line under
/// each tells what does: the keys the desktop assigned, or the commands its keyboard
/// settings can run.
class ShortcutsPreferencesViewController final : public QWidget {
    Q_OBJECT
public:
    /// routes may be null: the keys are then taken as recorded.
    explicit ShortcutsPreferencesViewController(
        UserDefaults& defaults, GlobalShortcutRoutes* routes = nullptr, QWidget* parent = nullptr);

    ShortcutRecorder* expandTextShortcutView() const noexcept { return m_expandText; }
    ShortcutRecorder* showExpandersShortcutView() const noexcept { return m_showExpanders; }
    ShortcutRecorder* showExpanderBrowserShortcutView() const noexcept { return m_showExpanderBrowser; }
    /// The line under the shortcut of the key (its text, then its commands).
    QWidget* guideView(UserDefaultsKey key) const;
    /// The note on how the desktop binds the shortcuts; hidden where the keys are taken.
    QLabel* noteView() const { return m_note; }

protected:
    /// The shortcuts another program held were just tried again.
    void showEvent(QShowEvent* event) override;

private:
    void showGuides();

    ShortcutRecorder* m_expandText = nullptr;
    ShortcutRecorder* m_showExpanders = nullptr;
    ShortcutRecorder* m_showExpanderBrowser = nullptr;
    QPointer<GlobalShortcutRoutes> m_routes;
    std::map<UserDefaultsKey, QWidget*> m_guides;
    QLabel* m_note = nullptr;
};

} // namespace quillet
