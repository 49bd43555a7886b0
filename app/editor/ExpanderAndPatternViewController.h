#pragma once

#include "editor/EditorServices.h"
#include "editor/EditorTabViewController.h"
#include "library/BundleStore.h"
#include "library/CustomExpander.h"
#include "library/Observable.h"

#include <QPointer>
#include <QWidget>

#include <string>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QVariantAnimation;
class QToolButton;

namespace orv {
class OrvTextView;
}

namespace quillet {

class ExpanderDescritpionViewController;
class MenuButton;
class OutputTextViewController;
class PatternTextViewController;
class SupportedLanguagesViewController;
class VariableTextView;

/// The expander pane of the editor window: name, identifier, enabled, languages, the pattern
/// and output-template editors with their tokens, an error box that opens while the
/// expander has errors, the description, the insert-variable button and the help link.
///
/// It keeps nothing of its own: every edit goes into the expander, which the library saves.
class ExpanderAndPatternViewController final : public QWidget {
    Q_OBJECT
public:
    enum class InsertVariableButtonState { enabledWithMenu, enabled, disabled };

    static constexpr int errorBoxHeight = 32;

    ExpanderAndPatternViewController(BundleStore& store, EditorServices services, QWidget* parent = nullptr);
    ~ExpanderAndPatternViewController() override;

    const CustomExpanderPtr& expander() const noexcept { return m_expander; }
    /// Shows an expander (re-validated first, so no stale error shows) or none.
    void setExpander(const CustomExpanderPtr& expander);

    bool hasErrors() const noexcept { return m_hasErrors; }
    InsertVariableButtonState insertVariableButtonState() const noexcept { return m_insertVariableButtonState; }
    void updateInsertVariableButtonState();
    /// What the insert-variable button does in the current state.
    void addVariable();
    void openHelp();

    PatternTextViewController* patternTextViewController() const noexcept { return m_patternController; }
    OutputTextViewController* outputTextViewController() const noexcept { return m_outputController; }
    VariableTextView* patternTextView() const noexcept { return m_patternView; }
    VariableTextView* outputTextView() const noexcept { return m_outputView; }
    MenuButton* addVariableButton() const noexcept { return m_addVariableButton; }
    QFrame* errorBox() const noexcept { return m_errorBox; }
    QLabel* errorLabel() const noexcept { return m_errorLabel; }
    QLineEdit* nameField() const noexcept { return m_nameField; }
    QLineEdit* identifierField() const noexcept { return m_identifierField; }
    QCheckBox* enabledCheckBox() const noexcept { return m_enabledCheckBox; }
    orv::OrvTextView* descriptionView() const noexcept { return m_descriptionView; }

private:
    void setInsertVariableButtonState(InsertVariableButtonState state);
    void setHasErrors(bool hasErrors);
    void showExpander();
    void clearNameRefusal();
    void showNoInputVariableAlertIfNeeded();
    void stopObserving();

    BundleStore& m_store;
    EditorServices m_services;
    CustomExpanderPtr m_expander;
    Observable::ObserverId m_observer = 0;
    bool m_showing = false;
    bool m_nameRefused = false;
    bool m_hasErrors = false;
    InsertVariableButtonState m_insertVariableButtonState = InsertVariableButtonState::disabled;
    QMetaObject::Connection m_focusConnection;

    QLineEdit* m_nameField = nullptr;
    QLineEdit* m_identifierField = nullptr;
    QCheckBox* m_enabledCheckBox = nullptr;
    QLabel* m_languagesLabel = nullptr;
    SupportedLanguagesViewController* m_languagesChooser = nullptr;
    VariableTextView* m_patternView = nullptr;
    VariableTextView* m_outputView = nullptr;
    PatternTextViewController* m_patternController = nullptr;
    OutputTextViewController* m_outputController = nullptr;
    QFrame* m_errorBox = nullptr;
    QLabel* m_errorLabel = nullptr;
    QVariantAnimation* m_errorAnimation = nullptr;
    ExpanderDescritpionViewController* m_descriptionController = nullptr;
    orv::OrvTextView* m_descriptionView = nullptr;
    MenuButton* m_addVariableButton = nullptr;
    QToolButton* m_helpButton = nullptr;
};

/// The pane as the tab controller takes it.
class ExpanderEditorPaneAdapter final : public ExpanderEditorPane {
public:
    ExpanderEditorPaneAdapter(BundleStore& store, EditorServices services);
    QWidget* widget() override;
    void setExpander(const CustomExpanderPtr& expander) override;
    ExpanderAndPatternViewController* controller() const { return m_controller; }

private:
    QPointer<ExpanderAndPatternViewController> m_controller;
};

} // namespace quillet
