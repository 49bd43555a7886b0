#include "variables/PatternElementParser.h"

#include "text/Localized.h"
#include "text/PatternErrors.h"
#include "text/PatternPattern.h"
#include "text/RecursionObserver.h"
#include "variables/VariableFactory.h"

namespace quillet {

PatternElementParser::PatternElementParser(icu::UnicodeString pattern)
    : m_pattern(std::move(pattern))
{
}

std::vector<InputVariablePtr> PatternElementParser::parse(
    const Expander* parentExpander, const ExpanderLookup& expanderController) const
{
    auto& observer = RecursionObserver::shared();
    try {
        observer.check();
    } catch (const RecursionError&) {
        throw PatternParsingError(localizedFormat(
            u"Oops. Looks like '%@' pattern is recursive. The bad thing is it cannot be stopped. Please fix it.",
            "Recurrension detected error", m_pattern));
    }

    std::vector<InputVariablePtr> elements;
    try {
        VariableFactory factory;
        for (const auto& segment : PatternPattern::matches(m_pattern)) {
            if (segment.isOptional())
                elements.push_back(nullptr);
            for (const auto& variable : factory.makeVariables(segment.content(), parentExpander, expanderController)) {
                for (auto& element : variable->patternElements())
                    elements.push_back(std::move(element));
            }
        }
    } catch (...) {
        observer.reset();
        throw;
    }
    observer.reset();
    return elements;
}

} // namespace quillet
