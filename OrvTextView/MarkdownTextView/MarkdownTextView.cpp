#include "OrvTextView/MarkdownTextView/MarkdownTextView.h"

#include "OrvTextView/MarkdownTextView/MarkdownHighlightingPatterns.h"

namespace orv {

MarkdownTextView::MarkdownTextView(QWidget* parent)
    : OrvTextView(parent)
{
    MarkdownTextView::configure();
}

void MarkdownTextView::configure()
{
    OrvTextView::configure();
    addPatternsToTextView();
}

void MarkdownTextView::addPatternsToTextView()
{
    if (m_patternsAdded)
        return;
    m_patternsAdded = true;
    addHighlightingPattern(std::make_shared<ListElementMDHighlightingPattern>());
    addHighlightingPattern(std::make_shared<ItalicMDHighlightingPattern>());
    addHighlightingPattern(std::make_shared<QuoteMDHighlightingPattern>());
    addHighlightingPattern(std::make_shared<BoldMDHighlightingPattern>());
    addHighlightingPattern(std::make_shared<BoldItalicMDHighlightingPattern>());
    addHighlightingPattern(std::make_shared<CodeMDHighlightingPattern>());
    addHighlightingPattern(std::make_shared<CodeBlockMDHighlightingPattern>());
    addHighlightingPattern(std::make_shared<HeaderMDHighlightingPattern>());
}

} // namespace orv
