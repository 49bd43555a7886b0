#include "variables/StringValue.h"

#include <utility>

namespace quillet {

StringValue::StringValue(icu::UnicodeString value)
    : m_value(std::move(value))
{
}

void StringValue::setValue(icu::UnicodeString value)
{
    m_value = std::move(value);
    if (m_delegate)
        m_delegate->stringValueDidChange(*this);
}

} // namespace quillet
