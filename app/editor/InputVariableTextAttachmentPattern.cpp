#include "editor/InputVariableTextAttachmentPattern.h"

#include "docs/views/QtText.h"
#include "editor/InputVariableCell.h"
#include "variables/VariablePattern.h"

namespace quillet {

InputVariableTextAttachmentPattern::InputVariableTextAttachmentPattern(
    ExpanderFunction getExpander, InputVariableEditorState::ExpandersSource enabledExpanders)
    : m_getExpander(std::move(getExpander))
    , m_enabledExpanders(std::move(enabledExpanders))
{
}

QString InputVariableTextAttachmentPattern::pattern() const
{
    return qtString(VariablePattern::pattern());
}

orv::TextContainingTextAttachmentPtr InputVariableTextAttachmentPattern::attachment(
    const QString& matchedText, orv::TextRange range, const QString& wholeText) const
{
    const auto found = VariablePattern::matches(icuString(matchedText));
    const QString name = found.empty() ? matchedText : qtString(found.front().name);
    auto attachment = std::make_shared<orv::TextContainingTextAttachment>(matchedText);
    auto cell
        = std::make_shared<InputVariableCell>(name, m_getExpander ? m_getExpander() : nullptr, m_enabledExpanders);
    cell->setBackgroundColor(VariableCell::colorForTokenAt(wholeText, range.location));
    cell->setAttachment(attachment);
    attachment->setCell(std::move(cell));
    return attachment;
}

} // namespace quillet
