#pragma once

#include "library/CustomExpander.h"
#include "library/ExpanderSearch.h"

#include <QAbstractListModel>
#include <QCache>
#include <QLineEdit>
#include <QListView>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QWidget>

#include <unicode/unistr.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace orv {
class DelayedActionController;
}

namespace quillet {

class ExpanderBrowserViewController;

/// Told which expander the user chose in the expander browser. The application implements
/// it: it shows the editor window with the expander selected and closes the browser.
class ExpanderBrowserViewControllerDelegate {
public:
    virtual ~ExpanderBrowserViewControllerDelegate() = default;
    virtual void openExpander(ExpanderBrowserViewController& controller, CustomExpander& expander) = 0;
};

/// The browser's search field. A drag that starts in it moves the window.
class SearchField final : public QLineEdit {
    Q_OBJECT
public:
    explicit SearchField(QWidget* parent = nullptr);
};

/// The expanders the browser lists, in display order. Each row's text is the expander's
/// name; its pattern page is made when a row is first drawn and kept until the next list.
class ExpanderListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { PatternHTMLRole = Qt::UserRole + 1 };

    using QAbstractListModel::QAbstractListModel;

    void setExpanders(std::vector<CustomExpanderPtr> expanders);
    const std::vector<CustomExpanderPtr>& expanders() const noexcept { return m_expanders; }
    CustomExpanderPtr expanderAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    std::vector<CustomExpanderPtr> m_expanders;
    mutable std::vector<std::optional<QString>> m_pages;
};

/// The browser's list: one column of expanders. selectNext and selectPrevious move the
/// selection by one row without wrapping (the first row when nothing is selected).
class ExpanderTableView final : public QListView {
    Q_OBJECT
public:
    explicit ExpanderTableView(QWidget* parent = nullptr);

    void selectNext();
    void selectPrevious();
    /// Selects exactly that row and scrolls to it; a row outside the list does nothing.
    void selectRow(int row);
    /// The selected row, -1 when none.
    int selectedRow() const;
};

/// Draws a row: the expander's pattern page (its name and its pattern syntax) rendered by a
/// text document, over the selection colour when the row is selected. Rows have one height;
/// a page taller than it is cut. The page's colours follow the palette (PageStyle), checked
/// against the list's background and the selection.
class ExpanderBrowserCell final : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit ExpanderBrowserCell(QObject* parent = nullptr);

    static constexpr int rowHeight = 62;
    static QColor selectionColor();

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    /// The laid-out page that a row of that width draws in that palette.
    const QTextDocument* rowDocument(const QModelIndex& index, const QPalette& palette, int width) const;

private:
    QTextDocument* document(const QString& html, int width) const;
    // Laid out pages by their HTML, for the rows that scroll by again.
    mutable QCache<QString, QTextDocument> m_documents;
    // The rows' pages as drawn in the palette named by m_shownPagesPalette, by their HTML:
    // painting a row again restyles nothing.
    mutable QCache<QString, QString> m_shownPages;
    mutable QString m_shownPagesPalette;
};

/// The content of the expander browser: a search field above the list of the enabled
/// expanders that match its text, best matches first.
///
/// Typing filters 0.3 s after the last change of the trimmed text. Up and Down in the search
/// field move the list's selection; Return opens the selected expander through the delegate
/// and Escape closes the browser, both only while the browser is the active window: keys
/// typed in the application's other windows go on to them untouched. Each showing filters
/// afresh (the search text stays from the last time) and puts the focus in the search field.
class ExpanderBrowserViewController final : public QWidget {
    Q_OBJECT
public:
    /// Where the listed expanders come from: the library's enabled expanders, in library order.
    using ExpanderSource = std::function<std::vector<CustomExpanderPtr>()>;

    /// With no source the shared library's enabled expanders are listed.
    explicit ExpanderBrowserViewController(ExpanderSource source = {}, QWidget* parent = nullptr);
    ~ExpanderBrowserViewController() override;

    /// Not owned; may be null.
    ExpanderBrowserViewControllerDelegate* delegate() const noexcept { return m_delegate; }
    void setDelegate(ExpanderBrowserViewControllerDelegate* delegate) noexcept { m_delegate = delegate; }

    const std::optional<icu::UnicodeString>& searchText() const noexcept { return m_searchText; }
    /// Also what the search field's edits call; schedules a filtering unless only blanks at the
    /// ends changed.
    void setSearchText(std::optional<icu::UnicodeString> text);

    /// The listed expanders, in display order.
    const std::vector<CustomExpanderPtr>& expanders() const noexcept { return m_model->expanders(); }

    /// Recomputes the list at once and selects its first row, the best match.
    void filterExpanders();
    /// Hands the selected expander to the delegate; nothing without selection or delegate.
    void openSelectedExpander();
    /// Closes the browser's window.
    void closeBrowser();

    /// The keys' handlers; true means the key was used and goes no further.
    bool handleReturnKey();
    bool handleEscapeKey();

    /// Whether the browser is the window the user types in.
    bool isActiveBrowser() const;

    SearchField* searchField() const noexcept { return m_searchField; }
    ExpanderTableView* tableView() const noexcept { return m_tableView; }
    /// The debounce of the search text, in seconds.
    static constexpr double searchDelay = 0.3;

Q_SIGNALS:
    /// The list was recomputed.
    void expandersFiltered();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void viewWillAppear();
    void installKeyboardHandling();

    ExpanderSource m_source;
    ExpanderBrowserViewControllerDelegate* m_delegate = nullptr;
    std::optional<icu::UnicodeString> m_searchText;
    ExpanderSearch m_search;
    SearchField* m_searchField = nullptr;
    ExpanderTableView* m_tableView = nullptr;
    ExpanderListModel* m_model = nullptr;
    // Created on the first change of the search text.
    orv::DelayedActionController* m_searchTextUpdateController = nullptr;
    // A change of the search text waits for its filtering.
    bool m_filterPending = false;
};

} // namespace quillet
