#include "variables/KeyValueObject.h"

#include <utility>

namespace quillet {

KeyValueObject::KeyValueObject(icu::UnicodeString key, icu::UnicodeString value)
    : m_key(std::move(key))
    , m_value(std::move(value))
{
}

void KeyValueObject::setKey(icu::UnicodeString key)
{
    m_key = std::move(key);
    if (m_delegate)
        m_delegate->keyValueObjectDidChange(*this);
}

void KeyValueObject::setValue(icu::UnicodeString value)
{
    m_value = std::move(value);
    if (m_delegate)
        m_delegate->keyValueObjectDidChange(*this);
}

} // namespace quillet
