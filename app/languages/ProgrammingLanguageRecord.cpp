#include "languages/ProgrammingLanguageRecord.h"

#include "languages/AnyProgrammingLanguage.h"
#include "languages/KeywordsHighlightingPattern.h"
#include "languages/StringHighlightingPattern.h"

#include <memory>
#include <utility>

namespace quillet {

ProgrammingLanguageRecord::ProgrammingLanguageRecord(icu::UnicodeString id, icu::UnicodeString name,
    ProgrammingLanguageExtension extensions, orv::HighlightingPatternList highlightingPatterns)
    : m_id(std::move(id))
    , m_name(std::move(name))
    , m_extensions(std::move(extensions))
    , m_highlightingPatterns(std::move(highlightingPatterns))
{
}

CProgrammingLanguage::CProgrammingLanguage()
    : ProgrammingLanguageRecord(u"c", u"C", ProgrammingLanguageExtension::given({ u"c", u"h" }),
        { std::make_shared<StringHighlightingPattern>(), std::make_shared<CKeywordsHighlightingPattern>() })
{
}

CSharpProgrammingLangauge::CSharpProgrammingLangauge()
    : ProgrammingLanguageRecord(u"csharp", u"C#", ProgrammingLanguageExtension::given({ u"cs" }),
        { std::make_shared<StringHighlightingPattern>(), std::make_shared<CSharpKeywordsHighlightingPattern>() })
{
}

CppProgrammingLangauge::CppProgrammingLangauge()
    : ProgrammingLanguageRecord(u"cpp", u"C++", ProgrammingLanguageExtension::given({ u"cpp", u"h" }),
        { std::make_shared<StringHighlightingPattern>(), std::make_shared<CppKeywordsHighlightingPattern>() })
{
}

SwiftProgrammingLangauge::SwiftProgrammingLangauge()
    : ProgrammingLanguageRecord(u"swift", u"Swift",
        ProgrammingLanguageExtension::given({ u"swift", u"storyboard", u"xcodeproj", u"xcassets" }),
        { std::make_shared<StringHighlightingPattern>(), std::make_shared<SwiftKeywordsHighlightingPattern>() })
{
}

ObjectiveCProgrammingLangauge::ObjectiveCProgrammingLangauge()
    : ProgrammingLanguageRecord(u"objc", u"Objective C",
        ProgrammingLanguageExtension::given({ u"m", u"h", u"storyboard", u"xcodeproj", u"xcassets" }),
        { std::make_shared<StringHighlightingPattern>(), std::make_shared<ObjectiveCKeywordsHighlightingPattern>() })
{
}

JavaProgrammingLangauge::JavaProgrammingLangauge()
    : ProgrammingLanguageRecord(u"java", u"Java", ProgrammingLanguageExtension::given({ u"java" }),
        { std::make_shared<StringHighlightingPattern>(), std::make_shared<JavaKeywordsHighlightingPattern>() })
{
}

PhpProgrammingLangauge::PhpProgrammingLangauge()
    : ProgrammingLanguageRecord(u"php", u"PHP", ProgrammingLanguageExtension::given({ u"php" }),
        { std::make_shared<StringHighlightingPattern>(), std::make_shared<PHPKeywordsHighlightingPattern>() })
{
}

RubyProgrammingLangauge::RubyProgrammingLangauge()
    : ProgrammingLanguageRecord(u"ruby", u"Ruby", ProgrammingLanguageExtension::given({ u"rb", u"ruby" }),
        { std::make_shared<StringHighlightingPattern>(), std::make_shared<RubyKeywordsHighlightingPattern>() })
{
}

PythonProgrammingLangauge::PythonProgrammingLangauge()
    : ProgrammingLanguageRecord(u"python", u"Python", ProgrammingLanguageExtension::given({ u"py" }),
        { std::make_shared<StringHighlightingPattern>(), std::make_shared<PythonKeywordsHighlightingPattern>() })
{
}

HtmlProgrammingLangauge::HtmlProgrammingLangauge()
    : ProgrammingLanguageRecord(u"html", u"HTML", ProgrammingLanguageExtension::given({ u"html" }), {})
{
}

CssProgrammingLangauge::CssProgrammingLangauge()
    : ProgrammingLanguageRecord(u"css", u"CSS", ProgrammingLanguageExtension::given({ u"css", u"less", u"html" }), {})
{
}

JavaScriptProgrammingLangauge::JavaScriptProgrammingLangauge()
    : ProgrammingLanguageRecord(u"js", u"JavaScript", ProgrammingLanguageExtension::given({ u"js", u"html" }),
        { std::make_shared<StringHighlightingPattern>(), std::make_shared<JavaScriptKeywordsHighlightingPattern>() })
{
}

JsonProgrammingLangauge::JsonProgrammingLangauge()
    : ProgrammingLanguageRecord(u"json", u"JSON", ProgrammingLanguageExtension::given({ u"json" }),
        { std::make_shared<StringHighlightingPattern>() })
{
}

XmlProgrammingLangauge::XmlProgrammingLangauge()
    : ProgrammingLanguageRecord(u"xml", u"XML", ProgrammingLanguageExtension::given({ u"xml" }),
        { std::make_shared<StringHighlightingPattern>() })
{
}

BashProgrammingLangauge::BashProgrammingLangauge()
    : ProgrammingLanguageRecord(u"bash", u"Bash", ProgrammingLanguageExtension::given({ u"sh" }),
        { std::make_shared<StringHighlightingPattern>() })
{
}

GoProgrammingLangauge::GoProgrammingLangauge()
    : ProgrammingLanguageRecord(u"go", u"Go", ProgrammingLanguageExtension::given({ u"go" }),
        { std::make_shared<GoKeywordsHighlightingPattern>() })
{
}

ElixirProgrammingLangauge::ElixirProgrammingLangauge()
    : ProgrammingLanguageRecord(u"elixir", u"Elixir", ProgrammingLanguageExtension::given({ u"ex" }),
        { std::make_shared<ElixirKeywordsHighlightingPattern>() })
{
}

AnyProgrammingLanguage::AnyProgrammingLanguage()
    : ProgrammingLanguageRecord(u"any", u"Any Language", ProgrammingLanguageExtension::all(), {})
{
}

} // namespace quillet
