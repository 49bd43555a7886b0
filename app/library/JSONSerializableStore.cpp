#include "library/JSONSerializableStore.h"

#include "library/StoreErrorTexts.h"
#include "text/RegularFile.h"
#include "text/UnicodeConversion.h"
#include "text/UserErrorDescriptionType.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::detail {

JSONStoreTexts JSONStoreTexts::localizedTexts()
{
    return {
        .parsingErrorTitle = StoreErrorTexts::jsonReadingError(),
        .invalidFormatError = StoreErrorTexts::invalidFormat(),
        .fileCouldBeNotReadErrorTitle = StoreErrorTexts::fileCouldNotBeRead(),
        .savingErrorTitle = StoreErrorTexts::fileCouldNotBeWritten(),
    };
}

namespace {

icu::UnicodeString pathText(const std::filesystem::path& path)
{
    return fromUtf8(path.string());
}

/// Builds the same value as JSONDictionary::parse, but gives every object room for a few keys
/// at once. The ordered object is a vector of pairs with constant keys, which copies (rather
/// than moves) its filled values when it grows: a bundle that grew after its "expanders" key
/// copied all its expanders, and the library's load spent a third of its time so.
class DictionaryBuilder {
public:
    explicit DictionaryBuilder(JSONDictionary& root)
        : m_root(root)
    {
    }

    bool null() { return place(nullptr) != nullptr; }
    bool boolean(bool value) { return place(value) != nullptr; }
    bool number_integer(JSONDictionary::number_integer_t value) { return place(value) != nullptr; }
    bool number_unsigned(JSONDictionary::number_unsigned_t value) { return place(value) != nullptr; }
    bool number_float(JSONDictionary::number_float_t value, const JSONDictionary::string_t&)
    {
        return place(value) != nullptr;
    }
    bool string(JSONDictionary::string_t& value) { return place(std::move(value)) != nullptr; }
    bool binary(JSONDictionary::binary_t& value) { return place(std::move(value)) != nullptr; }

    bool start_object(std::size_t)
    {
        JSONDictionary* object = place(JSONDictionary::value_t::object);
        object->get_ref<JSONDictionary::object_t&>().reserve(expectedKeys);
        m_open.push_back(object);
        return true;
    }
    bool key(JSONDictionary::string_t& key)
    {
        // As the parser does: a repeated key keeps its first place and takes the later value.
        auto& object = m_open.back()->get_ref<JSONDictionary::object_t&>();
        if (object.size() == object.capacity())
            object.reserve(object.capacity() * 2);
        m_element = &object[key];
        return true;
    }
    bool end_object()
    {
        m_open.pop_back();
        return true;
    }
    bool start_array(std::size_t)
    {
        m_open.push_back(place(JSONDictionary::value_t::array));
        return true;
    }
    bool end_array()
    {
        m_open.pop_back();
        return true;
    }

    template <class Exception> bool parse_error(std::size_t, const std::string&, const Exception& error)
    {
        throw error;
    }

private:
    static constexpr std::size_t expectedKeys = 8; // an expander has seven

    template <typename Value> JSONDictionary* place(Value&& value)
    {
        if (m_open.empty()) {
            m_root = JSONDictionary(std::forward<Value>(value));
            return &m_root;
        }
        JSONDictionary& container = *m_open.back();
        if (container.is_array()) {
            auto& array = container.get_ref<JSONDictionary::array_t&>();
            array.emplace_back(std::forward<Value>(value));
            return &array.back();
        }
        *m_element = JSONDictionary(std::forward<Value>(value));
        return m_element;
    }

    JSONDictionary& m_root;
    std::vector<JSONDictionary*> m_open;
    JSONDictionary* m_element = nullptr;
};

/// Reads the JSON that the library's own writer produces, straight into the builder: strings,
/// integers, literals, objects and arrays, well formed. False at anything else (a fraction, a
/// byte order mark, a fault): the JSON reader's own parse then reads the text again, so values
/// and error descriptions stay exactly its own. The reader's lexer spent most of a library
/// load's time on moving one character at a time.
class WellFormedJSONReader {
public:
    WellFormedJSONReader(const std::string& bytes, DictionaryBuilder& builder)
        : m_next(bytes.data())
        , m_end(bytes.data() + bytes.size())
        , m_builder(builder)
    {
    }

    bool read()
    {
        std::vector<char> open; // '{' or '[' for each container being read
        for (;;) {
            const Read value = readValue(open);
            if (value == Read::failed)
                return false;
            if (value == Read::opened)
                continue;
            // After a value: close containers, or go on to the next element.
            for (;;) {
                skipWhitespace();
                if (open.empty())
                    return m_next == m_end;
                if (m_next == m_end)
                    return false;
                const char c = *m_next++;
                if (c == ',') {
                    if (open.back() == '{' && !readKey())
                        return false;
                    break;
                }
                if (c != (open.back() == '{' ? '}' : ']'))
                    return false;
                const bool isObject = open.back() == '{';
                open.pop_back();
                isObject ? m_builder.end_object() : m_builder.end_array();
            }
        }
    }

private:
    void skipWhitespace()
    {
        for (;;) {
            // An indented file is mostly runs of spaces: eight at a time.
            constexpr uint64_t spaces = 0x2020202020202020ULL;
            uint64_t word = 0;
            while (m_end - m_next >= 8 && (std::memcpy(&word, m_next, sizeof word), word == spaces))
                m_next += 8;
            if (m_next == m_end || (*m_next != ' ' && *m_next != '\n' && *m_next != '\r' && *m_next != '\t'))
                return;
            ++m_next;
        }
    }

    bool skipWord(std::string_view word)
    {
        if (static_cast<std::size_t>(m_end - m_next) < word.size() || std::string_view(m_next, word.size()) != word)
            return false;
        m_next += word.size();
        return true;
    }

    enum class Read { value, opened, failed };

    /// A whole value, or the opening of a container (then on `open`, with its first key read):
    /// however deep the nesting, the reader's own stack does not grow.
    Read readValue(std::vector<char>& open)
    {
        skipWhitespace();
        if (m_next == m_end)
            return Read::failed;
        bool isRead = false;
        switch (*m_next) {
        case '{':
            ++m_next;
            m_builder.start_object(std::size_t(-1));
            skipWhitespace();
            if (m_next != m_end && *m_next == '}') {
                ++m_next;
                m_builder.end_object();
                return Read::value;
            }
            open.push_back('{');
            return readKey() ? Read::opened : Read::failed;
        case '[':
            ++m_next;
            m_builder.start_array(std::size_t(-1));
            skipWhitespace();
            if (m_next != m_end && *m_next == ']') {
                ++m_next;
                m_builder.end_array();
                return Read::value;
            }
            open.push_back('[');
            return Read::opened;
        case '"':
            isRead = readString() && m_builder.string(m_text);
            break;
        case 't':
            isRead = skipWord("true") && m_builder.boolean(true);
            break;
        case 'f':
            isRead = skipWord("false") && m_builder.boolean(false);
            break;
        case 'n':
            isRead = skipWord("null") && m_builder.null();
            break;
        default:
            isRead = readInteger();
            break;
        }
        return isRead ? Read::value : Read::failed;
    }

    /// A key and its colon.
    bool readKey()
    {
        skipWhitespace();
        if (m_next == m_end || *m_next != '"' || !readString())
            return false;
        skipWhitespace();
        if (m_next == m_end || *m_next != ':')
            return false;
        ++m_next;
        m_builder.key(m_text);
        return true;
    }

    /// An integer of up to 18 digits, which no reader rounds.
    bool readInteger()
    {
        const bool isNegative = *m_next == '-';
        const char* digits = m_next + (isNegative ? 1 : 0);
        const char* end = digits;
        uint64_t value = 0;
        while (end != m_end && *end >= '0' && *end <= '9' && end - digits < 19)
            value = value * 10 + static_cast<uint64_t>(*end++ - '0');
        const auto count = end - digits;
        if (count == 0 || count > 18 || (count > 1 && *digits == '0'))
            return false;
        if (end != m_end && (*end == '.' || *end == 'e' || *end == 'E' || (*end >= '0' && *end <= '9')))
            return false;
        m_next = end;
        if (isNegative)
            return m_builder.number_integer(-static_cast<JSONDictionary::number_integer_t>(value));
        return m_builder.number_unsigned(value);
    }

    static int hexValue(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    /// Four hexadecimal digits after "\\u".
    std::optional<char32_t> readUnitEscape()
    {
        if (m_end - m_next < 6 || m_next[0] != '\\' || m_next[1] != 'u')
            return std::nullopt;
        char32_t unit = 0;
        for (int i = 2; i < 6; ++i) {
            const int digit = hexValue(m_next[i]);
            if (digit < 0)
                return std::nullopt;
            unit = unit * 16 + static_cast<char32_t>(digit);
        }
        m_next += 6;
        return unit;
    }

    void appendUTF8(char32_t c)
    {
        if (c < 0x80) {
            m_text.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            m_text.push_back(static_cast<char>(0xC0 | (c >> 6)));
            m_text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            m_text.push_back(static_cast<char>(0xE0 | (c >> 12)));
            m_text.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            m_text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            m_text.push_back(static_cast<char>(0xF0 | (c >> 18)));
            m_text.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            m_text.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            m_text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }

    /// The length of the well-formed UTF-8 sequence of more than one byte at `at`; 0 if none.
    std::size_t sequenceLength(const unsigned char* at) const
    {
        const auto left = reinterpret_cast<const unsigned char*>(m_end) - at;
        const unsigned char lead = at[0];
        auto continues
            = [&](int i, unsigned char low, unsigned char high) { return i < left && at[i] >= low && at[i] <= high; };
        if (lead >= 0xC2 && lead <= 0xDF)
            return continues(1, 0x80, 0xBF) ? 2 : 0;
        if (lead >= 0xE0 && lead <= 0xEF) {
            const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
            const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
            return continues(1, low, high) && continues(2, 0x80, 0xBF) ? 3 : 0;
        }
        if (lead >= 0xF0 && lead <= 0xF4) {
            const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
            const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
            return continues(1, low, high) && continues(2, 0x80, 0xBF) && continues(3, 0x80, 0xBF) ? 4 : 0;
        }
        return 0;
    }

    /// The string at the quote into m_text.
    /// Whether none of the eight bytes at `at` ends a run of plain text: no quote, backslash,
    /// control character or byte of a multibyte sequence. Word-wise: a library is mostly text.
    static bool isPlainASCII(const char* at)
    {
        constexpr uint64_t ones = 0x0101010101010101ULL;
        constexpr uint64_t highBits = 0x8080808080808080ULL;
        uint64_t word = 0;
        std::memcpy(&word, at, sizeof word);
        const uint64_t quotes = word ^ (ones * '"');
        const uint64_t backslashes = word ^ (ones * '\\');
        // A high bit in a lane: that byte is 0x80 or above, or (borrowing) a quote, a backslash
        // or below 0x20. A borrow can mark a plain byte too; it only sends the run byte-wise.
        const uint64_t marks = word | ((quotes - ones) & ~quotes) | ((backslashes - ones) & ~backslashes)
            | ((word - ones * 0x20) & ~word);
        return (marks & highBits) == 0;
    }

    bool readString()
    {
        ++m_next;
        m_text.clear();
        for (;;) {
            const char* run = m_next;
            while (m_next != m_end) {
                while (m_end - m_next >= 8 && isPlainASCII(m_next))
                    m_next += 8;
                if (m_next == m_end)
                    break;
                const auto c = static_cast<unsigned char>(*m_next);
                if (c == '"' || c == '\\' || c < 0x20)
                    break;
                if (c < 0x80) {
                    ++m_next;
                    continue;
                }
                const std::size_t length = sequenceLength(reinterpret_cast<const unsigned char*>(m_next));
                if (length == 0)
                    return false;
                m_next += length;
            }
            m_text.append(run, static_cast<std::size_t>(m_next - run));
            if (m_next == m_end || static_cast<unsigned char>(*m_next) < 0x20)
                return false;
            if (*m_next == '"') {
                ++m_next;
                return true;
            }
            if (m_end - m_next < 2)
                return false;
            const char escaped = m_next[1];
            if (escaped == 'u') {
                const auto unit = readUnitEscape();
                if (!unit || (*unit >= 0xDC00 && *unit <= 0xDFFF))
                    return false;
                if (*unit >= 0xD800 && *unit <= 0xDBFF) {
                    const auto low = readUnitEscape();
                    if (!low || *low < 0xDC00 || *low > 0xDFFF)
                        return false;
                    appendUTF8(0x10000 + ((*unit - 0xD800) << 10) + (*low - 0xDC00));
                } else {
                    appendUTF8(*unit);
                }
                continue;
            }
            static constexpr std::string_view from = "\"\\/bfnrt";
            static constexpr std::string_view to = "\"\\/\b\f\n\r\t";
            const auto found = from.find(escaped);
            if (found == std::string_view::npos)
                return false;
            m_text.push_back(to[found]);
            m_next += 2;
        }
    }

    const char* m_next;
    const char* m_end;
    DictionaryBuilder& m_builder;
    std::string m_text;
};

} // namespace

JSONDictionary parseJSONDictionary(const std::string& bytes)
{
    {
        JSONDictionary result;
        DictionaryBuilder builder(result);
        if (WellFormedJSONReader(bytes, builder).read())
            return result;
    }
    JSONDictionary result;
    DictionaryBuilder builder(result);
    JSONDictionary::sax_parse(bytes, &builder);
    return result;
}

namespace {

/// What opening the library found: the file (or, with no descriptor, a name that cannot be
/// read), nothing at all, or a file that appeared while we looked.
enum class Opened { tried, nothingThere, turnedUp };

/// Opens the file for reading; "nothing there" only when no name exists at the path at all.
Opened openForReading(const std::filesystem::path& path, int& fd)
{
    // Non-blocking, so that a pipe in the file's place cannot hang the start-up.
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0 || errno != ENOENT)
        return Opened::tried;
    // A link whose target is missing (a folder not mounted yet) is not a first run: installing
    // a library there would replace the link.
    struct stat linkStatus { };
    if (lstat(path.c_str(), &linkStatus) != 0)
        return errno == ENOENT ? Opened::nothingThere : Opened::tried;
    if (S_ISLNK(linkStatus.st_mode)) {
        struct stat targetStatus { };
        if (stat(path.c_str(), &targetStatus) != 0)
            return Opened::tried; // dangling
    }
    // Another process created the file between the two looks: read it.
    return Opened::turnedUp;
}

std::optional<std::string> readOpenFile(
    int fd, const std::filesystem::path& path, const JSONStoreTexts& texts, std::optional<FileIdentity>* identity)
{
    RegularFileRead file = readOpenRegularFile(fd, static_cast<std::size_t>(largestLibraryFileSize));
    if (file.outcome == RegularFileRead::Outcome::tooLarge) {
        icu::UnicodeString reason = pathText(path);
        throw CbError(
            texts.fileCouldBeNotReadErrorTitle, reason.append(u": ").append(StoreErrorTexts::libraryFileTooLarge()));
    }
    if (!file.ok())
        return std::nullopt;
    if (identity)
        *identity = FileIdentity::of(file.status);
    return std::move(file.bytes);
}

} // namespace

std::optional<JSONDictionary> readJSONDictionary(const std::filesystem::path& path, const JSONStoreTexts& texts,
    std::optional<FileIdentity>* identity, std::string* readBytes)
{
    std::optional<std::string> bytes;
    for (int attempt = 0;; ++attempt) {
        int fd = -1;
        const Opened opened = openForReading(path, fd);
        if (opened == Opened::nothingThere)
            return std::nullopt;
        // Anything but a clear "not there" must not pass for a first run: an empty library
        // would be saved over the file we could not look at.
        if (opened == Opened::turnedUp && attempt < 3)
            continue;
        if (fd < 0)
            throw CbError(texts.fileCouldBeNotReadErrorTitle, pathText(path));
        try {
            bytes = readOpenFile(fd, path, texts, identity);
        } catch (...) {
            close(fd);
            throw;
        }
        close(fd);
        break;
    }
    if (!bytes)
        throw CbError(texts.fileCouldBeNotReadErrorTitle, pathText(path));

    JSONDictionary dictionary;
    try {
        dictionary = parseJSONDictionary(*bytes);
    } catch (const JSONDictionary::exception& parseError) {
        throw PlatformError(fromUtf8(parseError.what()));
    }
    if (!dictionary.is_object())
        throw CbError(texts.parsingErrorTitle, texts.invalidFormatError);
    if (readBytes)
        *readBytes = std::move(*bytes);
    return dictionary;
}

std::string encodedJSONDictionary(const JSONDictionary& dictionary)
{
    return dictionary.dump(4, ' ', false, JSONDictionary::error_handler_t::replace) + "\n";
}

namespace {

/// The library's bytes, refused when no load would read them back.
std::string encodedLibrary(
    const std::filesystem::path& path, const JSONDictionary& dictionary, const JSONStoreTexts& texts)
{
    std::string bytes;
    try {
        bytes = encodedJSONDictionary(dictionary);
    } catch (const std::exception&) {
        throw CbError(texts.savingErrorTitle, pathText(path));
    }
    if (bytes.size() > static_cast<std::size_t>(largestLibraryFileSize)) {
        icu::UnicodeString reason = pathText(path);
        throw CbError(texts.savingErrorTitle, reason.append(u": ").append(StoreErrorTexts::libraryWouldBeTooLarge()));
    }
    return bytes;
}

} // namespace

FileIdentity writeJSONDictionary(
    const std::filesystem::path& path, const JSONDictionary& dictionary, const JSONStoreTexts& texts)
{
    const std::string bytes = encodedLibrary(path, dictionary, texts);
    try {
        return writeFileAtomically(path, bytes);
    } catch (const std::exception&) {
        throw CbError(texts.savingErrorTitle, pathText(path));
    }
}

std::optional<FileIdentity> replaceJSONDictionary(const std::filesystem::path& path, const JSONDictionary& dictionary,
    const std::optional<FileIdentity>& expected, const JSONStoreTexts& texts)
{
    const std::string bytes = encodedLibrary(path, dictionary, texts);
    try {
        return replaceFileAtomically(path, bytes, expected);
    } catch (const std::exception&) {
        throw CbError(texts.savingErrorTitle, pathText(path));
    }
}

} // namespace quillet::detail
