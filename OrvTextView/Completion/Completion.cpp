#include "OrvTextView/Completion/Completion.h"

#include "OrvTextView/Pattern/StringHelpers.h"

#include <algorithm>

namespace orv {

Completion::Completion(QString completion)
    : Completion(QStringLiteral("(\\s|^)"), std::move(completion))
{
}

Completion::Completion(QString prefixRegEx, QString completion)
    : m_prefixRegEx(std::move(prefixRegEx))
    , m_completion(std::move(completion))
{
}

// An entry applies where the text ends with its trigger followed by a leading part of its
// completion. The parts are compared as literal text and the trigger expression is run only
// where one matched, once per position for all entries: with thousands of entries (an
// identifier for each expander of the library) every keystroke asks all of them.
std::vector<qsizetype> Completion::typedLengths(const QString& text) const
{
    std::vector<qsizetype> lengths;
    for (qsizetype length = std::min(text.size(), m_completion.size()); length > 0; --length) {
        if (text.endsWith(QStringView(m_completion).left(length)))
            lengths.push_back(length);
    }
    if (!lengths.empty()) {
        std::vector<qsizetype> boundaries;
        qsizetype end = 0;
        for (const QString& character : text::characters(m_completion))
            boundaries.push_back(end += character.size());
        std::erase_if(lengths,
            [&](qsizetype length) { return !std::binary_search(boundaries.begin(), boundaries.end(), length); });
    }
    lengths.push_back(0);
    return lengths;
}

bool Completion::prefixMatchesBefore(const QString& text, qsizetype end, PrefixMatches& known) const
{
    const auto key = std::make_pair(m_prefixRegEx, end);
    if (const auto found = known.find(key); found != known.end())
        return found->second;
    const bool matched
        = text::matchesRegex(text.left(end), QStringLiteral("(?:") + m_prefixRegEx + QStringLiteral(")$"));
    known.emplace(key, matched);
    return matched;
}

bool Completion::matches(const QString& text) const
{
    PrefixMatches known;
    return matches(text, known);
}

bool Completion::matches(const QString& text, PrefixMatches& known) const
{
    for (const qsizetype length : typedLengths(text)) {
        if (prefixMatchesBefore(text, text.size() - length, known))
            return true;
    }
    return false;
}

QString Completion::completed(const QString& line) const
{
    // The longest typed part wins.
    PrefixMatches known;
    for (const qsizetype length : typedLengths(line)) {
        if (prefixMatchesBefore(line, line.size() - length, known))
            return line + m_completion.mid(length);
    }
    return line;
}

void CompletionController::registerCompletion(CompletionPtr completion)
{
    if (completion)
        m_completions.push_back(std::move(completion));
}

std::vector<CompletionPtr> CompletionController::completions(const QString& text) const
{
    std::vector<CompletionPtr> result;
    Completion::PrefixMatches known;
    for (const auto& completion : m_completions) {
        if (completion->matches(text, known))
            result.push_back(completion);
    }
    return result;
}

} // namespace orv
