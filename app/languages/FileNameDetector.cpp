#include "languages/FileNameDetector.h"

#include <unicode/regex.h>
#include <unicode/uchar.h>

#include <exception>
#include <memory>

namespace quillet {
namespace {

// Titles come from other applications; a bound on matching keeps a pathological title from
// stalling the expansion (ICU counts the limit in steps of roughly a millisecond).
constexpr int32_t matchTimeLimit = 200;

std::optional<icu::UnicodeString> readTitle(FocusedTitleSource& source, bool ofWindow)
{
    try {
        return ofWindow ? source.focusedWindowTitle() : source.focusedElementTitle();
    } catch (const std::exception&) {
        // A failed read is an ordinary outcome here: the title is simply unknown.
        return std::nullopt;
    }
}

// Null when ICU cannot compile it (its data missing or broken): then no title names a file.
const icu::RegexPattern* dottedNamePattern()
{
    static const std::unique_ptr<icu::RegexPattern> pattern = []() -> std::unique_ptr<icu::RegexPattern> {
        UErrorCode status = U_ZERO_ERROR;
        UParseError parseError;
        std::unique_ptr<icu::RegexPattern> compiled(
            icu::RegexPattern::compile(icu::UnicodeString(u"\\w+(?:\\.\\w+)+(?![\\w/])"), 0, parseError, status));
        if (U_FAILURE(status))
            return nullptr;
        return compiled;
    }();
    return pattern.get();
}

// The first dotted name in the title that is not a folder of a path ("site.v2" in
// "/home/me/site.v2/index.php" names a folder), or none.
std::optional<icu::UnicodeString> firstDottedName(const icu::UnicodeString& title)
{
    const icu::RegexPattern* pattern = dottedNamePattern();
    if (!pattern)
        return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(title, status));
    if (U_FAILURE(status))
        return std::nullopt;
    matcher->setTimeLimit(matchTimeLimit, status);
    if (U_FAILURE(status) || !matcher->find(status) || U_FAILURE(status))
        return std::nullopt;
    const icu::UnicodeString name = matcher->group(status);
    if (U_FAILURE(status))
        return std::nullopt;
    return name;
}

icu::UnicodeString pathExtension(const icu::UnicodeString& path)
{
    int32_t end = path.length();
    while (end > 1 && path[end - 1] == u'/')
        --end;
    const int32_t componentStart = path.lastIndexOf(u'/', 0, end) + 1;
    const int32_t dot = path.lastIndexOf(u'.', componentStart, end - componentStart);
    // A leading dot marks a hidden file, not an extension.
    if (dot <= componentStart)
        return {};
    return icu::UnicodeString(path, dot + 1, end - dot - 1);
}

} // namespace

FileNameDetector::FileNameDetector()
    : FileNameDetector(*FocusedTitleSource::shared())
{
}

FileNameDetector::FileNameDetector(FocusedTitleSource& source)
    : m_fileName(readTitle(source, false))
{
    if (!m_fileName)
        m_fileName = readTitle(source, true);
}

bool namesAFile(const icu::UnicodeString& title)
{
    int32_t end = title.length();
    while (end > 0 && u_isUWhiteSpace(title.char32At(end - 1)))
        end = title.moveIndex32(end, -1);
    int32_t start = end;
    while (start > 0 && !u_isUWhiteSpace(title.char32At(start - 1)))
        start = title.moveIndex32(start, -1);
    return !pathExtension(icu::UnicodeString(title, start, end - start)).isEmpty();
}

icu::UnicodeString extensionOfFileName(const std::optional<icu::UnicodeString>& fileName)
{
    const icu::UnicodeString title = fileName.value_or(icu::UnicodeString());
    return pathExtension(firstDottedName(title).value_or(title));
}

} // namespace quillet
