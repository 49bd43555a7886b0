#pragma once

#include "intro/IntroViewController.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>

class QStackedLayout;

namespace quillet {

/// Holds the pages of the introduction in their fixed order and shows one at a time.
///
/// The pages move the controller on; scrolling does not turn pages. Each page is made anew
/// from its identifier when it comes into view, and the page it replaces is deleted.
class IntroPageController final : public QWidget, public IntroViewControllerDelegate {
    Q_OBJECT
public:
    /// Makes the page for an identifier; the controller becomes its parent and delegate.
    using PageFactory = std::function<IntroViewController*(const QString& identifier)>;

    /// The eight pages' identifiers, in their order.
    static const QStringList& pageIdentifiers();

    explicit IntroPageController(PageFactory factory, QWidget* parent = nullptr);

    const QStringList& arrangedObjects() const noexcept { return m_arrangedObjects; }
    int selectedIndex() const noexcept { return m_selectedIndex; }
    IntroViewController* selectedPage() const noexcept { return m_selectedPage; }

    /// Shows the next page; on the last page nothing happens.
    void navigateForward();

    void introViewControllerDidRequestNextPage(IntroViewController& page) override;
    void introViewControllerDidFinish(IntroViewController& page) override;

Q_SIGNALS:
    void selectedPageChanged(int index);

protected:
    void wheelEvent(QWheelEvent* event) override;

private:
    void select(int index);

    PageFactory m_factory;
    QStringList m_arrangedObjects;
    int m_selectedIndex = -1;
    QPointer<IntroViewController> m_selectedPage;
    QStackedLayout* m_stack = nullptr;
};

} // namespace quillet
