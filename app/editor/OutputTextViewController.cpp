#include "editor/OutputTextViewController.h"

#include "docs/views/QtText.h"
#include "editor/EditorFonts.h"
#include "editor/ExpanderTextBinding.h"
#include "editor/OutputVariableTextAttachmentPattern.h"
#include "editor/VariableTextView.h"
#include "expansion/ExpanderController.h"
#include "expansion/Filter.h"
#include "expansion/FilterStore.h"
#include "expansion/OutputVariablePattern.h"
#include "languages/OptionalExpressionHighlightingPattern.h"
#include "languages/OutputVariableHighlightingPattern.h"
#include "library/ProgrammingLanguageCocoaAdapter.h"
#include "variables/PatternParser.h"

#include "OrvTextView/Shortcut/ShortcutText.h"

#include <QMenu>

namespace quillet {

OutputTextViewController::OutputTextViewController(VariableTextView* textView, BundleStore& store, QObject* parent)
    : QObject(parent)
    , m_textView(textView)
    , m_store(store)
{
    m_menu = new QMenu(textView);
    m_insertVariableMenu = new QMenu(tr("Insert Variable"), textView);
    m_insertVariableMenuItem = m_menu->addMenu(m_insertVariableMenu);
    m_menu->addAction(textView->editVariableAction());
    m_menu->addSeparator();
    m_menu->addAction(tr("Cut"), textView, &QTextEdit::cut);
    m_menu->addAction(tr("Copy"), textView, &QTextEdit::copy);
    m_menu->addAction(tr("Paste"), textView, &QTextEdit::paste);
    connect(m_menu, &QMenu::aboutToShow, this, &OutputTextViewController::updateInsertVariableMenu);

    configureTextView();
    QPointer<OutputTextViewController> self(this);
    m_textView->addTextAttachmentPattern(std::make_shared<OutputVariableTextAttachmentPattern>(
        [self] { return self ? self->m_inputVariableNames : QStringList {}; }));
    m_binding = new ExpanderTextBinding(
        textView, Observable::Property::outputTemplate,
        [](const CustomExpander& expander) { return expander.outputTemplate(); },
        [](CustomExpander& expander, const icu::UnicodeString& text) { expander.setOutputTemplate(text); }, this);
    updateHighlighting();
    registerCompletions();
    connect(textView, &orv::OrvTextView::isFirstResponderChanged, this, [this](bool isFirstResponder) {
        if (isFirstResponder)
            registerCompletions();
    });
    m_textView->setMenu(m_menu);
    updateInsertVariableMenu();
}

OutputTextViewController::~OutputTextViewController()
{
    stopObserving();
}

void OutputTextViewController::stopObserving()
{
    if (m_expander && m_observer)
        m_expander->removeObserver(m_observer);
    m_observer = 0;
}

void OutputTextViewController::configureTextView()
{
    m_textView->setBasicFont(codeEditorFont());
    m_textView->document()->setDocumentMargin(20);
    m_textView->setKeepIndention(true);
    orv::ParagraphSpacing spacing;
    spacing.lineSpacing = 2.0;
    m_textView->setParagraphStyle(spacing);
    m_textView->setAccessibleName(tr("Output template"));
}

void OutputTextViewController::setExpander(const CustomExpanderPtr& expander)
{
    stopObserving();
    m_expander = expander;
    if (m_expander) {
        m_observer = m_expander->addObserver([this](Observable::Property property, Observable::Phase phase) {
            if (phase != Observable::Phase::didChange)
                return;
            if (property == Observable::Property::supportedLanguagesString)
                updateHighlighting();
            else if (property == Observable::Property::pattern)
                updateInsertVariableMenu();
        });
    }
    updateHighlighting();
    registerCompletions();
    updateInsertVariableMenu();
    m_binding->setExpander(expander);
}

std::vector<InputVariablePtr> OutputTextViewController::inputVariables() const
{
    if (!m_expander)
        return {};
    std::vector<ExpanderPtr> expanders;
    for (const auto& expander : m_store.enabledExpanders())
        expanders.push_back(expander);
    const ExpanderController controller(std::move(expanders));
    try {
        const PatternParser parser(m_expander->pattern(), nullptr, controller);
        return parser.variables();
    } catch (const std::exception&) {
        return {};
    }
}

void OutputTextViewController::registerCompletions()
{
    if (!m_textView)
        return;
    auto& completions = m_textView->completionController();
    completions.clear();
    m_inputVariableNames.clear();
    for (const Filter* filter : FilterStore::shared().allFilters()) {
        auto completion
            = std::make_shared<orv::Completion>(QStringLiteral("\\$\\{\\w+(\\.\\w+)*\\."), qtString(filter->id()));
        completion->setLabel(tr("filter", "Completion list label"));
        completions.registerCompletion(std::move(completion));
    }
    for (const auto& variable : inputVariables()) {
        auto completion = std::make_shared<orv::Completion>(QStringLiteral("\\$\\{"), qtString(variable->name()));
        completion->setLabel(tr("variable", "Completion list label"));
        completions.registerCompletion(std::move(completion));
        m_inputVariableNames.push_back(qtString(variable->name()));
    }
}

void OutputTextViewController::updateHighlighting()
{
    if (!m_textView)
        return;
    m_textView->clearHighlightingPattern();
    m_textView->addHighlightingPattern(std::make_shared<OutputVariableHighlightingPattern>());
    if (m_expander) {
        if (const auto language = m_expander->syntaxColorProgrammingLanguage()) {
            for (const auto& pattern : language->highlightingPatterns())
                m_textView->addHighlightingPattern(pattern);
        }
    }
    m_textView->addHighlightingPattern(std::make_shared<OptionalExpressionHighlightingPattern>());
    m_textView->addHighlightingPattern(std::make_shared<OptionalBarHighlightingPattern>());
    m_textView->updateColors();
}

void OutputTextViewController::updateInsertVariableMenu()
{
    m_insertVariableMenu->clear();
    const auto variables = inputVariables();
    for (std::size_t i = 0; i < variables.size(); ++i) {
        const QString name = qtString(variables[i]->name());
        QAction* item = m_insertVariableMenu->addAction(name);
        item->setData(name);
        const std::size_t index = i + 1;
        if (index <= 9)
            item->setShortcut(QKeySequence(Qt::CTRL | Qt::META | Qt::ALT | static_cast<Qt::Key>(Qt::Key_0 + index)));
        orv::showShortcutText(item);
        connect(item, &QAction::triggered, this, [this, name] { insertVariable(name); });
    }
    m_insertVariableMenuItem->setEnabled(!variables.empty());
    if (m_textView)
        m_textView->setMenu(m_menu);
    Q_EMIT insertVariableMenuChanged();
}

void OutputTextViewController::insertVariable(const QString& name)
{
    if (m_textView)
        m_textView->insertAtCurrentSelection(QStringLiteral("${") + name + QStringLiteral("}"));
}

} // namespace quillet
