#include "languages/KeywordsHighlightingPattern.h"

#include "languages/HighlightingHelpers.h"

#include <unicode/uniset.h>
#include <unicode/utypes.h>

#include <utility>

namespace quillet {
namespace {

// The characters ICU's regular expressions count as \w, so that the decision below agrees
// with how "\b" is evaluated when the pattern runs.
const icu::UnicodeSet& wordCharacters()
{
    static const icu::UnicodeSet set = [] {
        UErrorCode status = U_ZERO_ERROR;
        icu::UnicodeSet built(icu::UnicodeString(u"[\\p{Alphabetic}\\p{M}\\p{Nd}\\p{Pc}\\u200c\\u200d]"), status);
        if (U_FAILURE(status)) {
            // Without ICU's property data the ASCII word characters still decide every keyword
            // the languages carry.
            built = icu::UnicodeSet(u'0', u'9');
            built.add(u'A', u'Z').add(u'a', u'z').add(u'_');
        }
        built.freeze();
        return built;
    }();
    return set;
}

bool startsWithNonWordCharacter(const icu::UnicodeString& keyword)
{
    return !keyword.isEmpty() && !wordCharacters().contains(keyword.char32At(0));
}

} // namespace

KeywordsHighlightingPattern::KeywordsHighlightingPattern(std::vector<icu::UnicodeString> keywords)
    : m_keywords(std::move(keywords))
{
}

std::u16string KeywordsHighlightingPattern::pattern() const
{
    icu::UnicodeString expression;
    for (std::size_t i = 0; i < m_keywords.size(); ++i) {
        if (i > 0)
            expression += u'|';
        // A "\b" before "#" or "@" would demand a word character right before the keyword,
        // so "#if" at a line start or after a blank could never be found.
        if (!startsWithNonWordCharacter(m_keywords[i]))
            expression += u"\\b";
        expression += u'(';
        icu::UnicodeString escaped(m_keywords[i]);
        escaped.findAndReplace(u"#", u"\\#");
        expression += escaped;
        expression += u")\\b";
    }
    return detail::toU16String(expression);
}

orv::TextFormatPtr KeywordsHighlightingPattern::format() const
{
    auto format = std::make_shared<orv::TextFormat>();
    format->isBold = true;
    return format;
}

CKeywordsHighlightingPattern::CKeywordsHighlightingPattern()
    : KeywordsHighlightingPattern({ u"auto", u"break", u"case", u"char", u"const", u"continue", u"default", u"do",
        u"double", u"else", u"enum", u"extern", u"float", u"for", u"goto", u"if", u"int", u"long", u"register",
        u"return", u"short", u"signed", u"sizeof", u"static", u"struct", u"switch", u"typedef", u"union", u"unsigned",
        u"void", u"volatile", u"while" })
{
}

CSharpKeywordsHighlightingPattern::CSharpKeywordsHighlightingPattern()
    : KeywordsHighlightingPattern({ u"abstract", u"as", u"base", u"bool", u"break", u"byte", u"case", u"catch", u"char",
        u"checked", u"class", u"const", u"continue", u"decimal", u"default", u"delegate", u"do", u"double", u"else",
        u"enum", u"event", u"explicit", u"extern", u"false", u"finally", u"fixed", u"float", u"for", u"foreach",
        u"goto", u"if", u"implicit", u"in", u"in", u"int", u"interface", u"internal", u"is", u"lock", u"long",
        u"namespace", u"new", u"null", u"object", u"operator", u"out", u"out", u"override", u"params", u"private",
        u"protected", u"public", u"readonly", u"ref", u"return", u"sbyte", u"sealed", u"short", u"sizeof",
        u"stackalloc", u"static", u"string", u"struct", u"switch", u"this", u"throw", u"true", u"try", u"typeof",
        u"uint", u"ulong", u"unchecked", u"unsafe", u"ushort", u"using", u"using", u"static", u"virtual", u"void",
        u"volatile", u"while" })
{
}

CppKeywordsHighlightingPattern::CppKeywordsHighlightingPattern()
    : KeywordsHighlightingPattern(
        { u"alignas", u"alignof", u"and", u"and_eq", u"asm", u"atomic_cancel", u"atomic_commit", u"atomic_noexcept",
            u"auto", u"bitand", u"bitor", u"bool", u"break", u"case", u"catch", u"char", u"char16_t", u"char32_t",
            u"class", u"compl", u"concept", u"const", u"constexpr", u"const_cast", u"continue", u"decltype", u"default",
            u"delete", u"do", u"double", u"dynamic_cast", u"else", u"enum", u"explicit", u"export", u"extern", u"false",
            u"float", u"for", u"friend", u"goto", u"if", u"import", u"inline", u"int", u"long", u"module", u"mutable",
            u"namespace", u"new", u"noexcept", u"not", u"not_eq", u"nullptr", u"operator", u"or", u"or_eq", u"private",
            u"protected", u"public", u"register", u"reinterpret_cast", u"requires", u"return", u"short", u"signed",
            u"sizeof", u"static", u"static_assert", u"static_cast", u"struct", u"switch", u"synchronized", u"template",
            u"this", u"thread_local", u"throw", u"true", u"try", u"typedef", u"typeid", u"typename", u"union",
            u"unsigned", u"using", u"virtual", u"void", u"volatile", u"wchar_t", u"while", u"xor", u"xor_eq" })
{
}

SwiftKeywordsHighlightingPattern::SwiftKeywordsHighlightingPattern()
    : KeywordsHighlightingPattern({ u"associatedtype", u"class", u"deinit", u"enum", u"extension", u"fileprivate",
        u"func", u"import", u"init", u"inout", u"internal", u"let", u"open", u"operator", u"private", u"protocol",
        u"public", u"static", u"struct", u"subscript", u"typealias", u"var", u"break", u"case", u"continue", u"default",
        u"defer", u"do", u"else", u"fallthrough", u"for", u"guard", u"if", u"in", u"repeat", u"return", u"switch",
        u"where", u"while", u"as", u"Any", u"catch", u"false", u"is", u"nil", u"rethrows", u"super", u"self", u"Self",
        u"throw", u"throws", u"true", u"try", u"#available", u"#colorLiteral", u"#column", u"#else", u"#elseif",
        u"#endif", u"#file", u"#fileLiteral", u"#function", u"#if", u"#imageLiteral", u"#line", u"#selector",
        u"#sourceLocation", u"associativity", u"convenience", u"dynamic", u"didSet", u"final", u"get", u"infix",
        u"indirect", u"lazy", u"left", u"mutating", u"none", u"nonmutating", u"optional", u"override", u"postfix",
        u"precedence", u"prefix", u"Protocol", u"required", u"right", u"set", u"Type", u"unowned", u"weak", u"willSet",
        u"@IBOutlet", u"@IBAction", u"@IBDesignable", u"@IBInspectable" })
{
}

ObjectiveCKeywordsHighlightingPattern::ObjectiveCKeywordsHighlightingPattern()
    : KeywordsHighlightingPattern({ u"auto", u"else", u"long", u"switch", u"break", u"enum", u"register", u"typedef",
        u"case", u"extern", u"return", u"union", u"char", u"float", u"short", u"unsigned", u"const", u"for", u"signed",
        u"void", u"continue", u"goto", u"sizeof", u"volatile", u"default", u"if", u"static", u"while", u"do", u"int",
        u"struct", u"_Packed", u"double", u"@protocol", u"@interface", u"@implementation", u"NSObject", u"NSInteger",
        u"NSNumber", u"CGFloat", u"@property", u"nonatomic", u"retain", u"strong", u"weak", u"unsafe_unretained",
        u"readwrite", u"readonly", u"@IBOutlet", u"@IBAction", u"@IBDesignable", u"@IBInspectable" })
{
}

JavaKeywordsHighlightingPattern::JavaKeywordsHighlightingPattern()
    : KeywordsHighlightingPattern({ u"abstract", u"continue", u"for", u"new", u"switch", u"assert", u"default", u"goto",
        u"package", u"synchronized", u"boolean", u"do", u"if", u"private", u"this", u"break", u"double", u"implements",
        u"protected", u"throw", u"byte", u"else", u"import", u"public", u"throws", u"case", u"enum", u"instanceof",
        u"return", u"transient", u"catch", u"extends", u"int", u"short", u"try", u"char", u"final", u"interface",
        u"static", u"void", u"class", u"finally", u"long", u"strictfp", u"volatile", u"const", u"float", u"native",
        u"super", u"while" })
{
}

PHPKeywordsHighlightingPattern::PHPKeywordsHighlightingPattern()
    : KeywordsHighlightingPattern({ u"__halt_compiler()", u"abstract", u"and", u"array()", u"as", u"break", u"callable",
        u"case", u"catch", u"class", u"clone", u"const", u"continue", u"declare", u"default", u"die()", u"do", u"echo",
        u"else", u"elseif", u"empty()", u"enddeclare", u"endfor", u"endforeach", u"endif", u"endswitch", u"endwhile",
        u"eval()", u"exit()", u"extends", u"final", u"finally", u"for", u"foreach", u"function", u"global", u"goto",
        u"if", u"implements", u"include", u"include_once", u"instanceof", u"insteadof", u"interface", u"isset()",
        u"list()", u"namespace", u"new", u"or", u"print", u"private", u"protected", u"public", u"require",
        u"require_once", u"return", u"static", u"switch", u"throw", u"trait", u"try", u"unset()", u"use", u"var",
        u"while", u"xor", u"yield" })
{
}

RubyKeywordsHighlightingPattern::RubyKeywordsHighlightingPattern()
    : KeywordsHighlightingPattern({ u"__ENCODING__", u"__LINE__", u"__FILE__", u"BEGIN", u"END", u"alias", u"and",
        u"begin", u"break", u"case", u"class", u"def", u"defined?", u"do", u"else", u"elsif", u"end", u"ensure",
        u"false", u"for", u"if", u"in", u"module", u"next", u"nil", u"not", u"or", u"redo", u"rescue", u"retry",
        u"return", u"self", u"super", u"then", u"true", u"undef", u"unless", u"until", u"when", u"while", u"yield" })
{
}

PythonKeywordsHighlightingPattern::PythonKeywordsHighlightingPattern()
    : KeywordsHighlightingPattern(
        { u"False", u"class", u"finally", u"is", u"return", u"None", u"continue", u"for", u"lambda", u"try", u"True",
            u"def", u"from", u"nonlocal", u"while", u"and", u"del", u"global", u"not", u"with", u"as", u"elif", u"if",
            u"or", u"yield", u"assert", u"else", u"import", u"pass", u"break", u"except", u"in", u"raise" })
{
}

JavaScriptKeywordsHighlightingPattern::JavaScriptKeywordsHighlightingPattern()
    : KeywordsHighlightingPattern({ u"abstract", u"arguments", u"await", u"boolean", u"break", u"byte", u"case",
        u"catch", u"char", u"class", u"const", u"continue", u"debugger", u"default", u"delete", u"do", u"double",
        u"else", u"enum", u"eval", u"export", u"extends", u"false", u"final", u"finally", u"float", u"for", u"function",
        u"goto", u"if", u"implements", u"import", u"in", u"instanceof", u"int", u"interface", u"let", u"long",
        u"native", u"new", u"null", u"package", u"private", u"protected", u"public", u"return", u"short", u"static",
        u"super", u"switch", u"synchronized", u"this", u"throw", u"throws", u"transient", u"true", u"try", u"typeof",
        u"var", u"void", u"volatile", u"while", u"with", u"yield" })
{
}

GoKeywordsHighlightingPattern::GoKeywordsHighlightingPattern()
    : KeywordsHighlightingPattern({ u"break", u"default", u"func", u"interface", u"select", u"case", u"defer", u"go",
        u"map", u"struct", u"chan", u"else", u"goto", u"package", u"switch", u"const", u"fallthrough", u"if", u"range",
        u"type", u"continue", u"for", u"import", u"return", u"var" })
{
}

ElixirKeywordsHighlightingPattern::ElixirKeywordsHighlightingPattern()
    : KeywordsHighlightingPattern({ u"true", u"false", u"nil", u"when", u"and", u"or", u"not", u"in", u"fn", u"do",
        u"end", u"catch", u"rescue", u"after", u"else" })
{
}

} // namespace quillet
