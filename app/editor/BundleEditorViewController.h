#pragma once

#include "library/Bundle.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QToolButton;

namespace quillet {

class QLMDTextView;
class SupportedLanguagesViewController;

/// The bundle editor: the pane that edits the selected bundle's name, enabled flag,
/// supported languages and description. Every edit goes straight into the bundle (the
/// library saves it); changes made elsewhere show at once. A name that is empty or only
/// blanks is not written: the field shows the reason instead.
class BundleEditorViewController final : public QWidget {
    Q_OBJECT
public:
    explicit BundleEditorViewController(QWidget* parent = nullptr);
    ~BundleEditorViewController() override;

    BundlePtr bundle() const { return m_bundle; }
    /// The bundle to edit; none clears the pane.
    void setBundle(const BundlePtr& bundle);

    QLineEdit* nameField() const noexcept { return m_nameField; }
    QCheckBox* enabledCheckBox() const noexcept { return m_enabledCheckBox; }
    QLMDTextView* descriptionTextView() const noexcept { return m_descriptionTextView; }
    QLabel* languagesLabel() const noexcept { return m_languagesLabel; }
    QLabel* errorLabel() const noexcept { return m_errorLabel; }
    /// The languages chooser, opened by the languages button.
    SupportedLanguagesViewController* languagesChooser() const noexcept { return m_languagesChooser; }

private:
    void showBundle();
    void stopObserving();

    BundlePtr m_bundle;
    Observable::ObserverId m_observer = 0;
    bool m_showing = false;
    QLineEdit* m_nameField = nullptr;
    QLabel* m_errorLabel = nullptr;
    QCheckBox* m_enabledCheckBox = nullptr;
    QLabel* m_languagesLabel = nullptr;
    QToolButton* m_languagesButton = nullptr;
    SupportedLanguagesViewController* m_languagesChooser = nullptr;
    QLMDTextView* m_descriptionTextView = nullptr;
};

} // namespace quillet
