#include "variables/ProgrammingLanguage.h"

#include <algorithm>
#include <utility>

namespace quillet {

ProgrammingLanguageExtension::ProgrammingLanguageExtension(bool isAll, std::vector<icu::UnicodeString> extensions)
    : m_isAll(isAll)
    , m_extensions(std::move(extensions))
{
}

ProgrammingLanguageExtension ProgrammingLanguageExtension::given(std::vector<icu::UnicodeString> extensions)
{
    return ProgrammingLanguageExtension(false, std::move(extensions));
}

ProgrammingLanguageExtension ProgrammingLanguageExtension::all()
{
    return ProgrammingLanguageExtension(true, {});
}

bool ProgrammingLanguageExtension::accepts(const icu::UnicodeString& extension) const
{
    // UnicodeString's == compares code units: exactly the case-sensitive, untrimmed
    // comparison that extension lists are matched with.
    return m_isAll || std::ranges::find(m_extensions, extension) != m_extensions.end();
}

const ProgrammingLanguageExtension& ProgrammingLanguage::extensions() const
{
    static const ProgrammingLanguageExtension none = ProgrammingLanguageExtension::given({});
    return none;
}

} // namespace quillet
