#pragma once

#include "text/UnicodeConversion.h"

#include <unicode/unistr.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>

// Lets GoogleTest print UTF-16 strings readably in failure messages.
namespace U_ICU_NAMESPACE {
inline void PrintTo(const UnicodeString& text, std::ostream* out)
{
    *out << '"' << quillet::toUtf8(text) << '"';
}
} // namespace U_ICU_NAMESPACE

namespace quillet {

/// The UTF-16 text of a table case's field: u16(c.pattern) beside u16(u"literal").
inline icu::UnicodeString u16(std::u16string_view text)
{
    return icu::UnicodeString(text.data(), static_cast<int32_t>(text.size()));
}

} // namespace quillet

namespace quillet::test {

/// A fresh temporary directory, removed with everything in it by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const noexcept { return m_path; }

private:
    std::filesystem::path m_path;
};

void writeFile(const std::filesystem::path& file, const std::string& contents);
std::string readFile(const std::filesystem::path& file);

} // namespace quillet::test
