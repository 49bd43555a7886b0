#include "OrvTextView/Misc/AutoresizingTabViewController.h"

#include <QPropertyAnimation>
#include <QStackedWidget>

namespace orv {

AutoresizingTabViewController::AutoresizingTabViewController(QWidget* parent)
    : QTabWidget(parent)
{
    connect(this, &QTabWidget::currentChanged, this, &AutoresizingTabViewController::tabDidSelect);
}

AutoresizingTabViewController::~AutoresizingTabViewController()
{
    // The pages die after this controller's members; they must not reach the map then.
    for (const auto& [page, size] : m_tabViewSizes)
        disconnect(page, &QObject::destroyed, this, nullptr);
}

std::optional<QSize> AutoresizingTabViewController::recordedSize(int index) const
{
    const auto found = m_tabViewSizes.find(widget(index));
    if (found == m_tabViewSizes.end())
        return std::nullopt;
    return found->second;
}

void AutoresizingTabViewController::showEvent(QShowEvent* event)
{
    QTabWidget::showEvent(event);
    if (QWidget* page = currentWidget()) {
        cache(page);
        resizeWindowToFit(page);
    }
}

void AutoresizingTabViewController::tabDidSelect(int index)
{
    QWidget* page = widget(index);
    if (!page)
        return;
    // The page is not laid out into the tab area yet: its size is still its own.
    cache(page);
    if (isVisible() && window() != this)
        window()->setWindowTitle(tabText(index).remove(u'&'));
    else if (isVisible())
        setWindowTitle(tabText(index).remove(u'&'));
    resizeWindowToFit(page);
}

void AutoresizingTabViewController::cache(QWidget* page)
{
    if (!page || m_tabViewSizes.contains(page))
        return;
    const QSize size = page->sizeHint().expandedTo(page->minimumSize());
    if (!size.isValid())
        return;
    m_tabViewSizes.emplace(page, size);
    connect(page, &QObject::destroyed, this, [this, page] { m_tabViewSizes.erase(page); });
}

void AutoresizingTabViewController::resizeWindowToFit(QWidget* page)
{
    const auto found = m_tabViewSizes.find(page);
    if (found == m_tabViewSizes.end() || !isVisible())
        return;
    QWidget* top = window();
    auto* area = qobject_cast<QStackedWidget*>(page->parentWidget());
    if (!top || !area)
        return;
    // The window grows or shrinks by what the page area lacks or has too much; resizing
    // keeps the window's top-left corner where it is.
    const QSize target = top->size() + (found->second - area->size());
    if (m_animationDuration <= 0) {
        top->resize(target);
        return;
    }
    auto* animation = new QPropertyAnimation(top, "size", top);
    animation->setDuration(m_animationDuration);
    animation->setEndValue(target);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

} // namespace orv
