#include "library/UserErrorDescriptionType.h"

#include "text/UnicodeConversion.h"

namespace quillet {

const char* UserErrorDescriptionType::what() const noexcept
{
    try {
        m_what = toUtf8(userErrorTitle()) + ": " + toUtf8(userErrorDescription());
    } catch (...) {
        return "user error";
    }
    return m_what.c_str();
}

} // namespace quillet
