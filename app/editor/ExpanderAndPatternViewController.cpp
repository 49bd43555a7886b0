#include "editor/ExpanderAndPatternViewController.h"

#include "docs/views/QtText.h"
#include "editor/MenuButton.h"
#include "editor/OutputTextViewController.h"
#include "editor/PatternTextViewController.h"
#include "editor/SupportedLanguagesViewController.h"
#include "editor/VariableTextView.h"
#include "library/Alert.h"
#include "library/Websites.h"

#include "OrvTextView/MarkdownTextView/MarkdownTextView.h"
#include "OrvTextView/Misc/QtColor.h"
#include "OrvTextView/Misc/ReadableText.h"
#include "docs/views/ExpanderDescritpionViewController.h"
#include "text/Localized.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace quillet {

namespace {

QLabel* sectionTitle(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

} // namespace

ExpanderAndPatternViewController::ExpanderAndPatternViewController(
    BundleStore& store, EditorServices services, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_services(services.completed())
{
    setObjectName(QStringLiteral("ExpanderAndPatternViewController"));
    setAccessibleName(tr("Expander editor"));

    m_nameField = new QLineEdit(this);
    m_nameField->setAccessibleName(tr("Expander name"));
    m_identifierField = new QLineEdit(this);
    m_identifierField->setAccessibleName(tr("Expander identifier"));
    m_identifierField->setPlaceholderText(tr("Used to embed this expander in others"));
    m_enabledCheckBox = new QCheckBox(tr("Enabled"), this);
    m_enabledCheckBox->setAccessibleName(tr("Expander enabled"));
    m_languagesLabel = new QLabel(this);
    m_languagesLabel->setWordWrap(true);
    auto* languagesButton = new QToolButton(this);
    languagesButton->setObjectName(QStringLiteral("languagesButton"));
    languagesButton->setText(tr("Languages\u2026"));
    languagesButton->setAccessibleName(tr("Choose the expander's languages"));
    m_languagesChooser = SupportedLanguagesViewController::openedBy(languagesButton);

    auto* languagesRow = new QHBoxLayout;
    languagesRow->addWidget(m_languagesLabel, 1);
    languagesRow->addWidget(languagesButton);
    auto* form = new QFormLayout;
    form->addRow(tr("Name:"), m_nameField);
    form->addRow(tr("Identifier:"), m_identifierField);
    form->addRow(QString(), m_enabledCheckBox);
    form->addRow(tr("Languages:"), languagesRow);

    m_patternView = new VariableTextView(this);
    m_patternView->setObjectName(QStringLiteral("patternTextView"));
    m_patternView->setFixedHeight(76);
    m_patternView->setLineWrapMode(QTextEdit::NoWrap);
    // A pattern is one line: it scrolls sideways; a vertical bar would only eat its room.
    m_patternView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A tab cannot be part of a one-line pattern worth typing: Tab moves on.
    m_patternView->setTabChangesFocus(true);
    m_patternController = new PatternTextViewController(m_patternView, store, this);

    m_errorBox = new QFrame(this);
    m_errorBox->setObjectName(QStringLiteral("errorBox"));
    m_errorLabel = new QLabel(m_errorBox);
    m_errorLabel->setAccessibleName(tr("Expander errors"));
    // A light pink box with dark red text on a light window; on a dark one, a box a little
    // redder than the window with a light red text, as the documentation pages do it.
    orv::followPalette(m_errorBox, [box = m_errorBox, pane = this] {
        const QPalette ground = pane->palette();
        const QColor window = ground.color(QPalette::Window);
        const QColor pink(0xfb, 0xe3, 0xe2);
        const QColor fill = orv::isDarkPalette(ground) ? orv::fillOnDarkGround(pink, window) : pink;
        const QColor ink = orv::accentOn(
            QColor(0xb3, 0x26, 0x1e), fill, ground.color(QPalette::WindowText), QColor(0xff, 0xa0, 0x9a));
        const QString sheet = QStringLiteral("#errorBox { background: %1; border-radius: 3px; } "
                                             "#errorBox QLabel { color: %2; }")
                                  .arg(fill.name(), ink.name());
        if (box->styleSheet() != sheet)
            box->setStyleSheet(sheet);
    });
    m_errorLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* errorLayout = new QHBoxLayout(m_errorBox);
    errorLayout->setContentsMargins(10, 0, 10, 0);
    errorLayout->addWidget(m_errorLabel);
    m_errorBox->setFixedHeight(0);
    m_errorAnimation = new QVariantAnimation(this);
    m_errorAnimation->setDuration(150);
    connect(m_errorAnimation, &QVariantAnimation::valueChanged, m_errorBox,
        [box = m_errorBox](const QVariant& value) { box->setFixedHeight(value.toInt()); });

    m_outputView = new VariableTextView(this);
    m_outputView->setObjectName(QStringLiteral("outputTextView"));
    m_outputController = new OutputTextViewController(m_outputView, store, this);

    m_descriptionController = new ExpanderDescritpionViewController(this);
    m_descriptionView = m_descriptionController->textView();
    m_descriptionView->document()->setDocumentMargin(8);
    // A description is prose: Tab moves on, as in the pattern.
    m_descriptionView->setTabChangesFocus(true);

    m_addVariableButton = new MenuButton(this);
    m_addVariableButton->setText(tr("Insert Variable"));
    m_addVariableButton->setAccessibleName(tr("Insert variable"));
    m_addVariableButton->setPopupMenu(m_outputController->insertVariableMenu());
    m_helpButton = new QToolButton(this);
    m_helpButton->setText(QStringLiteral("?"));
    m_helpButton->setAccessibleName(tr("Help on the template language"));
    auto* bottomBar = new QFrame(this);
    bottomBar->setObjectName(QStringLiteral("bottomBar"));
    auto* bottomLayout = new QHBoxLayout(bottomBar);
    bottomLayout->setContentsMargins(0, 4, 0, 0);
    bottomLayout->addWidget(m_addVariableButton);
    bottomLayout->addStretch();
    bottomLayout->addWidget(m_helpButton);

    // Insert Variable acts for the editor focused before it: it comes right after the output.
    setTabOrder(m_outputView, m_addVariableButton);
    setTabOrder(m_addVariableButton, m_descriptionView);

    auto* templateBox = new QWidget(this);
    auto* templateLayout = new QVBoxLayout(templateBox);
    templateLayout->setContentsMargins(0, 0, 0, 0);
    templateLayout->addWidget(sectionTitle(tr("Output"), templateBox));
    templateLayout->addWidget(m_outputView, 1);
    auto* descriptionBox = new QWidget(this);
    auto* descriptionLayout = new QVBoxLayout(descriptionBox);
    descriptionLayout->setContentsMargins(0, 0, 0, 0);
    descriptionLayout->addWidget(sectionTitle(tr("Description"), descriptionBox));
    descriptionLayout->addWidget(m_descriptionController, 1);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(templateBox);
    splitter->addWidget(descriptionBox);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(sectionTitle(tr("Pattern"), this));
    layout->addWidget(m_patternView);
    layout->addWidget(m_errorBox);
    layout->addWidget(splitter, 1);
    layout->addWidget(bottomBar);

    connect(m_nameField, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (!m_expander || m_showing)
            return;
        // Refused as the list refuses it: the expander keeps its name while the field says why.
        if (const auto error = CustomExpander::validateName(icuString(text))) {
            m_nameField->setToolTip(qtString(error->localizedDescription()));
            m_nameField->setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid #b3261e; }"));
            m_nameRefused = true;
            return;
        }
        clearNameRefusal();
        m_expander->setName(icuString(text));
    });
    connect(m_nameField, &QLineEdit::editingFinished, this, [this] {
        // A refused name gives way to the expander's own when the field is left.
        if (m_nameRefused) {
            clearNameRefusal();
            showExpander();
        }
    });
    connect(m_identifierField, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (m_expander && !m_showing)
            m_expander->setIdentifier(icuString(text));
    });
    connect(m_enabledCheckBox, &QCheckBox::toggled, this, [this](bool checked) {
        if (m_expander && !m_showing)
            m_expander->setEnabled(checked);
    });
    connect(m_addVariableButton, &QToolButton::clicked, this, [this] { addVariable(); });
    connect(m_helpButton, &QToolButton::clicked, this, [this] { openHelp(); });
    m_focusConnection = connect(qApp, &QApplication::focusChanged, this, [this] { updateInsertVariableButtonState(); });

    setExpander(nullptr);
}

ExpanderAndPatternViewController::~ExpanderAndPatternViewController()
{
    disconnect(m_focusConnection);
    stopObserving();
}

void ExpanderAndPatternViewController::stopObserving()
{
    if (m_expander && m_observer)
        m_expander->removeObserver(m_observer);
    m_observer = 0;
}

void ExpanderAndPatternViewController::setExpander(const CustomExpanderPtr& expander)
{
    stopObserving();
    clearNameRefusal();
    m_expander = expander;
    if (m_expander) {
        // Validated against the library as it is now: another expander's stale error never shows.
        m_expander->updateErrors();
        m_observer = m_expander->addObserver([this](Observable::Property property, Observable::Phase phase) {
            using enum Observable::Property;
            if (phase == Observable::Phase::didChange
                && (property == name || property == identifier || property == isEnabled
                    || property == supportedLanguagesString || property == errors))
                showExpander();
        });
    }
    m_patternController->setExpander(expander);
    m_outputController->setExpander(expander);
    m_languagesChooser->setExpander(expander);
    m_descriptionController->setExpander(expander);
    setEnabled(m_expander != nullptr);
    showExpander();
}

void ExpanderAndPatternViewController::clearNameRefusal()
{
    m_nameRefused = false;
    m_nameField->setToolTip(QString());
    m_nameField->setStyleSheet(QString());
}

void ExpanderAndPatternViewController::showExpander()
{
    m_showing = true;
    const auto setText = [](QLineEdit* field, const QString& text) {
        if (field->text() != text)
            field->setText(text);
    };
    if (!m_nameRefused)
        setText(m_nameField, m_expander ? qtString(m_expander->name()) : QString());
    setText(m_identifierField, m_expander ? qtString(m_expander->identifier()) : QString());
    m_enabledCheckBox->setChecked(m_expander && m_expander->isEnabled());
    m_languagesLabel->setText(m_expander ? qtString(m_expander->supportedLanguagesString()) : QString());
    const auto& errors = m_expander ? m_expander->errors() : std::nullopt;
    m_errorLabel->setText(errors ? qtString(*errors) : QString());
    m_errorLabel->setToolTip(m_errorLabel->text());
    setHasErrors(errors.has_value());
    m_showing = false;
}

void ExpanderAndPatternViewController::setHasErrors(bool hasErrors)
{
    if (hasErrors == m_hasErrors)
        return;
    m_hasErrors = hasErrors;
    m_errorAnimation->stop();
    m_errorAnimation->setStartValue(m_errorBox->height());
    m_errorAnimation->setEndValue(hasErrors ? errorBoxHeight : 0);
    if (isVisible())
        m_errorAnimation->start();
    else
        m_errorBox->setFixedHeight(hasErrors ? errorBoxHeight : 0);
}

void ExpanderAndPatternViewController::setInsertVariableButtonState(InsertVariableButtonState state)
{
    m_insertVariableButtonState = state;
    m_addVariableButton->setEnabled(state != InsertVariableButtonState::disabled);
    m_addVariableButton->setCanShowMenu(state == InsertVariableButtonState::enabledWithMenu);
}

void ExpanderAndPatternViewController::updateInsertVariableButtonState()
{
    const QWidget* focus = window() ? window()->focusWidget() : nullptr;
    // A popover or menu may hold the focus for a moment; the editor that had it counts.
    if (QApplication::activePopupWidget())
        return;
    // Reached by the keyboard, the button acts for the editor that had the focus before it.
    if (focus == m_addVariableButton)
        return;
    if (focus == m_patternView)
        setInsertVariableButtonState(InsertVariableButtonState::enabled);
    else if (focus == m_outputView)
        setInsertVariableButtonState(InsertVariableButtonState::enabledWithMenu);
    else
        setInsertVariableButtonState(InsertVariableButtonState::disabled);
}

void ExpanderAndPatternViewController::addVariable()
{
    switch (m_insertVariableButtonState) {
    case InsertVariableButtonState::enabledWithMenu:
        showNoInputVariableAlertIfNeeded();
        break;
    case InsertVariableButtonState::enabled:
        m_patternController->insertVariable();
        break;
    case InsertVariableButtonState::disabled:
        break;
    }
}

void ExpanderAndPatternViewController::showNoInputVariableAlertIfNeeded()
{
    if (!m_outputController->insertVariableMenu()->isEmpty())
        return;
    m_services.alerts->runModal(Alert::withTitle(localized(u"No input variable defined", "Message title"),
        localized(u"Please define a variable in input pattern first.", "Message description")));
}

void ExpanderAndPatternViewController::openHelp()
{
    m_services.urlOpener->openUrl(QUrl(QString::fromStdString(Websites::language())));
}

ExpanderEditorPaneAdapter::ExpanderEditorPaneAdapter(BundleStore& store, EditorServices services)
    : m_controller(new ExpanderAndPatternViewController(store, std::move(services)))
{
}

QWidget* ExpanderEditorPaneAdapter::widget()
{
    return m_controller;
}

void ExpanderEditorPaneAdapter::setExpander(const CustomExpanderPtr& expander)
{
    if (m_controller)
        m_controller->setExpander(expander);
}

} // namespace quillet
