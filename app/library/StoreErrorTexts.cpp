#include "library/StoreErrorTexts.h"

#include "library/BundleStore.h"
#include "library/JSONSerializableStore.h"
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

// The texts name the bounds.
static_assert(BundleStore::largestBundleFileSize == 16LL * 1024 * 1024);
static_assert(detail::largestLibraryFileSize == 64LL * 1024 * 1024);

icu::UnicodeString StoreErrorTexts::libraryFileTooLarge()
{
    return localized(u"It is larger than 64 MB, more than any library of expanders holds; it was left as it is.",
        "Library file too large");
}

icu::UnicodeString StoreErrorTexts::libraryWouldBeTooLarge()
{
    return localized(u"The library would be larger than 64 MB, more than Quillet reads back, so nothing was written. "
                     u"Delete a large bundle to save it again: until then your changes are only in Quillet, and are "
                     u"lost if it ends first.",
        "Library too large to write");
}

} // namespace quillet
