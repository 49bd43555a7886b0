#pragma once

#include <QString>

#include <unicode/unistr.h>

namespace quillet {

/// The library's texts and Qt's are both UTF-16: these copy the code units unchanged.
inline QString qtString(const icu::UnicodeString& text)
{
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

inline icu::UnicodeString icuString(const QString& text)
{
    return icu::UnicodeString(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<int32_t>(text.size()));
}

} // namespace quillet
