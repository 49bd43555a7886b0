#include "editor/PatternTextViewController.h"

#include "docs/views/QtText.h"
#include "editor/EditorFonts.h"
#include "editor/ExpanderTextBinding.h"
#include "editor/InputVariableCell.h"
#include "editor/InputVariableTextAttachmentPattern.h"
#include "editor/PopoverVariableCell.h"
#include "editor/VariableNaming.h"
#include "editor/VariableTextView.h"
#include "languages/OptionalExpressionHighlightingPattern.h"
#include "languages/PatternVariableHighlightingPattern.h"
#include "variables/VariableFactory.h"

#include <QMenu>
#include <QTimer>

namespace quillet {

PatternTextViewController::PatternTextViewController(VariableTextView* textView, BundleStore& store, QObject* parent)
    : QObject(parent)
    , m_textView(textView)
    , m_store(store)
{
    m_menu = new QMenu(textView);
    QAction* insert = m_menu->addAction(tr("Insert Variable"));
    connect(insert, &QAction::triggered, this, [this] { insertVariable(); });
    m_menu->addAction(textView->editVariableAction());
    m_menu->addSeparator();
    m_menu->addAction(tr("Cut"), textView, &QTextEdit::cut);
    m_menu->addAction(tr("Copy"), textView, &QTextEdit::copy);
    m_menu->addAction(tr("Paste"), textView, &QTextEdit::paste);
    configureTextView();
    m_binding = new ExpanderTextBinding(
        textView, Observable::Property::pattern, [](const CustomExpander& expander) { return expander.pattern(); },
        [](CustomExpander& expander, const icu::UnicodeString& text) { expander.setPattern(text); }, this);
    addAttachmentPattern();
    addHighlightingPattern();
    registerCompletions();
}

PatternTextViewController::~PatternTextViewController() = default;

void PatternTextViewController::setExpander(const CustomExpanderPtr& expander)
{
    m_expander = expander;
    if (m_textView)
        m_textView->setMenu(m_menu);
    m_binding->setExpander(expander);
}

void PatternTextViewController::configureTextView()
{
    m_textView->setBasicFont(codeEditorFont());
    m_textView->document()->setDocumentMargin(20);
    m_textView->setAccessibleName(tr("Pattern"));
}

void PatternTextViewController::addAttachmentPattern()
{
    QPointer<PatternTextViewController> self(this);
    m_textView->addTextAttachmentPattern(std::make_shared<InputVariableTextAttachmentPattern>(
        [self]() -> ExpanderPtr { return self ? ExpanderPtr(self->m_expander) : nullptr; },
        [&store = m_store]() {
            std::vector<ExpanderPtr> expanders;
            for (const auto& expander : store.enabledExpanders())
                expanders.push_back(expander);
            return expanders;
        }));
}

void PatternTextViewController::addHighlightingPattern()
{
    m_textView->addHighlightingPattern(std::make_shared<PatternVariableHighlightingPattern>());
}

void PatternTextViewController::registerCompletions()
{
    auto& completions = m_textView->completionController();
    for (const VariableKind* kind : VariableFactory::variableTypes()) {
        auto completion
            = std::make_shared<orv::Completion>(QStringLiteral("\\$\\{\\w+:"), qtString(kind->typeTemplate));
        completion->setLabel(tr("type", "Completion list label"));
        completions.registerCompletion(std::move(completion));
    }
    for (const auto& expander : m_store.enabledExpanders()) {
        if (expander->identifier().isEmpty())
            continue;
        auto completion
            = std::make_shared<orv::Completion>(QStringLiteral("\\$\\{\\w+:exp\\("), qtString(expander->identifier()));
        completion->setLabel(tr("expander", "Completion list label"));
        completions.registerCompletion(std::move(completion));
    }
}

PopoverVariableCell* PatternTextViewController::insertVariable()
{
    if (!m_textView)
        return nullptr;
    const QString name = qtString(variableNameFromSelection(icuString(m_textView->selectedText())));
    const QString declaration = QStringLiteral("${") + name + QStringLiteral(":word}");
    const int location = m_textView->textCursor().selectionStart();
    m_textView->insertAtCurrentSelection(declaration);
    const auto token = m_textView->tokenAt(location);
    if (!token)
        return nullptr;
    showPopover(location, declaration);
    return token->cell;
}

void PatternTextViewController::showPopover(int location, const QString& declaration)
{
    // The new token is laid out and drawn first, so that the popover points at it. The
    // view may have made its tokens anew meanwhile: the token is looked up again.
    QPointer<VariableTextView> view = m_textView;
    QTimer::singleShot(popoverDelay, this, [view, location, declaration] {
        if (!view)
            return;
        const auto token = view->tokenAt(location);
        const auto* attachment
            = token ? dynamic_cast<orv::TextContainingTextAttachment*>(token->attachment.get()) : nullptr;
        if (attachment && attachment->text() == declaration) {
            if (auto* cell = dynamic_cast<InputVariableCell*>(token->cell))
                cell->setNewVariable();
            token->cell->show(token->frame, view);
        }
    });
}

} // namespace quillet
