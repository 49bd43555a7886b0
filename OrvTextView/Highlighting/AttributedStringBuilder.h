#pragma once

#include "OrvTextView/Highlighting/TextFormatAttributes.h"
#include "OrvTextView/HighlightingPattern.h"
#include "OrvTextView/OrvTextViewExport.h"
#include "OrvTextView/Pattern/StringHelpers.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QTextCharFormat>

#include <optional>
#include <vector>

namespace orv {

/// The working object of one highlighting pass: the base look of the whole text and the
/// formats of the patterns' matches, in the order they were added.
///
/// Where runs overlap, a later run wins for each attribute it sets and keeps the earlier
/// run's others (the toolkit merges the formats in this order). A paragraph takes the
/// paragraph layout of the last run that covers its first character, else the base one.
/// The builder only computes; the text view lays the result over its document.
class ORVTEXTVIEW_EXPORT AttributedStringBuilder {
public:
    struct Run {
        TextRange range;
        QTextCharFormat format;
        /// Set when the run's format makes a paragraph layout.
        std::optional<ParagraphSpacing> paragraph;
    };

    AttributedStringBuilder(QString text, QColor textColor);

    /// The base look: the text colour and `font` everywhere, and the paragraph layout.
    void initializeFormatting(const QFont& font, const std::optional<ParagraphSpacing>& paragraphStyle);

    /// Adds one format over one range.
    void addAttributes(const TextFormatAttributes& attributes, TextRange range);

    /// Matches every pattern over the text, in list order, and adds its format over each
    /// match. Each pattern's format is read once per pass.
    void addHighlightingPatterns(const HighlightingPatternList& patterns, const QFont& standardFont);

    const QString& text() const { return m_text; }
    const QTextCharFormat& baseFormat() const { return m_baseFormat; }
    const std::optional<ParagraphSpacing>& baseParagraph() const { return m_baseParagraph; }
    const std::vector<Run>& runs() const { return m_runs; }

    /// The merged character format at a UTF-16 position.
    QTextCharFormat formatAt(int position) const;
    /// The paragraph layout of the paragraph that starts at `paragraphStart`.
    std::optional<ParagraphSpacing> paragraphAt(int paragraphStart) const;

private:
    QString m_text;
    QColor m_textColor;
    QTextCharFormat m_baseFormat;
    std::optional<ParagraphSpacing> m_baseParagraph;
    std::vector<Run> m_runs;
};

} // namespace orv
