#pragma once

#include "OrvTextView/OrvTextViewExport.h"

#include <QPointer>
#include <QSize>
#include <QTabWidget>

#include <map>
#include <optional>

namespace orv {

/// A tab widget that gives each tab its own window size: it records the size of each tab's
/// page the first time the tab is about to be shown, and on every switch resizes its
/// window, animated, so that the page area has that size, keeping the window's top-left
/// corner in place. It also titles the window with the selected tab's label.
///
/// A page's size is its natural size, its size hint (at least its minimum size): a page
/// that wants a certain size says so there. The first size recorded for a tab stays for
/// the controller's life.
class ORVTEXTVIEW_EXPORT AutoresizingTabViewController : public QTabWidget {
    Q_OBJECT
public:
    explicit AutoresizingTabViewController(QWidget* parent = nullptr);
    ~AutoresizingTabViewController() override;

    /// The recorded size of a tab's page, if any.
    std::optional<QSize> recordedSize(int index) const;

    /// The duration of the window's resize animation; 0 resizes at once.
    void setAnimationDuration(int milliseconds) { m_animationDuration = milliseconds; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void tabDidSelect(int index);
    void cache(QWidget* page);
    void resizeWindowToFit(QWidget* page);

    std::map<QWidget*, QSize> m_tabViewSizes;
    int m_animationDuration = 200;
};

} // namespace orv
