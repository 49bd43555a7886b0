#include "variables/PatternParser.h"

#include "text/PatternErrors.h"
#include "text/PatternPattern.h"
#include "text/StringHelpers.h"
#include "text/StringMatching.h"
#include "text/Tag.h"
#include "variables/PatternElementParser.h"
#include "variables/PatternValidator.h"
#include "variables/VariableFactory.h"
#include "variables/VariablePattern.h"

#include <algorithm>

namespace quillet {

namespace {

/// Stands for a variable's expression while the literal text around it is assembled: the
/// escapes of the pattern's text must not reach into the expressions the variables build. A
/// noncharacter; one written in the pattern is put into the expression by its code instead.
constexpr char16_t fragmentMark = u'\uFDD0';

/// A run of the pattern's literal text as an expression that matches it.
icu::UnicodeString literalExpression(const icu::UnicodeString& text, bool optional)
{
    icu::UnicodeString expression = escapingRegexMetacharacters(text);
    if (expression.indexOf(fragmentMark) >= 0)
        expression.findAndReplace(icu::UnicodeString(fragmentMark), u"\\x{FDD0}");
    if (optional) {
        // An escaped bar inside an optional part arrives here as "\|" and was escaped to
        // "\\\|"; the final unescape of "\|" would leave "\\|" (a literal backslash and an
        // alternation). Dropping one backslash makes it come out as "\|", a literal bar,
        // exactly as an escaped bar between required runs does.
        expression.findAndReplace(u"\\\\\\|", u"\\\\|");
    }
    return expression;
}

} // namespace

PatternParser::PatternParser(
    icu::UnicodeString pattern, const Expander* parentExpander, const ExpanderLookup& expanderController)
    : m_pattern(std::move(pattern))
    , m_expanderController(&expanderController)
    , m_parentExpander(parentExpander)
{
    PatternValidator validator(m_pattern, nullptr, expanderController);
    validator.validateSingleLine();
    validator.validateVariableNames();

    m_elements = PatternElementParser(m_pattern).parse(parentExpander, expanderController);
    for (const auto& element : m_elements) {
        if (element)
            m_variables.push_back(element);
    }

    // Each variable's expression is built once for the whole pattern: an expander variable's
    // build parses the embedded pattern, and doing it per segment made nested embeddings cost
    // exponential time. Built in variable order, so the first failing variable still reports.
    std::vector<icu::UnicodeString> fragments;
    fragments.reserve(m_variables.size());
    for (const auto& variable : m_variables)
        fragments.push_back(variable->regex(expanderController));

    // Every declaration takes its variable's expression where it is written: the element parser
    // made the variables from the same declarations of the same segments, in the same order.
    icu::UnicodeString marked = PatternPattern::replacingMatches(m_pattern, [&](const PatternPatternMatch& segment) {
        if (segment.isOptional())
            return u"(" + segmentExpression(*segment.optional, true) + u")?";
        return segmentExpression(segment.required.value_or(icu::UnicodeString()), false);
    });
    marked = unescapeCharacters(marked, { u"|", u"#" });

    std::size_t next = 0;
    for (int32_t position = 0;;) {
        const int32_t mark = marked.indexOf(fragmentMark, position);
        if (mark < 0) {
            m_regexPattern.append(marked, position, marked.length() - position);
            break;
        }
        m_regexPattern.append(marked, position, mark - position);
        if (next < fragments.size())
            m_regexPattern.append(fragments[next]);
        ++next;
        position = mark + 1;
    }
    if (next != fragments.size())
        throw PatternParsingError(u"The declarations of the pattern could not be read.");
}

icu::UnicodeString PatternParser::segmentExpression(const icu::UnicodeString& text, bool optional) const
{
    icu::UnicodeString expression;
    int32_t position = 0;
    for (const auto& groups : VariablePattern::matchGroups(text)) {
        const TextRange range = groups.front()->range;
        expression.append(literalExpression(icu::UnicodeString(text, position, range.location - position), optional));
        expression.append(fragmentMark);
        position = range.end();
    }
    expression.append(literalExpression(icu::UnicodeString(text, position), optional));
    return expression;
}

icu::UnicodeString PatternParser::anchoredRegexPattern() const
{
    icu::UnicodeString result(wordStartGuard());
    result.append(u"(?:").append(m_regexPattern).append(u")$");
    return result;
}

const icu::UnicodeString& PatternParser::wordStartGuard()
{
    static const icu::UnicodeString guard(u"(?:(?<!\\w)|(?!\\w))");
    return guard;
}

std::optional<int32_t> PatternParser::captureGroupIndex(const InputVariable& variable) const
{
    const icu::UnicodeString name = variable.name();
    int32_t count = 0;
    for (const auto& element : m_elements) {
        if (!element) {
            ++count;
            continue;
        }
        if (textEquals(element->name(), name))
            return count + 1;
        count += 1 + element->additionalNumberOfMatchesInRegex();
    }
    return std::nullopt;
}

InputVariablePtr PatternParser::variable(const icu::UnicodeString& name) const
{
    for (const auto& variable : m_variables) {
        if (textEquals(variable->name(), name))
            return variable;
    }
    return nullptr;
}

std::vector<InputVariablePtr> PatternParser::flattenedVariables() const
{
    std::vector<InputVariablePtr> result;
    for (const auto& variable : m_variables) {
        auto nested = variable->subvariables();
        if (!nested.empty())
            result.insert(result.end(), nested.begin(), nested.end());
        else if (!variable->canHaveSubvariables())
            result.push_back(variable);
    }
    return result;
}

icu::UnicodeString PatternParser::expandedPattern() const
{
    icu::UnicodeString text = m_pattern;
    for (const auto& variable : VariableFactory().makeVariables(m_pattern, m_parentExpander, *m_expanderController))
        text.findAndReplace(variable->declaration(), variable->declarationText());
    return text;
}

icu::UnicodeString PatternParser::patternHTML() const
{
    const icu::UnicodeString text = expandedPattern();
    icu::UnicodeString html;
    for (const auto& segment : PatternPattern::matches(text)) {
        const icu::UnicodeString content = segment.content();
        // Literal text is escaped: patterns come from imported bundle files.
        icu::UnicodeString converted;
        int32_t position = 0;
        for (const auto& groups : optionalCaptureGroups(content, VariablePattern::pattern())) {
            const TextRange range = groups.front()->range;
            const VariablePatternMatch declaration(groups);
            converted += escapeHTMLText(icu::UnicodeString(content, position, range.location - position));
            converted += Tag(TagName::span, u"variable", std::nullopt, {}, { escapeHTMLText(declaration.name) }).html();
            position = range.end();
        }
        converted += escapeHTMLText(icu::UnicodeString(content, position));
        html += segment.isOptional() ? Tag(TagName::span, u"optional", std::nullopt, {}, { converted }).html()
                                     : converted;
    }
    return html;
}

} // namespace quillet
