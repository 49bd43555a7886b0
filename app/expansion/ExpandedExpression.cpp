#include "expansion/ExpandedExpression.h"

#include "text/StringHelpers.h"
#include "text/UnicodeConversion.h"

#include <nlohmann/json.hpp>

#include <string>

namespace quillet {

int32_t ExpandedExpression::cursorCodeUnitOffset() const
{
    int32_t offset = 0;
    int64_t index = 0;
    for (const auto& character : characters(text)) {
        if (index++ >= cursorPosition)
            break;
        offset += character.length();
    }
    return offset;
}

void to_json(nlohmann::json& json, const ExpandedExpression& expression)
{
    json = nlohmann::json{{ExpandedExpression::textKey, toUtf8(expression.text)},
                          {ExpandedExpression::cursorPositionKey, expression.cursorPosition}};
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
