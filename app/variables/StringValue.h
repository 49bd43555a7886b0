#pragma once

#include <unicode/unistr.h>

namespace quillet {

class StringValue;

/// Told whenever a value row changes.
class StringValueDelegate {
public:
    virtual ~StringValueDelegate() = default;
    virtual void stringValueDidChange(StringValue& object) = 0;
};

/// One row of the variable editor's value list (an enum case). The delegate is not owned.
class StringValue {
public:
    explicit StringValue(icu::UnicodeString value = {});

    const icu::UnicodeString& value() const noexcept { return m_value; }
    void setValue(icu::UnicodeString value);

    StringValueDelegate* delegate() const noexcept { return m_delegate; }
    void setDelegate(StringValueDelegate* delegate) noexcept { m_delegate = delegate; }

private:
    icu::UnicodeString m_value;
    StringValueDelegate* m_delegate = nullptr;
};

} // namespace quillet
