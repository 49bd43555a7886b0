#include "editor/BundleEditorViewController.h"

#include "docs/views/QtText.h"
#include "editor/QLMDTextView.h"
#include "editor/SupportedLanguagesViewController.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace quillet {

BundleEditorViewController::BundleEditorViewController(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("BundleEditorViewController"));
    setAccessibleName(tr("Bundle editor"));

    m_nameField = new QLineEdit(this);
    m_nameField->setObjectName(QStringLiteral("bundleNameField"));
    m_nameField->setAccessibleName(tr("Bundle name"));
    m_errorLabel = new QLabel(this);
    m_errorLabel->setObjectName(QStringLiteral("ErrorInlineView"));
    m_errorLabel->setStyleSheet(QStringLiteral("QLabel { background: rgba(216, 216, 216, 128); padding: 4px; }"));
    m_errorLabel->hide();
    m_enabledCheckBox = new QCheckBox(tr("Enabled"), this);
    m_enabledCheckBox->setObjectName(QStringLiteral("bundleEnabledCheckBox"));
    m_enabledCheckBox->setAccessibleName(tr("Bundle enabled"));

    m_languagesLabel = new QLabel(this);
    m_languagesLabel->setObjectName(QStringLiteral("bundleLanguagesLabel"));
    m_languagesLabel->setWordWrap(true);
    m_languagesButton = new QToolButton(this);
    m_languagesButton->setObjectName(QStringLiteral("bundleLanguagesButton"));
    m_languagesButton->setText(tr("Languages\u2026"));
    m_languagesButton->setAccessibleName(tr("Choose the bundle's languages"));
    m_languagesChooser = SupportedLanguagesViewController::openedBy(m_languagesButton);

    m_descriptionTextView = new QLMDTextView(this);
    m_descriptionTextView->setObjectName(QStringLiteral("descriptionTextView"));
    m_descriptionTextView->setAccessibleName(tr("Bundle description"));
    m_descriptionTextView->document()->setDocumentMargin(20);
    // Tab moves on, as in every other field of the pane (Ctrl+Tab too).
    m_descriptionTextView->setTabChangesFocus(true);

    auto* languagesRow = new QHBoxLayout;
    languagesRow->addWidget(m_languagesLabel, 1);
    languagesRow->addWidget(m_languagesButton);
    auto* form = new QFormLayout;
    form->addRow(tr("Name:"), m_nameField);
    form->addRow(QString(), m_errorLabel);
    form->addRow(QString(), m_enabledCheckBox);
    form->addRow(tr("Languages:"), languagesRow);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(new QLabel(tr("Description:"), this));
    layout->addWidget(m_descriptionTextView, 1);

    connect(m_nameField, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (!m_bundle)
            return;
        if (const auto error = Bundle::validateName(icuString(text))) {
            m_errorLabel->setText(qtString(error->localizedDescription()));
            m_errorLabel->show();
            return;
        }
        m_errorLabel->hide();
        m_bundle->setName(icuString(text));
    });
    connect(m_nameField, &QLineEdit::editingFinished, this, [this] {
        // A refused name gives way to the bundle's own when the field is left.
        if (m_bundle && m_errorLabel->isVisible()) {
            m_errorLabel->hide();
            showBundle();
        }
    });
    connect(m_enabledCheckBox, &QCheckBox::toggled, this, [this](bool checked) {
        if (m_bundle && !m_showing)
            m_bundle->setEnabled(checked);
    });
    connect(m_descriptionTextView, &QTextEdit::textChanged, this, [this] {
        if (!m_bundle || m_showing)
            return;
        // Re-colouring the markup also reports a change; only a new text is written.
        const icu::UnicodeString text = icuString(m_descriptionTextView->string());
        if (text != m_bundle->bundleDescription())
            m_bundle->setBundleDescription(text);
    });
    setBundle(nullptr);
}

BundleEditorViewController::~BundleEditorViewController()
{
    stopObserving();
}

void BundleEditorViewController::stopObserving()
{
    if (m_bundle)
        m_bundle->removeObserver(m_observer);
}

void BundleEditorViewController::setBundle(const BundlePtr& bundle)
{
    if (bundle == m_bundle && bundle)
        return;
    stopObserving();
    m_bundle = bundle;
    m_errorLabel->hide();
    m_languagesChooser->setBundle(bundle);
    if (m_bundle) {
        m_observer = m_bundle->addObserver([this](Observable::Property property, Observable::Phase phase) {
            using enum Observable::Property;
            if (phase == Observable::Phase::didChange
                && (property == name || property == isEnabled || property == bundleDescription
                    || property == supportedLanguagesString))
                showBundle();
        });
    }
    setEnabled(m_bundle != nullptr);
    showBundle();
}

void BundleEditorViewController::showBundle()
{
    m_showing = true;
    const QString name = m_bundle ? qtString(m_bundle->name()) : QString();
    // Only what changed is set again, so typing keeps its cursor and undo history.
    if (m_nameField->text() != name && !m_errorLabel->isVisible())
        m_nameField->setText(name);
    m_enabledCheckBox->setChecked(m_bundle && m_bundle->isEnabled());
    m_languagesLabel->setText(m_bundle ? qtString(m_bundle->supportedLanguagesString()) : QString());
    const QString description = m_bundle ? qtString(m_bundle->bundleDescription()) : QString();
    if (m_descriptionTextView->string() != description)
        m_descriptionTextView->setString(description);
    m_showing = false;
}

} // namespace quillet
