#pragma once

#include "editor/InputVariableEditorState.h"

#include "OrvTextView/Highlighting/TextAttachmentPattern.h"

#include <QStringList>

#include <functional>
#include <memory>

namespace quillet {

/// The token maker of the pattern editor: every input-variable declaration becomes a token
/// labelled with the variable's name, grey inside an optional part and blue elsewhere,
/// whose cell edits the variable of the given expander.
class InputVariableTextAttachmentPattern final : public orv::TextAttachmentPattern {
public:
    using ExpanderFunction = std::function<ExpanderPtr()>;

    InputVariableTextAttachmentPattern(
        ExpanderFunction getExpander, InputVariableEditorState::ExpandersSource enabledExpanders);

    QString pattern() const override;
    orv::TextContainingTextAttachmentPtr attachment(
        const QString& matchedText, orv::TextRange range, const QString& wholeText) const override;

private:
    ExpanderFunction m_getExpander;
    InputVariableEditorState::ExpandersSource m_enabledExpanders;
};

} // namespace quillet
