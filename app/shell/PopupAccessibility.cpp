#include "shell/PopupAccessibility.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QGuiApplication>
#include <QWindow>

#include <utility>

namespace quillet {
namespace {

/// The application with its windows, and its pop-ups while they show, as its children.
class ApplicationWithPopups final : public QAccessibleApplication {
public:
    int childCount() const override { return static_cast<int>(windows().size()); }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child ? static_cast<int>(windows().indexOf(child->object())) : -1;
    }

    QAccessibleInterface* child(int index) const override
    {
        const QObjectList all = windows();
        return index >= 0 && index < all.size() ? QAccessible::queryAccessibleInterface(all.at(index)) : nullptr;
    }

private:
    /// Qt's list (every window but pop-ups), then the pop-ups that show and have no other
    /// place in the tree (a menu of the menu bar is found under its title).
    static QObjectList windows()
    {
        QObjectList list;
        QObjectList popups;
        for (QWindow* window : QGuiApplication::topLevelWindows()) {
            if (window->type() == Qt::Desktop)
                continue;
            const bool popup = window->type() == Qt::Popup;
            if (popup && !window->isVisible())
                continue;
            QAccessibleInterface* root = window->accessibleRoot();
            if (!root || !root->object())
                continue;
            if (!popup)
                list.append(root->object());
            else if (const QAccessibleInterface* parent = root->parent();
                     parent && parent->object() == QCoreApplication::instance())
                popups.append(root->object());
        }
        return list + popups;
    }
};

QAccessibleInterface* applicationWithPopups(const QString&, QObject* object)
{
    return object && object == QCoreApplication::instance() ? new ApplicationWithPopups : nullptr;
}

} // namespace

void showPopupsToAssistiveTechnologies()
{
    static bool installed = false;
    if (!std::exchange(installed, true))
        QAccessible::installFactory(applicationWithPopups);
}

} // namespace quillet
