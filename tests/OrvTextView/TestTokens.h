#pragma once

#include "OrvTextView/Highlighting/TextAttachmentPattern.h"

#include <QColor>

namespace orv::test {

/// Tokens written "${name}": each becomes an attachment that keeps its text. Counts the
/// attachments it made and gives their cells `cellColor`.
class VariableTokens : public TextAttachmentPattern {
public:
    explicit VariableTokens(QString expression = QStringLiteral("\\$\\{[^}]*\\}"))
        : m_expression(std::move(expression))
    {
    }

    QString pattern() const override { return m_expression; }
    TextContainingTextAttachmentPtr attachment(const QString& matchedText, TextRange, const QString&) const override
    {
        ++made;
        auto attachment = std::make_shared<TextContainingTextAttachment>(matchedText);
        attachment->cell()->setBackgroundColor(cellColor);
        return attachment;
    }

    mutable int made = 0;
    QColor cellColor = Qt::yellow;

private:
    QString m_expression;
};

} // namespace orv::test
