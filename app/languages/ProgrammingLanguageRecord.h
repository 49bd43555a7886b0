#pragma once

#include "variables/ProgrammingLanguage.h"

#include <unicode/unistr.h>

namespace quillet {

/// A language definition held as plain values: the four fields of the protocol, stored.
/// Each catalogue language below is a type of its own whose default constructor fills in
/// its row of the catalogue; the inherited constructor takes all four fields.
class ProgrammingLanguageRecord : public ProgrammingLanguage {
public:
    ProgrammingLanguageRecord(icu::UnicodeString id, icu::UnicodeString name, ProgrammingLanguageExtension extensions,
        orv::HighlightingPatternList highlightingPatterns);

    icu::UnicodeString id() const override { return m_id; }
    icu::UnicodeString name() const override { return m_name; }
    const ProgrammingLanguageExtension& extensions() const override { return m_extensions; }
    orv::HighlightingPatternList highlightingPatterns() const override { return m_highlightingPatterns; }

private:
    icu::UnicodeString m_id;
    icu::UnicodeString m_name;
    ProgrammingLanguageExtension m_extensions;
    orv::HighlightingPatternList m_highlightingPatterns;
};

/// "c", "C": files "c" and "h".
class CProgrammingLanguage final : public ProgrammingLanguageRecord {
public:
    using ProgrammingLanguageRecord::ProgrammingLanguageRecord;
    CProgrammingLanguage();
};

/// "csharp", "C#": files "cs".
class CSharpProgrammingLangauge final : public ProgrammingLanguageRecord {
public:
    using ProgrammingLanguageRecord::ProgrammingLanguageRecord;
    CSharpProgrammingLangauge();
};

/// "cpp", "C++": files "cpp" and "h".
class CppProgrammingLangauge final : public ProgrammingLanguageRecord {
public:
    using ProgrammingLanguageRecord::ProgrammingLanguageRecord;
    CppProgrammingLangauge();
};

/// "swift", "Swift": source files and the project files it shares with Objective C.
class SwiftProgrammingLangauge final : public ProgrammingLanguageRecord {
public:
    using ProgrammingLanguageRecord::ProgrammingLanguageRecord;
    SwiftProgrammingLangauge();
};

/// "objc", "Objective C": "m", "h" and the project files it shares with Swift.
class ObjectiveCProgrammingLangauge final : public ProgrammingLanguageRecord {
public:
    using ProgrammingLanguageRecord::ProgrammingLanguageRecord;
    ObjectiveCProgrammingLangauge();
};

/// "java", "Java".
class JavaProgrammingLangauge final : public ProgrammingLanguageRecord {
public:
    using ProgrammingLanguageRecord::ProgrammingLanguageRecord;
    JavaProgrammingLangauge();
};

/// "php", "PHP".
class PhpProgrammingLangauge final : public ProgrammingLanguageRecord {
public:
    using ProgrammingLanguageRecord::ProgrammingLanguageRecord;
    PhpProgrammingLangauge();
};

/// "ruby", "Ruby": files "rb" and "ruby".
class RubyProgrammingLangauge final : public ProgrammingLanguageRecord {
public:
    using ProgrammingLanguageRecord::ProgrammingLanguageRecord;
    RubyProgrammingLangauge();
};

/// "python", "Python": files "py".
class PythonProgrammingLangauge final : public ProgrammingLanguageRecord {
public:
    using ProgrammingLanguageRecord::ProgrammingLanguageRecord;
    PythonProgrammingLangauge();
};

/// "html", "HTML"; no highlighting of its own.
class HtmlProgrammingLangauge final : public ProgrammingLanguageRecord {
public:
    using ProgrammingLanguageRecord::ProgrammingLanguageRecord;
    HtmlProgrammingLangauge();
};

/// "css", "CSS": files "css", "less" and "html"; no highlighting of its own.
class CssProgrammingLangauge final : public ProgrammingLanguageRecord {
public:
    using ProgrammingLanguageRecord::ProgrammingLanguageRecord;
    CssProgrammingLangauge();
};

/// "js", "JavaScript": files "js" and "html".
class JavaScriptProgrammingLangauge final : public ProgrammingLanguageRecord {
public:
    using ProgrammingLanguageRecord::ProgrammingLanguageRecord;
    JavaScriptProgrammingLangauge();
};

/// "json", "JSON"; strings only.
class JsonProgrammingLangauge final : public ProgrammingLanguageRecord {
public:
    using ProgrammingLanguageRecord::ProgrammingLanguageRecord;
    JsonProgrammingLangauge();
};

/// "xml", "XML"; strings only.
class XmlProgrammingLangauge final : public ProgrammingLanguageRecord {
public:
    using ProgrammingLanguageRecord::ProgrammingLanguageRecord;
    XmlProgrammingLangauge();
};

/// "bash", "Bash": files "sh"; strings only.
class BashProgrammingLangauge final : public ProgrammingLanguageRecord {
public:
    using ProgrammingLanguageRecord::ProgrammingLanguageRecord;
    BashProgrammingLangauge();
};

/// "go", "Go"; keywords only.
class GoProgrammingLangauge final : public ProgrammingLanguageRecord {
public:
    using ProgrammingLanguageRecord::ProgrammingLanguageRecord;
    GoProgrammingLangauge();
};

/// "elixir", "Elixir": files "ex"; keywords only.
class ElixirProgrammingLangauge final : public ProgrammingLanguageRecord {
public:
    using ProgrammingLanguageRecord::ProgrammingLanguageRecord;
    ElixirProgrammingLangauge();
};

} // namespace quillet
