#include "expansion/FilterStore.h"

#include "expansion/NoFilterError.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace quillet {
namespace {

TEST(FilterStore, ListsTheElevenFiltersByDisplayNameUpperCaseFirst)
{
    std::vector<icu::UnicodeString> names;
    for (const Filter* filter : FilterStore::shared().allFilters())
        names.push_back(filter->name());
    const std::vector<icu::UnicodeString> expected
        = { u"Camel case", u"Capitalize", u"Lowercase", u"MD5", u"Make first letter lower case",
              u"Make first letter upper case", u"Pascal Case", u"Remove spaces", u"SHA1", u"Snake case", u"Uppercase" };
    EXPECT_EQ(names, expected);
}

TEST(FilterStore, FindsAFilterByItsExactKeyword)
{
    EXPECT_EQ(FilterStore::shared().filter(u"snakecase").name(), u"Snake case");
    EXPECT_EQ(&FilterStore::shared().filter(u"md5"), &FilterStore::shared().filter(u"md5"))
        << "the registry hands out its shared instances";
}

class UnknownKeyword : public testing::TestWithParam<const char16_t*> { };

TEST_P(UnknownKeyword, ThrowsNoFilterErrorNamingTheKeyword)
{
    const icu::UnicodeString keyword(GetParam());
    try {
        FilterStore::shared().filter(keyword);
        FAIL() << "no error for " << toUtf8(keyword);
    } catch (const NoFilterError& error) {
        EXPECT_EQ(error.userErrorTitle(), u"No filter found");
        EXPECT_EQ(error.userErrorDescription(), u"\"" + keyword + u"\" filter had not been found.");
        EXPECT_EQ(error.validationText(), error.userErrorDescription());
        EXPECT_EQ(error.expander(), nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Keywords, UnknownKeyword, testing::Values(u"SnakeCase", u"snake_case", u" snakecase", u"", u"Uppercase"));

TEST(FilterStore, SharedRegistryIsBuiltOnceAcrossThreads)
{
    const FilterStore* seen[4] = {};
    std::vector<std::thread> threads;
    for (auto& slot : seen)
        threads.emplace_back([&slot] { slot = &FilterStore::shared(); });
    for (auto& thread : threads)
        thread.join();
    for (const auto* store : seen)
        EXPECT_EQ(store, &FilterStore::shared());
}

TEST(FilterStore, KeywordsAreWordCharactersOnlySoPlaceholdersCanNameThem)
{
    for (const Filter* filter : FilterStore::shared().allFilters()) {
        const auto id = filter->id();
        for (int32_t i = 0; i < id.length(); ++i) {
            const char16_t c = id.charAt(i);
            EXPECT_TRUE((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_') << toUtf8(id);
        }
    }
}

} // namespace
} // namespace quillet
