#include "editor/OutputVariableTextAttachmentPattern.h"

#include "docs/views/QtText.h"
#include "editor/OutputVariableCell.h"
#include "expansion/OutputVariablePattern.h"

namespace quillet {

OutputVariableTextAttachmentPattern::OutputVariableTextAttachmentPattern(NamesFunction getInputVariableNames)
    : m_getInputVariableNames(std::move(getInputVariableNames))
{
}

QString OutputVariableTextAttachmentPattern::pattern() const
{
    return qtString(OutputVariablePattern::pattern());
}

orv::TextContainingTextAttachmentPtr OutputVariableTextAttachmentPattern::attachment(
    const QString& matchedText, orv::TextRange range, const QString& wholeText) const
{
    const auto found = OutputVariablePattern::matches(icuString(matchedText));
    const QString name = found.empty() ? matchedText : qtString(found.front().name);
    auto attachment = std::make_shared<orv::TextContainingTextAttachment>(matchedText);
    auto cell = std::make_shared<OutputVariableCell>(name);
    cell->setBackgroundColor(VariableCell::colorForTokenAt(wholeText, range.location));
    cell->setInputVariableNames(m_getInputVariableNames ? m_getInputVariableNames() : QStringList {});
    cell->setAttachment(attachment);
    attachment->setCell(std::move(cell));
    return attachment;
}

} // namespace quillet
