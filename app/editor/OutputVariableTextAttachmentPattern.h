#pragma once

#include "OrvTextView/Highlighting/TextAttachmentPattern.h"

#include <QStringList>

#include <functional>

namespace quillet {

/// The token maker of the output-template editor: every placeholder (filters included)
/// becomes a token labelled with its variable's name; the cell offers the input variables
/// known when the token was made.
class OutputVariableTextAttachmentPattern final : public orv::TextAttachmentPattern {
public:
    using NamesFunction = std::function<QStringList()>;

    explicit OutputVariableTextAttachmentPattern(NamesFunction getInputVariableNames);

    QString pattern() const override;
    orv::TextContainingTextAttachmentPtr attachment(
        const QString& matchedText, orv::TextRange range, const QString& wholeText) const override;

private:
    NamesFunction m_getInputVariableNames;
};

} // namespace quillet
