#include "languages/ProgrammingLanguageStore.h"

#include "languages/AnyProgrammingLanguage.h"
#include "languages/ProgrammingLanguageRecord.h"

#include <algorithm>
#include <memory>

namespace quillet {

ProgrammingLanguageStore::ProgrammingLanguageStore()
    : m_allLanguages {
        std::make_shared<CProgrammingLanguage>(),
        std::make_shared<CSharpProgrammingLangauge>(),
        std::make_shared<CppProgrammingLangauge>(),
        std::make_shared<SwiftProgrammingLangauge>(),
        std::make_shared<ObjectiveCProgrammingLangauge>(),
        std::make_shared<JavaProgrammingLangauge>(),
        std::make_shared<PhpProgrammingLangauge>(),
        std::make_shared<RubyProgrammingLangauge>(),
        std::make_shared<PythonProgrammingLangauge>(),
        std::make_shared<HtmlProgrammingLangauge>(),
        std::make_shared<CssProgrammingLangauge>(),
        std::make_shared<JavaScriptProgrammingLangauge>(),
        std::make_shared<JsonProgrammingLangauge>(),
        std::make_shared<XmlProgrammingLangauge>(),
        std::make_shared<BashProgrammingLangauge>(),
        std::make_shared<GoProgrammingLangauge>(),
        std::make_shared<ElixirProgrammingLangauge>(),
        std::make_shared<AnyProgrammingLanguage>(),
    }
{
    m_ids.reserve(m_allLanguages.size());
    for (const auto& language : m_allLanguages)
        m_ids.push_back(language->id());
    // The first language with an id answers for it, as a scan in store order would.
    for (std::size_t i = 0; i < m_ids.size(); ++i)
        m_languagesById.try_emplace(
            std::u16string_view(m_ids[i].getBuffer(), static_cast<std::size_t>(m_ids[i].length())), m_allLanguages[i]);
}

const ProgrammingLanguageStore& ProgrammingLanguageStore::shared()
{
    static const ProgrammingLanguageStore store;
    return store;
}

ProgrammingLanguageList ProgrammingLanguageStore::languages(const icu::UnicodeString& extension) const
{
    ProgrammingLanguageList accepting;
    for (const auto& language : m_allLanguages) {
        if (language->accepts(extension))
            accepting.push_back(language);
    }
    return accepting;
}

std::optional<ProgrammingLanguagePtr> ProgrammingLanguageStore::language(const icu::UnicodeString& id) const
{
    const auto found
        = m_languagesById.find(std::u16string_view(id.getBuffer(), static_cast<std::size_t>(std::max(id.length(), 0))));
    if (found == m_languagesById.end())
        return std::nullopt;
    return found->second;
}

} // namespace quillet
