#pragma once

#include "editor/InputVariableEditorState.h"
#include "library/BundleStore.h"
#include "library/CustomExpander.h"

#include <QMenu>
#include <QObject>
#include <QPointer>

namespace quillet {

class ExpanderTextBinding;
class PopoverVariableCell;
class VariableTextView;

/// The pattern editor: sets up its text view, ties the view's text to the expander's
/// pattern both ways, turns declarations into tokens, colours them, offers the type
/// keywords and expander identifiers as completions, and inserts new variables.
class PatternTextViewController final : public QObject {
    Q_OBJECT
public:
    PatternTextViewController(VariableTextView* textView, BundleStore& store, QObject* parent = nullptr);
    ~PatternTextViewController() override;

    VariableTextView* textView() const noexcept { return m_textView; }
    QMenu* menu() const noexcept { return m_menu; }

    const CustomExpanderPtr& expander() const noexcept { return m_expander; }
    void setExpander(const CustomExpanderPtr& expander);

    /// Inserts a new word variable named after the selected text at the selection, and
    /// opens its popover once the token is drawn. Answers the token's cell, if one was made.
    PopoverVariableCell* insertVariable();

    /// How long after an insertion the new token's popover opens, in milliseconds.
    static constexpr int popoverDelay = 100;

private:
    void configureTextView();
    void addAttachmentPattern();
    void addHighlightingPattern();
    void registerCompletions();
    void showPopover(int location, const QString& declaration);

    QPointer<VariableTextView> m_textView;
    BundleStore& m_store;
    QMenu* m_menu = nullptr;
    ExpanderTextBinding* m_binding = nullptr;
    CustomExpanderPtr m_expander;
};

} // namespace quillet
