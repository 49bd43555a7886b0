#include "expansion/ExpandedExpression.h"

#include "text/StringHelpers.h"
#include "text/UnicodeConversion.h"

#include <nlohmann/json.hpp>

#include <string>

namespace quillet {

int32_t ExpandedExpression::cursorCodeUnitOffset() const
{
    // Walks over the Characters before the caret only, without cutting the text into them.
    return walkCharacters(text, cursorPosition < 0 ? 0 : cursorPosition).codeUnits;
}

void to_json(nlohmann::json& json, const ExpandedExpression& expression)
{
    json = nlohmann::json { { ExpandedExpression::textKey, toUtf8(expression.text) },
        { ExpandedExpression::cursorPositionKey, expression.cursorPosition } };
}

void from_json(const nlohmann::json& json, ExpandedExpression& expression)
{
    const auto& text = json.at(ExpandedExpression::textKey);
    const auto& cursorPosition = json.at(ExpandedExpression::cursorPositionKey);
    if (!cursorPosition.is_number_integer()) {
        throw nlohmann::json::type_error::create(
            302, std::string("type must be an integer, but is ") + cursorPosition.type_name(), &cursorPosition);
    }
    expression.text = fromUtf8(text.get<std::string>());
    expression.cursorPosition = cursorPosition.get<int64_t>();
}

} // namespace quillet
