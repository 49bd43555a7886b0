#include "OrvTextView/MarkdownTextView/MarkdownHighlightingPatterns.h"

namespace orv {

namespace {

const Color gray { .red = 0.5, .green = 0.5, .blue = 0.5, .alpha = 1 };

TextFormatPtr makeFormat(bool bold, bool italic)
{
    auto format = std::make_shared<TextFormat>();
    format->isBold = bold;
    format->isItalic = italic;
    return format;
}

TextFormatPtr listFormat(double leftPadding)
{
    auto format = makeFormat(false, false);
    format->topPadding = FontSize::characters(0.4);
    format->bottomPadding = FontSize::characters(0.4);
    format->leftPadding = FontSize::characters(leftPadding);
    format->firstLineLeftPadding = FontSize::points(0);
    return format;
}

} // namespace

BoldItalicMDHighlightingPattern::BoldItalicMDHighlightingPattern()
    : MarkdownHighlightingPattern(uR"((?<=[^\*])\*{3}(?!:\w)([^*]+)(?!:\w)\*{3})")
{
}
TextFormatPtr BoldItalicMDHighlightingPattern::format() const
{
    return makeFormat(true, true);
}

BoldMDHighlightingPattern::BoldMDHighlightingPattern()
    : MarkdownHighlightingPattern(uR"((?<=[^\*])\*{2}(?!:\w)([^*]+)(?!:\w)\*{2})")
{
}
TextFormatPtr BoldMDHighlightingPattern::format() const
{
    return makeFormat(true, false);
}

CodeBlockMDHighlightingPattern::CodeBlockMDHighlightingPattern()
    : MarkdownHighlightingPattern(uR"(```\s*(.[^`]+)\s*```)")
{
}
TextFormatPtr CodeBlockMDHighlightingPattern::format() const
{
    auto format = makeFormat(false, false);
    format->color = gray;
    format->topPadding = FontSize::characters(0.3);
    format->bottomPadding = FontSize::characters(0.3);
    format->leftPadding = FontSize::characters(4);
    return format;
}

CodeMDHighlightingPattern::CodeMDHighlightingPattern()
    : MarkdownHighlightingPattern(uR"((?<=^|[^\`])`{1}(?!:\w)([^`]+)(?!:\w)`{1})")
{
}
TextFormatPtr CodeMDHighlightingPattern::format() const
{
    auto format = makeFormat(false, false);
    format->color = gray;
    return format;
}

HeaderMDHighlightingPattern::HeaderMDHighlightingPattern()
    : MarkdownHighlightingPattern(uR"((\#{1,5})\ (.+?)$)")
{
}
TextFormatPtr HeaderMDHighlightingPattern::format() const
{
    return makeFormat(true, false);
}

ItalicMDHighlightingPattern::ItalicMDHighlightingPattern()
    : MarkdownHighlightingPattern(uR"((?!^)(?<=[^\*])\*{1}(?!:\w)([^*]+)(?!:\w)\*{1})")
{
}
TextFormatPtr ItalicMDHighlightingPattern::format() const
{
    return makeFormat(false, true);
}

ListElementMDHighlightingPattern::ListElementMDHighlightingPattern()
    : MarkdownHighlightingPattern(uR"(^[*-]\ .+?$)")
{
}
TextFormatPtr ListElementMDHighlightingPattern::format() const
{
    return listFormat(2);
}

NumericListElementMDHighlightingPattern::NumericListElementMDHighlightingPattern()
    : MarkdownHighlightingPattern(uR"(^\d+\.\ .+?$)")
{
}
TextFormatPtr NumericListElementMDHighlightingPattern::format() const
{
    return listFormat(3);
}

QuoteMDHighlightingPattern::QuoteMDHighlightingPattern()
    : MarkdownHighlightingPattern(uR"(^\>\ (.+?)$)")
{
}
TextFormatPtr QuoteMDHighlightingPattern::format() const
{
    auto format = makeFormat(false, true);
    format->color = gray;
    format->topPadding = FontSize::characters(1);
    format->bottomPadding = FontSize::characters(1);
    format->leftPadding = FontSize::characters(2);
    format->firstLineLeftPadding = FontSize::characters(0);
    return format;
}

} // namespace orv
