#include "editor/VariableTextAttachmentPatterns.h"

#include "editor/InputVariableCell.h"
#include "editor/OutputVariableCell.h"
#include "editor/QtText.h"
#include "editor/VariableNaming.h"
#include "expansion/OutputVariablePattern.h"
#include "variables/VariablePattern.h"

namespace quillet {

namespace {

QColor tokenColor(const QString& wholeText, int location)
{
    return QColor(qtString(tokenColorHex(icuString(wholeText), location)));
}

} // namespace

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

orv::TextContainingTextAttachmentPtr InputVariableTextAttachmentPattern::attachment(const QString& matchedText,
                                                                                    orv::TextRange range,
                                                                                    const QString& wholeText) const
{
    const auto found = VariablePattern::matches(icuString(matchedText));
    const QString name = found.empty() ? matchedText : qtString(found.front().name);
    auto attachment = std::make_shared<orv::TextContainingTextAttachment>(matchedText);
    auto cell = std::make_shared<InputVariableCell>(name, m_getExpander ? m_getExpander() : nullptr, m_enabledExpanders);
    cell->setBackgroundColor(tokenColor(wholeText, range.location));
    cell->setAttachment(attachment);
    attachment->setCell(std::move(cell));
    return attachment;
}

OutputVariableTextAttachmentPattern::OutputVariableTextAttachmentPattern(NamesFunction getInputVariableNames)
    : m_getInputVariableNames(std::move(getInputVariableNames))
{
}

QString OutputVariableTextAttachmentPattern::pattern() const
{
    return qtString(OutputVariablePattern::pattern());
}

orv::TextContainingTextAttachmentPtr OutputVariableTextAttachmentPattern::attachment(const QString& matchedText,
                                                                                     orv::TextRange range,
                                                                                     const QString& wholeText) const
{
    const auto found = OutputVariablePattern::matches(icuString(matchedText));
    const QString name = found.empty() ? matchedText : qtString(found.front().name);
    auto attachment = std::make_shared<orv::TextContainingTextAttachment>(matchedText);
    auto cell = std::make_shared<OutputVariableCell>(name);
    cell->setBackgroundColor(tokenColor(wholeText, range.location));
    cell->setInputVariableNames(m_getInputVariableNames ? m_getInputVariableNames() : QStringList{});
    cell->setAttachment(attachment);
    attachment->setCell(std::move(cell));
    return attachment;
}

} // namespace quillet
