#include "text/PatternParser.h"

#include "docs/Tag.h"
#include "text/PatternElementParser.h"
#include "text/PatternPattern.h"
#include "text/PatternValidator.h"
#include "text/StringHelpers.h"
#include "text/StringMatching.h"
#include "variables/VariableFactory.h"
#include "variables/VariablePattern.h"

#include <algorithm>

namespace quillet {

namespace {

/// Where one variable's declaration stands in the escaped segment.
struct DeclarationSpot {
    int32_t start;
    int32_t end;
    std::size_t variable;
};

} // namespace

PatternParser::PatternParser(icu::UnicodeString pattern, const Expander* parentExpander,
                             const ExpanderController& expanderController)
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
    m_inRegex.assign(m_variables.size(), false);

    // Each variable's expression is built once for the whole pattern: an expander variable's
    // build parses the embedded pattern, and doing it per segment made nested embeddings cost
    // exponential time. Built in variable order, so the first failing variable still reports.
    std::vector<icu::UnicodeString> fragments;
    fragments.reserve(m_variables.size());
    for (const auto& variable : m_variables)
        fragments.push_back(variable->regex(expanderController));
    // What each declaration looks like in an escaped segment, made once rather than per segment.
    std::vector<icu::UnicodeString> escapedDeclarations;
    escapedDeclarations.reserve(m_variables.size());
    for (const auto& variable : m_variables)
        escapedDeclarations.push_back(escapingRegexMetacharacters(variable->declaration()));

    m_regexPattern = PatternPattern::replacingMatches(m_pattern, [&](const PatternPatternMatch& segment) {
        if (segment.isOptional())
            return u"(" + segmentExpression(*segment.optional, true, fragments, escapedDeclarations) + u")?";
        return segmentExpression(segment.required.value_or(icu::UnicodeString()), false, fragments,
                                 escapedDeclarations);
    });
    m_regexPattern = unescapeCharacters(m_regexPattern, {u"|", u"#"});
}

icu::UnicodeString PatternParser::segmentExpression(const icu::UnicodeString& text, bool optional,
                                                    const std::vector<icu::UnicodeString>& fragments,
                                                    const std::vector<icu::UnicodeString>& escapedDeclarations)
{
    icu::UnicodeString expression = escapingRegexMetacharacters(text);
    if (optional) {
        // An escaped bar inside an optional part arrives here as "\|" and was escaped to
        // "\\\|"; the final unescape of "\|" would leave "\\|" (a literal backslash and an
        // alternation). Dropping one backslash makes it come out as "\|", a literal bar,
        // exactly as an escaped bar between required runs does.
        expression.findAndReplace(u"\\\\\\|", u"\\\\|");
    }
    // Every declaration is found in the segment's own text before any fragment goes in: a
    // fragment may hold the text of another declaration (an enum case can spell one out), and
    // that text must stay literal there rather than take the other variable's groups. Earlier
    // variables claim their spots first; a later spot overlapping a claimed one is no declaration.
    std::vector<DeclarationSpot> spots;
    for (std::size_t i = 0; i < m_variables.size(); ++i) {
        const icu::UnicodeString& needle = escapedDeclarations[i];
        if (needle.isEmpty())
            continue;
        for (int32_t at = expression.indexOf(needle); at >= 0;) {
            const int32_t end = at + needle.length();
            const bool overlaps = std::any_of(spots.begin(), spots.end(), [&](const DeclarationSpot& spot) {
                return at < spot.end && spot.start < end;
            });
            if (!overlaps) {
                spots.push_back({at, end, i});
                m_inRegex[i] = true;
            }
            at = expression.indexOf(needle, overlaps ? at + 1 : end);
        }
    }
    if (spots.empty())
        return expression;
    std::sort(spots.begin(), spots.end(),
              [](const DeclarationSpot& a, const DeclarationSpot& b) { return a.start < b.start; });
    icu::UnicodeString spliced;
    int32_t position = 0;
    for (const auto& spot : spots) {
        spliced.append(expression, position, spot.start - position).append(fragments[spot.variable]);
        position = spot.end;
    }
    spliced.append(expression, position, expression.length() - position);
    return spliced;
}

icu::UnicodeString PatternParser::anchoredRegexPattern() const
{
    return u"(?:" + m_regexPattern + u")$";
}

std::optional<int32_t> PatternParser::captureGroupIndex(const InputVariable& variable) const
{
    const icu::UnicodeString name = variable.name();
    int32_t count = 0;
    std::size_t variableIndex = 0;
    for (const auto& element : m_elements) {
        if (!element) {
            ++count;
            continue;
        }
        const bool inRegex = m_inRegex[variableIndex++];
        if (element->name() == name)
            return inRegex ? std::optional<int32_t>(count + 1) : std::nullopt;
        if (inRegex)
            count += 1 + element->additionalNumberOfMatchesInRegex();
    }
    return std::nullopt;
}

InputVariablePtr PatternParser::variable(const icu::UnicodeString& name) const
{
    for (const auto& variable : m_variables) {
        if (variable->name() == name)
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
            converted += Tag(TagName::span, u"variable", std::nullopt, {}, {escapeHTMLText(declaration.name)}).html();
            position = range.end();
        }
        converted += escapeHTMLText(icu::UnicodeString(content, position));
        html += segment.isOptional() ? Tag(TagName::span, u"optional", std::nullopt, {}, {converted}).html() : converted;
    }
    return html;
}

} // namespace quillet
