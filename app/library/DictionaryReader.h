#pragma once

#include <nlohmann/json.hpp>
#include <unicode/unistr.h>

#include <exception>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace quillet {

/// A JSON object of the library file, a bundle file or one of their nested objects.
/// Members keep the order in which they were written, so saved files read naturally
/// ("name" before "expanders").
using JSONDictionary = nlohmann::ordered_json;

/// A typed read of a dictionary found no value of the wanted type under the key.
///
/// It carries neither the key nor the type: a caller with a default catches it, a caller
/// that needs the key lets it pass (and says itself what could not be read).
class DictionaryError final : public std::exception {
public:
    enum class Case { valueWithKeyAndTypeNotFound };

    explicit DictionaryError(Case kind = Case::valueWithKeyAndTypeNotFound) noexcept
        : m_case(kind)
    {
    }

    Case kind() const noexcept { return m_case; }
    /// The generic sentence of an error without a description of its own.
    const char* what() const noexcept override;

    bool operator==(const DictionaryError& other) const noexcept { return m_case == other.m_case; }

private:
    Case m_case;
};

/// The JSON objects of an array, in order; they point into the dictionary that was read.
using DictionaryArray = std::vector<std::reference_wrapper<const JSONDictionary>>;

/// The value of the wanted type under the key (exact, case-sensitive key).
///
/// Supported types: icu::UnicodeString (a JSON string), bool (true or false),
/// std::vector<icu::UnicodeString> (an array of strings only) and DictionaryArray (an array
/// of objects only). There is no conversion: a number is not a string, null matches
/// nothing, and one element of another type fails the whole array. Throws DictionaryError
/// for a missing key, a non-object dictionary and a value of another type alike.
template <typename T> T value(const JSONDictionary& dictionary, std::string_view key);

template <> icu::UnicodeString value<icu::UnicodeString>(const JSONDictionary& dictionary, std::string_view key);
template <> bool value<bool>(const JSONDictionary& dictionary, std::string_view key);
template <>
std::vector<icu::UnicodeString> value<std::vector<icu::UnicodeString>>(
    const JSONDictionary& dictionary, std::string_view key);
template <> DictionaryArray value<DictionaryArray>(const JSONDictionary& dictionary, std::string_view key);

/// The value of the wanted type under the key, or the fallback where value<T> would throw.
template <typename T> T valueOr(const JSONDictionary& dictionary, std::string_view key, T fallback)
{
    try {
        return value<T>(dictionary, key);
    } catch (const DictionaryError&) {
        return fallback;
    }
}

/// Why value<T> fails for the key, for a message that names the key ("“pattern” is missing",
/// "“pattern” is not a text"); none when it succeeds. DictionaryError itself stays silent.
template <typename T>
std::optional<icu::UnicodeString> valueFault(const JSONDictionary& dictionary, std::string_view key);

} // namespace quillet
