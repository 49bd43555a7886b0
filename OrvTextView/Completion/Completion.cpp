#include "OrvTextView/Completion/Completion.h"

#include "OrvTextView/Pattern/StringHelpers.h"

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

std::vector<Completion::PatternPair> Completion::buildPatterns() const
{
    std::vector<PatternPair> pairs;
    pairs.push_back(PatternPair { m_prefixRegEx, m_prefixRegEx });
    QString typed;
    for (const QString& character : text::characters(m_completion)) {
        typed += character;
        pairs.push_back(PatternPair { m_prefixRegEx + text::escapedForRegEx(typed), m_prefixRegEx + typed });
    }
    return pairs;
}

bool Completion::matches(const QString& text) const
{
    for (const PatternPair& pair : buildPatterns()) {
        if (text::matchesRegex(text, pair.pattern + u'$'))
            return true;
    }
    return false;
}

QString Completion::completed(const QString& line) const
{
    const auto pairs = buildPatterns();
    for (auto pair = pairs.rbegin(); pair != pairs.rend(); ++pair) {
        if (text::matchesRegex(line, pair->pattern + u'$'))
            return line + text::withoutPrefix(m_prefixRegEx + m_completion, pair->text);
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
    for (const auto& completion : m_completions) {
        if (completion->matches(text))
            result.push_back(completion);
    }
    return result;
}

} // namespace orv
