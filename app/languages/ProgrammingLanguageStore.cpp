#include "languages/ProgrammingLanguageStore.h"

#include "languages/AnyProgrammingLanguage.h"
#include "languages/ProgrammingLanguageRecord.h"

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
    for (const auto& language : m_allLanguages) {
        if (language->id() == id)
            return language;
    }
    return std::nullopt;
}

} // namespace quillet
