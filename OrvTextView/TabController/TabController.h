#pragma once

#include <QTabWidget>
#include <QWidget>

#include <optional>
#include <type_traits>

namespace orv {

/// Addresses the tabs of a tab widget through an enumeration whose values are the tab
/// indexes (its raw values), instead of bare indexes.
template <typename TabEnum>
requires std::is_enum_v<TabEnum>
class TabController {
public:
    explicit TabController(QTabWidget* tabs)
        : m_tabs(tabs)
    {
    }

    static int rawValue(TabEnum tab) { return static_cast<int>(tab); }

    /// The page of the tab.
    QWidget* operator[](TabEnum tab) const { return m_tabs ? m_tabs->widget(rawValue(tab)) : nullptr; }

    /// The page of the tab when it is a T, else null.
    template <typename T> T* viewController(TabEnum tab) const { return dynamic_cast<T*>((*this)[tab]); }

    /// The selected tab; none when nothing is selected.
    std::optional<TabEnum> selectedItem() const
    {
        if (!m_tabs || m_tabs->currentIndex() < 0)
            return std::nullopt;
        return static_cast<TabEnum>(m_tabs->currentIndex());
    }
    void setSelectedItem(TabEnum tab)
    {
        if (m_tabs)
            m_tabs->setCurrentIndex(rawValue(tab));
    }

private:
    QTabWidget* m_tabs;
};

} // namespace orv
