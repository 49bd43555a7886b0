#include "library/StoreErrorTexts.h"

#include "text/Localized.h"

namespace quillet {

icu::UnicodeString StoreErrorTexts::fileCouldNotBeRead()
{
    return localized(u"File could not be read", "JSON Serializable Store error");
}

icu::UnicodeString StoreErrorTexts::jsonReadingError()
{
    return localized(u"JSON reading error", "JSON Serializable Store error");
}

icu::UnicodeString StoreErrorTexts::invalidFormat()
{
    return localized(u"Parsing file has an invalid format.", "JSON Serializable Store parsing error");
}

icu::UnicodeString StoreErrorTexts::fileCouldNotBeWritten()
{
    return localized(u"File could not be written", "JSON Serializable Store error");
}

icu::UnicodeString StoreErrorTexts::fileCouldNotBeSaved()
{
    return localized(u"File could not be saved", "File could not be save");
}

icu::UnicodeString StoreErrorTexts::bundleFileTooLarge()
{
    return localized(
        u"It is larger than 16 MB, more than any bundle of expanders holds.", "Bundle import file too large");
}

icu::UnicodeString StoreErrorTexts::libraryFileTooLarge()
{
    return localized(u"It is larger than 512 MB, more than any library of expanders holds; it was left as it is.",
        "Library file too large");
}

} // namespace quillet
