#pragma once

#include <unicode/unistr.h>

namespace quillet {

class KeyValueObject;

/// Told whenever a row's key or value changes.
class KeyValueObjectDelegate {
public:
    virtual ~KeyValueObjectDelegate() = default;
    virtual void keyValueObjectDidChange(KeyValueObject& object) = 0;
};

/// One row of the variable editor's key and value table (a switch case).
/// The delegate is an observer and is not owned; the editor clears it before it goes away.
class KeyValueObject {
public:
    KeyValueObject() = default;
    KeyValueObject(icu::UnicodeString key, icu::UnicodeString value);

    const icu::UnicodeString& key() const noexcept { return m_key; }
    const icu::UnicodeString& value() const noexcept { return m_value; }
    void setKey(icu::UnicodeString key);
    void setValue(icu::UnicodeString value);

    KeyValueObjectDelegate* delegate() const noexcept { return m_delegate; }
    void setDelegate(KeyValueObjectDelegate* delegate) noexcept { m_delegate = delegate; }

private:
    icu::UnicodeString m_key;
    icu::UnicodeString m_value;
    KeyValueObjectDelegate* m_delegate = nullptr;
};

} // namespace quillet
