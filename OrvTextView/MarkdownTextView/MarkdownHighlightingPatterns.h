#pragma once

#include "OrvTextView/HighlightingPattern.h"
#include "OrvTextView/OrvTextViewExport.h"

#include <string>

namespace orv {

/// The markdown look: nine patterns for the usual constructs. Nothing is rendered: the
/// delimiters stay and only the look changes. Each read of format() builds a new format.
class ORVTEXTVIEW_EXPORT MarkdownHighlightingPattern : public HighlightingPattern {
public:
    std::u16string pattern() const final { return m_pattern; }

protected:
    explicit MarkdownHighlightingPattern(std::u16string pattern)
        : m_pattern(std::move(pattern))
    {
    }

private:
    std::u16string m_pattern;
};

/// ***bold italic***
class ORVTEXTVIEW_EXPORT BoldItalicMDHighlightingPattern final : public MarkdownHighlightingPattern {
public:
    BoldItalicMDHighlightingPattern();
    TextFormatPtr format() const override;
};

/// **bold**
class ORVTEXTVIEW_EXPORT BoldMDHighlightingPattern final : public MarkdownHighlightingPattern {
public:
    BoldMDHighlightingPattern();
    TextFormatPtr format() const override;
};

/// ```code block```, possibly over several lines: grey and indented.
class ORVTEXTVIEW_EXPORT CodeBlockMDHighlightingPattern final : public MarkdownHighlightingPattern {
public:
    CodeBlockMDHighlightingPattern();
    TextFormatPtr format() const override;
};

/// `inline code`: grey.
class ORVTEXTVIEW_EXPORT CodeMDHighlightingPattern final : public MarkdownHighlightingPattern {
public:
    CodeMDHighlightingPattern();
    TextFormatPtr format() const override;
};

/// # Header (one to five "#"): bold.
class ORVTEXTVIEW_EXPORT HeaderMDHighlightingPattern final : public MarkdownHighlightingPattern {
public:
    HeaderMDHighlightingPattern();
    TextFormatPtr format() const override;
};

/// *italic*
class ORVTEXTVIEW_EXPORT ItalicMDHighlightingPattern final : public MarkdownHighlightingPattern {
public:
    ItalicMDHighlightingPattern();
    TextFormatPtr format() const override;
};

/// A "*" or "-" list line, with a hanging indent.
class ORVTEXTVIEW_EXPORT ListElementMDHighlightingPattern final : public MarkdownHighlightingPattern {
public:
    ListElementMDHighlightingPattern();
    TextFormatPtr format() const override;
};

/// A numbered list line, with a hanging indent (not registered by MarkdownTextView).
class ORVTEXTVIEW_EXPORT NumericListElementMDHighlightingPattern final : public MarkdownHighlightingPattern {
public:
    NumericListElementMDHighlightingPattern();
    TextFormatPtr format() const override;
};

/// "> quote": grey italic, indented.
class ORVTEXTVIEW_EXPORT QuoteMDHighlightingPattern final : public MarkdownHighlightingPattern {
public:
    QuoteMDHighlightingPattern();
    TextFormatPtr format() const override;
};

} // namespace orv
