#include "library/DictionaryReader.h"

#include "text/UnicodeConversion.h"

namespace quillet {

const char* DictionaryError::what() const noexcept
{
    return "The operation couldn\u2019t be completed. (DictionaryError error 0.)";
}

namespace {

const JSONDictionary& entry(const JSONDictionary& dictionary, std::string_view key)
{
    if (!dictionary.is_object())
        throw DictionaryError();
    auto found = dictionary.find(key);
    if (found == dictionary.end())
        throw DictionaryError();
    return *found;
}

icu::UnicodeString unicode(const JSONDictionary& string)
{
    return fromUtf8(string.get_ref<const JSONDictionary::string_t&>());
}

} // namespace

template <>
icu::UnicodeString value<icu::UnicodeString>(const JSONDictionary& dictionary, std::string_view key)
{
    const auto& found = entry(dictionary, key);
    if (!found.is_string())
        throw DictionaryError();
    return unicode(found);
}

template <>
bool value<bool>(const JSONDictionary& dictionary, std::string_view key)
{
    const auto& found = entry(dictionary, key);
    if (!found.is_boolean())
        throw DictionaryError();
    return found.get<bool>();
}

template <>
std::vector<icu::UnicodeString> value<std::vector<icu::UnicodeString>>(const JSONDictionary& dictionary,
                                                                       std::string_view key)
{
    const auto& found = entry(dictionary, key);
    if (!found.is_array())
        throw DictionaryError();
    std::vector<icu::UnicodeString> result;
    result.reserve(found.size());
    for (const auto& element : found) {
        if (!element.is_string())
            throw DictionaryError();
        result.push_back(unicode(element));
    }
    return result;
}

template <>
DictionaryArray value<DictionaryArray>(const JSONDictionary& dictionary, std::string_view key)
{
    const auto& found = entry(dictionary, key);
    if (!found.is_array())
        throw DictionaryError();
    DictionaryArray result;
    result.reserve(found.size());
    for (const auto& element : found) {
        if (!element.is_object())
            throw DictionaryError();
        result.emplace_back(element);
    }
    return result;
}

} // namespace quillet
