#include "editor/QLMDTextView.h"

#include "OrvTextView/MarkdownTextView/MarkdownHighlightingPatterns.h"
#include "languages/ExampleHighlightingPattern.h"

namespace quillet {

QLMDTextView::QLMDTextView(QWidget* parent)
    : OrvTextView(parent)
{
    QLMDTextView::configure();
}

void QLMDTextView::configure()
{
    OrvTextView::configure();
    setUpMarkdownHighlighting();
}

void QLMDTextView::setUpMarkdownHighlighting()
{
    if (m_patternsAdded)
        return;
    m_patternsAdded = true;
    addHighlightingPattern(std::make_shared<orv::ListElementMDHighlightingPattern>());
    addHighlightingPattern(std::make_shared<orv::ItalicMDHighlightingPattern>());
    addHighlightingPattern(std::make_shared<orv::BoldMDHighlightingPattern>());
    addHighlightingPattern(std::make_shared<orv::BoldItalicMDHighlightingPattern>());
    addHighlightingPattern(std::make_shared<orv::CodeMDHighlightingPattern>());
    addHighlightingPattern(std::make_shared<orv::CodeBlockMDHighlightingPattern>());
    addHighlightingPattern(std::make_shared<ExampleHighlightingPattern>());
}

} // namespace quillet
