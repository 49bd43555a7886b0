#include "library/DictionaryReader.h"

#include "text/Localized.h"
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

template <> icu::UnicodeString value<icu::UnicodeString>(const JSONDictionary& dictionary, std::string_view key)
{
    const auto& found = entry(dictionary, key);
    if (!found.is_string())
        throw DictionaryError();
    return unicode(found);
}

template <> bool value<bool>(const JSONDictionary& dictionary, std::string_view key)
{
    const auto& found = entry(dictionary, key);
    if (!found.is_boolean())
        throw DictionaryError();
    return found.get<bool>();
}

template <>
std::vector<icu::UnicodeString> value<std::vector<icu::UnicodeString>>(
    const JSONDictionary& dictionary, std::string_view key)
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

template <> DictionaryArray value<DictionaryArray>(const JSONDictionary& dictionary, std::string_view key)
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

namespace {

icu::UnicodeString quotedKey(std::string_view key)
{
    return icu::UnicodeString(u"\u201C").append(fromUtf8(std::string(key))).append(u"\u201D");
}

template <typename T>
std::optional<icu::UnicodeString> fault(
    const JSONDictionary& dictionary, std::string_view key, const char16_t* notOfType)
{
    try {
        value<T>(dictionary, key);
        return std::nullopt;
    } catch (const DictionaryError&) {
    }
    if (!dictionary.is_object() || !dictionary.contains(key))
        return quotedKey(key).append(localized(u" is missing", "Dictionary key missing"));
    return quotedKey(key).append(localized(notOfType, "Dictionary value of another type"));
}

} // namespace

template <>
std::optional<icu::UnicodeString> valueFault<icu::UnicodeString>(const JSONDictionary& dictionary, std::string_view key)
{
    return fault<icu::UnicodeString>(dictionary, key, u" is not a text");
}

template <> std::optional<icu::UnicodeString> valueFault<bool>(const JSONDictionary& dictionary, std::string_view key)
{
    return fault<bool>(dictionary, key, u" is not true or false");
}

template <>
std::optional<icu::UnicodeString> valueFault<std::vector<icu::UnicodeString>>(
    const JSONDictionary& dictionary, std::string_view key)
{
    return fault<std::vector<icu::UnicodeString>>(dictionary, key, u" is not a list of texts");
}

template <>
std::optional<icu::UnicodeString> valueFault<DictionaryArray>(const JSONDictionary& dictionary, std::string_view key)
{
    return fault<DictionaryArray>(dictionary, key, u" is not a list of objects");
}

} // namespace quillet
