#include "library/JSONSerializableStore.h"
#include "support/SyntheticLibrary.h"
#include "support/TestSupport.h"
#include "text/UserErrorDescriptionType.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

#include <stdexcept>
#include <string>

namespace quillet {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// A value that remembers the object it was read from and writes back what it holds.
struct Notes {
    explicit Notes(const JSONDictionary& dictionary)
        : content(dictionary)
    {
        if (dictionary.contains("reject"))
            throw std::invalid_argument("rejected");
    }
    JSONDictionary dictionary() const { return content; }
    JSONDictionary content;
};

template <typename Error> Error loadError(const std::filesystem::path& path)
{
    try {
        JSONSerializableStore<Notes> store(path);
    } catch (const Error& error) {
        return error;
    }
    ADD_FAILURE() << "loading did not fail with the expected error";
    throw std::logic_error("no error");
}

// Makes every write beyond the limit fail (also for root), like a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_previous);
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = m_previous;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_previousHandler);
    }

private:
    rlimit m_previous {};
    void (*m_previousHandler)(int) = nullptr;
};

TEST(JSONSerializableStore, MissingFileGivesAValueFromAnEmptyObjectAndWritesNothing)
{
    TempDir dir;
    JSONSerializableStore<Notes> store(dir.path() / "sub" / "notes.json");
    EXPECT_EQ(store.serializable().content, JSONDictionary::object());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "sub"));
}

// What the merge with another writer's file compares with: the value as loaded or last saved,
// not as it has been changed since.
TEST(JSONSerializableStore, SavedDictionaryIsTheLoadedOrSavedValueWhateverChangedSince)
{
    TempDir dir;
    writeFile(dir.path() / "notes.json", R"({"n": 1})");
    JSONSerializableStore<Notes> store(dir.path() / "notes.json");
    store.serializable().content["n"] = 2;
    EXPECT_EQ(store.savedDictionary(), JSONDictionary({ { "n", 1 } }));
    store.save();
    store.serializable().content["n"] = 3;
    EXPECT_EQ(store.savedDictionary(), JSONDictionary({ { "n", 2 } }));

    JSONSerializableStore<Notes> fresh(dir.path() / "fresh.json");
    fresh.serializable().content["n"] = 4;
    ASSERT_TRUE(fresh.saveIfAbsent());
    fresh.serializable().content["n"] = 5;
    EXPECT_EQ(fresh.savedDictionary(), JSONDictionary({ { "n", 4 } }));
}

TEST(JSONSerializableStore, LoadsTheTopLevelObject)
{
    TempDir dir;
    writeFile(dir.path() / "notes.json", R"({"bundles": [{"name": "A"}]})");
    JSONSerializableStore<Notes> store(dir.path() / "notes.json");
    EXPECT_EQ(store.serializable().content["bundles"][0]["name"], "A");
    EXPECT_EQ(store.path(), dir.path() / "notes.json");
}

TEST(JSONSerializableStore, TopLevelArrayFailsWithTheInvalidFormatTexts)
{
    TempDir dir;
    writeFile(dir.path() / "notes.json", "[]");
    auto error = loadError<CbError>(dir.path() / "notes.json");
    EXPECT_EQ(error.userErrorTitle(), u16(u"JSON reading error"));
    EXPECT_EQ(error.userErrorDescription(), u16(u"Parsing file has an invalid format."));
}

TEST(JSONSerializableStore, TextThatIsNotJSONFailsWithTheReadersOwnError)
{
    struct Case {
        const char* name;
        std::string content;
    };
    for (const auto& [name, content] :
        { Case { "garbage", "{nope" }, Case { "empty file", "" }, Case { "bad UTF-8", "{\"a\": \"\xff\"}" } }) {
        SCOPED_TRACE(name);
        TempDir dir;
        writeFile(dir.path() / "notes.json", content);
        auto error = loadError<PlatformError>(dir.path() / "notes.json");
        EXPECT_EQ(error.userErrorTitle(), u16(u"Error"));
        EXPECT_NE(toUtf8(error.userErrorDescription()).find("parse error"), std::string::npos);
    }
}

TEST(JSONSerializableStore, UnreadableFileFailsWithItsPath)
{
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "notes.json");
    auto error = loadError<CbError>(dir.path() / "notes.json");
    EXPECT_EQ(error.userErrorTitle(), u16(u"File could not be read"));
    EXPECT_EQ(error.userErrorDescription(), fromUtf8((dir.path() / "notes.json").string()));
}

TEST(JSONSerializableStore, PathBelowAFileFailsAsUnreadableInsteadOfLookingLikeAFirstRun)
{
    TempDir dir;
    writeFile(dir.path() / "plain", "x");
    auto error = loadError<CbError>(dir.path() / "plain" / "notes.json");
    EXPECT_EQ(error.userErrorTitle(), u16(u"File could not be read"));
}

TEST(JSONSerializableStore, ALinkToAMissingFileFailsToLoadAndTheLinkStays)
{
    TempDir dir;
    const auto link = dir.path() / "notes.json";
    std::filesystem::create_symlink(dir.path() / "unmounted" / "notes.json", link);

    auto error = loadError<CbError>(link);

    EXPECT_EQ(error.userErrorTitle(), u16(u"File could not be read"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
}

TEST(JSONSerializableStore, SavingThroughALinkWritesTheLinkedFileAndKeepsTheLink)
{
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "synced");
    const auto target = dir.path() / "synced" / "notes.json";
    const auto link = dir.path() / "notes.json";
    writeFile(target, R"({"bundles": []})");
    std::filesystem::create_symlink(target, link);

    JSONSerializableStore<Notes> store(link);
    store.serializable().content["bundles"] = JSONDictionary::array({ JSONDictionary { { "name", "Saved" } } });
    store.save();

    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(JSONDictionary::parse(readFile(target)), store.serializable().content);
}

TEST(JSONSerializableStore, ValueReaderErrorsPassThrough)
{
    TempDir dir;
    writeFile(dir.path() / "notes.json", R"({"reject": true})");
    EXPECT_THROW(JSONSerializableStore<Notes>(dir.path() / "notes.json"), std::invalid_argument);
}

TEST(JSONSerializableStore, SaveCreatesMissingFoldersAndWritesIndentedJSONThatReadsBack)
{
    TempDir dir;
    const auto path = dir.path() / "a" / "b" / "notes.json";
    JSONSerializableStore<Notes> store(path);
    store.serializable().content["bundles"] = JSONDictionary::array({ JSONDictionary { { "name", "Ünïcode" } } });
    store.save();

    const std::string written = readFile(path);
    EXPECT_NE(written.find("\n    \"bundles\""), std::string::npos) << written;
    EXPECT_EQ(JSONDictionary::parse(written), store.serializable().content);
    JSONSerializableStore<Notes> reloaded(path);
    EXPECT_EQ(reloaded.serializable().content, store.serializable().content);
    // Only the file itself is left in the folder: no temporary file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(path.parent_path()), {}), 1);
}

TEST(JSONSerializableStore, SaveFailureReportsThePath)
{
    TempDir dir;
    JSONSerializableStore<Notes> store(dir.path() / "plain" / "sub" / "notes.json");
    writeFile(dir.path() / "plain", "x"); // the folder cannot be created any more
    try {
        store.save();
        FAIL() << "saving below a plain file succeeded";
    } catch (const CbError& error) {
        EXPECT_EQ(error.userErrorTitle(), u16(u"File could not be written"));
        EXPECT_EQ(error.userErrorDescription(), fromUtf8((dir.path() / "plain" / "sub" / "notes.json").string()));
    }
}

TEST(JSONSerializableStore, WriteFailingHalfwayLeavesThePreviousFileWholeAndNoTemporaryFile)
{
    TempDir dir;
    const auto path = dir.path() / "notes.json";
    const std::string previous = R"({"bundles": []})";
    writeFile(path, previous);

    JSONSerializableStore<Notes> store(path);
    store.serializable().content["bundles"] = std::string(64 * 1024, 'x');
    {
        FileSizeLimit limit(4096);
        EXPECT_THROW(store.save(), CbError);
    }
    EXPECT_EQ(readFile(path), previous);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    store.save(); // the next save goes through
    EXPECT_EQ(JSONDictionary::parse(readFile(path)), store.serializable().content);
}

TEST(JSONSerializableStore, SaveKeepsThePermissionsOfTheReplacedFile)
{
    TempDir dir;
    const auto path = dir.path() / "notes.json";
    writeFile(path, "{}");
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    JSONSerializableStore<Notes> store(path);
    store.save();
    EXPECT_EQ(std::filesystem::status(path).permissions(),
        std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

struct ParseCase {
    const char* name;
    std::string bytes;
};
class ParsingJSONDictionary : public ::testing::TestWithParam<ParseCase> { };

// The library is read with its own builder; it must give what the JSON reader's own parse
// gives, key order and repeated keys included, and fail with the same description.
TEST_P(ParsingJSONDictionary, GivesWhatTheReadersParseGives)
{
    const std::string& bytes = GetParam().bytes;
    std::string expectedError;
    JSONDictionary expected;
    try {
        expected = JSONDictionary::parse(bytes);
    } catch (const JSONDictionary::exception& error) {
        expectedError = error.what();
    }
    std::string error;
    JSONDictionary parsed;
    try {
        parsed = detail::parseJSONDictionary(bytes);
    } catch (const JSONDictionary::exception& thrown) {
        error = thrown.what();
    }
    EXPECT_EQ(error, expectedError);
    EXPECT_EQ(parsed, expected);
    EXPECT_EQ(parsed.dump(), expected.dump()); // also the order of the keys
}

std::string manyKeys()
{
    std::string text = "{";
    for (int i = 0; i < 40; ++i)
        text += (i ? "," : "") + std::string("\"k") + std::to_string(39 - i) + "\": {\"v\": [" + std::to_string(i)
            + "]}";
    return text + "}";
}

/// Plain text is read eight bytes at a time: every kind of byte that ends a plain run, at every
/// place of a word after runs of every length, and indentation of every width.
std::string specialBytesAtEveryOffset()
{
    std::string text = "[";
    for (const std::string special : { "\\\"", "\\n", "\\u00e9", "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80" }) {
        for (std::size_t before = 0; before < 20; ++before) {
            text += std::string(before, ' ') + "\n" + std::string(before % 9, '\t') + "\"" + std::string(before, 'a')
                + special + std::string(20 - before, 'b') + "\",";
        }
    }
    return text + "\"\"]";
}

INSTANTIATE_TEST_SUITE_P(Texts, ParsingJSONDictionary,
    ::testing::Values(ParseCase { "SyntheticLibrary", test::syntheticLibrary(3, 9).dump(4) },
        ParseCase { "SpecialBytesAtEveryOffset", specialBytesAtEveryOffset() },
        ParseCase { "ControlCharacterAfterALongRun", "[\"abcdefghijk\x01lmnopqrstuvw\"]" },
        ParseCase { "InvalidUTF8AfterALongRun", "[\"abcdefghijk\xfflmnopqrstuvw\"]" },
        ParseCase { "UnclosedAfterALongRun", "[\"abcdefghijklmnopqrstuvw" },
        ParseCase { "ManyKeysGrowTheObject", manyKeys() },
        ParseCase { "RepeatedKeyKeepsItsPlaceAndTakesTheLastValue", R"({"b": 1, "a": [2], "b": {"c": 3}})" },
        ParseCase { "EveryKindOfValue", R"([null, true, false, -1, 18446744073709551615, 2.5e3, "t\u00e9", {}, []])" },
        ParseCase { "NestedArraysAndObjects", R"({"x": [[{"y": [{}]}], {"z": null}]})" }, ParseCase { "Scalar", "42" },
        ParseCase { "Empty", "" }, ParseCase { "TrailingText", "{} x" },
        ParseCase { "UnclosedObject", R"({"a": [1, 2)" }, ParseCase { "BadLiteral", R"({"a": tru})" },
        ParseCase { "InvalidUTF8", "{\"a\": \"\xff\"}" },
        ParseCase { "Escapes", R"(["\"\\\/\b\f\n\r\t", "\u00e9\u20AC\ud83d\ude00\u0000", ""])" },
        ParseCase { "LoneHighSurrogate", R"(["\ud83d x"])" }, ParseCase { "LoneLowSurrogate", R"(["\ude00"])" },
        ParseCase { "BadEscape", R"(["\x"])" }, ParseCase { "ShortUnitEscape", R"(["\u12"])" },
        ParseCase { "ControlCharacterInString", "[\"a\tb\"]" },
        ParseCase { "WellFormedUTF8", "[\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xed\x9f\xbf\xf4\x8f\xbf\xbf\"]" },
        ParseCase { "OverlongUTF8", "[\"\xc0\xaf\"]" }, ParseCase { "EncodedSurrogate", "[\"\xed\xa0\x80\"]" },
        ParseCase { "BeyondUnicode", "[\"\xf4\x90\x80\x80\"]" }, ParseCase { "CutSequence", "[\"\xe2\x82\"]" },
        ParseCase { "ByteOrderMark", "\xef\xbb\xbf{\"a\": 1}" },
        ParseCase { "Integers",
            "[0, -0, 7, -12, 999999999999999999, -999999999999999999, 9223372036854775807, "
            "-9223372036854775808, 18446744073709551616, 1e2, 0.5, -1.5E-3]" },
        ParseCase { "LeadingZero", "[01]" }, ParseCase { "LoneMinus", "[-]" }, ParseCase { "Plus", "[+1]" },
        ParseCase { "TrailingComma", "[1,]" }, ParseCase { "MissingColon", R"({"a" 1})" },
        ParseCase { "KeyNotAString", "{1: 2}" }, ParseCase { "MismatchedClose", R"({"a": [1}])" },
        ParseCase { "WhitespaceEverywhere", " \r\n\t{ \"a\" :\n[ 1 ,\ttrue , null ] , \"b\":{ } }\n " },
        ParseCase { "DeepNesting", std::string(2000, '[') + std::string(2000, ']') }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quillet
