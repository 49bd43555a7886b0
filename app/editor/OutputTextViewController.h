#pragma once

#include "library/BundleStore.h"
#include "library/CustomExpander.h"
#include "library/Observable.h"
#include "variables/Variable.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <vector>

class QAction;
class QMenu;

namespace quillet {

class ExpanderTextBinding;
class VariableTextView;

/// The output-template editor: sets up its text view, ties its text to the expander's
/// output template both ways, turns placeholders into tokens, colours the template (the
/// placeholders, the expander's language, the optional parts), offers filter keywords and
/// the pattern's variable names as completions, and keeps the insert-variable menu.
class OutputTextViewController final : public QObject {
    Q_OBJECT
public:
    OutputTextViewController(VariableTextView* textView, BundleStore& store, QObject* parent = nullptr);
    ~OutputTextViewController() override;

    VariableTextView* textView() const noexcept { return m_textView; }
    QMenu* menu() const noexcept { return m_menu; }
    /// The submenu of the pattern's input variables; the insert-variable button pops it up.
    QMenu* insertVariableMenu() const noexcept { return m_insertVariableMenu; }
    QAction* insertVariableMenuItem() const noexcept { return m_insertVariableMenuItem; }
    /// The pattern's input variable names, as last collected for the completions.
    const QStringList& inputVariableNames() const noexcept { return m_inputVariableNames; }

    const CustomExpanderPtr& expander() const noexcept { return m_expander; }
    void setExpander(const CustomExpanderPtr& expander);

    /// The input variables of the expander's pattern, in order; none when it does not parse.
    std::vector<InputVariablePtr> inputVariables() const;
    /// Inserts "${name}" at the selection.
    void insertVariable(const QString& name);
    void registerCompletions();
    void updateInsertVariableMenu();
    void updateHighlighting();

Q_SIGNALS:
    /// The insert-variable menu was filled anew.
    void insertVariableMenuChanged();

private:
    void configureTextView();
    void stopObserving();

    QPointer<VariableTextView> m_textView;
    BundleStore& m_store;
    QMenu* m_menu = nullptr;
    QMenu* m_insertVariableMenu = nullptr;
    QAction* m_insertVariableMenuItem = nullptr;
    QStringList m_inputVariableNames;
    ExpanderTextBinding* m_binding = nullptr;
    CustomExpanderPtr m_expander;
    Observable::ObserverId m_observer = 0;
};

} // namespace quillet
