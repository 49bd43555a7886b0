#pragma once

#include "OrvTextView/Completion/Completion.h"
#include "OrvTextView/OrvTextViewExport.h"

#include <QFont>
#include <QListView>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

class QStandardItemModel;

namespace orv {

class CompletionViewController;

/// Told when the user chooses an entry in the popup; the text view is one.
class ORVTEXTVIEW_EXPORT CompletionViewControllerDelegate {
public:
    virtual ~CompletionViewControllerDelegate();
    virtual void completionViewControllerDidChooseCompletion(
        CompletionViewController* controller, const CompletionPtr& completion)
        = 0;
};

/// The popup's list. It never takes the keyboard focus; the text view forwards the keys.
class ORVTEXTVIEW_EXPORT CompletionTableView final : public QListView {
    Q_OBJECT
public:
    explicit CompletionTableView(QWidget* parent = nullptr);

    /// Selects the next row (row 0 when none is selected); stays on the last row.
    void moveSelectionDown();
    /// Selects the previous row (row 0 when none is selected); stays on row 0.
    void moveSelectionUp();

private:
    void moveSelection(int step);
};

/// Draws a list row: what the entry inserts, and its kind (the entry's label) dimmed at the
/// row's right end; the selection as a light blue fill, with the text undimmed.
class ORVTEXTVIEW_EXPORT CompletionRowView final : public QStyledItemDelegate {
    Q_OBJECT
public:
    /// The item data role that holds a row's kind.
    static constexpr int kindRole = Qt::UserRole + 1;

    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

/// The popup's content: the list of entries and the choice.
class ORVTEXTVIEW_EXPORT CompletionViewController final : public QWidget {
    Q_OBJECT
public:
    explicit CompletionViewController(QWidget* parent = nullptr);

    CompletionTableView* tableView() const { return m_tableView; }

    /// The receiver of the choice, held weakly when it is a QObject.
    CompletionViewControllerDelegate* delegate() const;
    void setDelegate(CompletionViewControllerDelegate* delegate);

    QFont font() const { return m_font; }
    /// Stores the font of the list and reloads it.
    void setFont(const QFont& font);

    const std::optional<QString>& searchText() const { return m_searchText; }
    void setSearchText(std::optional<QString> text) { m_searchText = std::move(text); }

    const std::vector<CompletionPtr>& completions() const { return m_completions; }
    /// Replaces the list's entries; the first row is selected.
    void setCompletions(std::vector<CompletionPtr> completions);

    /// The selected entry, if any.
    CompletionPtr selectedCompletion() const;

    /// Tells the delegate of the selected entry (if any and if the delegate still exists),
    /// then closes the window that shows this view, also when nothing was chosen.
    void applyCompletion();

Q_SIGNALS:
    void completionsChanged();

private:
    void completionChosen();
    void reload();

    CompletionTableView* m_tableView = nullptr;
    QStandardItemModel* m_model = nullptr;
    CompletionViewControllerDelegate* m_delegate = nullptr;
    QPointer<QObject> m_delegateObject;
    bool m_delegateIsObject = false;
    QFont m_font;
    std::optional<QString> m_searchText;
    std::vector<CompletionPtr> m_completions;
};

/// The popup window: a frameless tool window that never becomes active, so the text view
/// keeps the keyboard focus while it shows.
class ORVTEXTVIEW_EXPORT CompletionWindow final : public QWidget {
    Q_OBJECT
public:
    explicit CompletionWindow(QWidget* parent = nullptr);

    static constexpr bool canBecomeKeyWindow() { return false; }
    static constexpr bool canBecomeMainWindow() { return false; }
};

/// Owns the popup window and its content.
class ORVTEXTVIEW_EXPORT CompletionWindowController final : public QObject {
    Q_OBJECT
public:
    explicit CompletionWindowController(QObject* parent = nullptr);
    ~CompletionWindowController() override;

    CompletionWindow* window() const { return m_window.get(); }
    CompletionViewController* contentViewController() const { return m_content; }

    /// Shows the window without activating it.
    void showWindow();
    void close();
    bool isVisible() const;

private:
    std::unique_ptr<CompletionWindow> m_window;
    CompletionViewController* m_content = nullptr;
};

} // namespace orv
