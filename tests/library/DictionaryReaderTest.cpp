#include "library/DictionaryReader.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

using Strings = std::vector<icu::UnicodeString>;

const JSONDictionary sample = JSONDictionary::parse(R"({
    "text": "héllo", "empty": "", "number": 3, "null": null, "flag": false, "one": 1,
    "strings": ["a", "b"], "noStrings": [], "mixedStrings": ["a", 1],
    "objects": [{"x": 1}, {}], "mixedObjects": [{"x": 1}, "y"]
})");

TEST(DictionaryReader, StringReaderAcceptsOnlyStrings)
{
    EXPECT_EQ(value<icu::UnicodeString>(sample, "text"), u16(u"héllo"));
    EXPECT_EQ(value<icu::UnicodeString>(sample, "empty"), u16(u""));
    EXPECT_THROW(value<icu::UnicodeString>(sample, "number"), DictionaryError);
    EXPECT_THROW(value<icu::UnicodeString>(sample, "null"), DictionaryError);
    EXPECT_THROW(value<icu::UnicodeString>(sample, "Text"), DictionaryError);
}

TEST(DictionaryReader, BooleanReaderAcceptsOnlyTrueAndFalse)
{
    EXPECT_FALSE(value<bool>(sample, "flag"));
    EXPECT_THROW(value<bool>(sample, "one"), DictionaryError);
    EXPECT_THROW(value<bool>(sample, "text"), DictionaryError);
}

TEST(DictionaryReader, ArrayReadersFailOnOneElementOfAnotherType)
{
    EXPECT_EQ(value<Strings>(sample, "strings"), (Strings { u16(u"a"), u16(u"b") }));
    EXPECT_TRUE(value<Strings>(sample, "noStrings").empty());
    EXPECT_THROW(value<Strings>(sample, "mixedStrings"), DictionaryError);
    EXPECT_THROW(value<Strings>(sample, "text"), DictionaryError);

    auto objects = value<DictionaryArray>(sample, "objects");
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0].get()["x"], 1);
    EXPECT_TRUE(value<DictionaryArray>(sample, "noStrings").empty());
    EXPECT_THROW(value<DictionaryArray>(sample, "mixedObjects"), DictionaryError);
    EXPECT_THROW(value<DictionaryArray>(sample, "strings"), DictionaryError);
}

TEST(DictionaryReader, EmptyAndNonObjectDictionariesFailForEveryKey)
{
    const JSONDictionary empty = JSONDictionary::object();
    EXPECT_THROW(value<icu::UnicodeString>(empty, "text"), DictionaryError);
    EXPECT_THROW(value<bool>(empty, "flag"), DictionaryError);
    EXPECT_THROW(value<Strings>(empty, "strings"), DictionaryError);
    EXPECT_THROW(value<DictionaryArray>(empty, "objects"), DictionaryError);
    EXPECT_THROW(value<icu::UnicodeString>(JSONDictionary::array({ "text" }), "text"), DictionaryError);
}

TEST(DictionaryReader, ErrorHasOneCaseAndAGenericText)
{
    EXPECT_EQ(DictionaryError(), DictionaryError(DictionaryError::Case::valueWithKeyAndTypeNotFound));
    EXPECT_NE(std::string(DictionaryError().what()).find("could"), std::string::npos);
}

} // namespace
} // namespace quillet
