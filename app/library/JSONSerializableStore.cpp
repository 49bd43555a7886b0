#include "library/JSONSerializableStore.h"

#include "library/UserErrorDescriptionType.h"
#include "text/Localized.h"
#include "text/UnicodeConversion.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

namespace quillet::detail {

JSONStoreTexts JSONStoreTexts::localizedTexts()
{
    return {
        .parsingErrorTitle = localized(u"JSON reading error", "JSON Serializable Store error"),
        .invalidFormatError
        = localized(u"Parsing file has an invalid format.", "JSON Serializable Store parsing error"),
        .fileCouldBeNotReadErrorTitle = localized(u"File could not be read", "JSON Serializable Store error"),
        .savingErrorTitle = localized(u"File could not be written", "JSON Serializable Store error"),
    };
}

namespace {

icu::UnicodeString pathText(const std::filesystem::path& path)
{
    return fromUtf8(path.string());
}

[[noreturn]] void throwSystemError(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
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

    template <class Exception>
    bool parse_error(std::size_t, const std::string&, const Exception& error)
    {
        throw error;
    }

private:
    static constexpr std::size_t expectedKeys = 8; // an expander has seven

    template <typename Value>
    JSONDictionary* place(Value&& value)
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

} // namespace

JSONDictionary parseJSONDictionary(const std::string& bytes)
{
    JSONDictionary result;
    DictionaryBuilder builder(result);
    JSONDictionary::sax_parse(bytes, &builder);
    return result;
}

std::optional<JSONDictionary> readJSONDictionary(const std::filesystem::path& path, const JSONStoreTexts& texts)
{
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        // Only a name that is not there at all is a first run. A link whose target is missing
        // (a folder not mounted yet) is not: installing a library there would replace the link.
        struct stat linkStatus {};
        if (errno == ENOENT && lstat(path.c_str(), &linkStatus) != 0 && errno == ENOENT)
            return std::nullopt;
        // Anything but a clear "not there" must not pass for a first run: an empty library
        // would be saved over the file we could not look at.
        throw CbError(texts.fileCouldBeNotReadErrorTitle, pathText(path));
    }
    auto bytes = readFileContents(path);
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
    return dictionary;
}

std::optional<std::string> readFileContents(const std::filesystem::path& path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    // One read of the whole file: the library is read before anything can be expanded.
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return std::move(bytes).str();
}

void writeJSONDictionary(const std::filesystem::path& path, const JSONDictionary& dictionary,
                         const JSONStoreTexts& texts)
{
    try {
        const std::string bytes = dictionary.dump(4, ' ', false, JSONDictionary::error_handler_t::replace) + "\n";
        writeFileAtomically(path, bytes);
    } catch (const std::exception&) {
        throw CbError(texts.savingErrorTitle, pathText(path));
    }
}

void writeFileAtomically(const std::filesystem::path& linkOrFile, std::string_view bytes)
{
    // A library kept elsewhere through a symbolic link is written where the link points;
    // renaming over the link itself would detach it from the real file.
    std::filesystem::path path = linkOrFile;
    if (std::filesystem::is_symlink(linkOrFile))
        path = std::filesystem::weakly_canonical(linkOrFile);
    const auto folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    std::filesystem::create_directories(folder);

    // The temporary file must be in the target's folder: rename is atomic only within one file system.
    std::string temporary = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        throwSystemError("cannot create a temporary file");

    auto fail = [&](const char* what) {
        const int savedErrno = errno;
        if (fd >= 0)
            close(fd);
        unlink(temporary.c_str());
        errno = savedErrno;
        throwSystemError(what);
    };

    // Keep the permissions of the file being replaced; a new file gets the usual rw-r--r--.
    struct stat existing {};
    const mode_t mode = stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
    if (fchmod(fd, mode) != 0)
        fail("cannot set the permissions of the temporary file");

    const char* data = bytes.data();
    std::size_t remaining = bytes.size();
    while (remaining > 0) {
        const ssize_t written = write(fd, data, remaining);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            fail("cannot write the temporary file");
        }
        data += written;
        remaining -= static_cast<std::size_t>(written);
    }
    if (fsync(fd) != 0)
        fail("cannot flush the temporary file");
    if (close(fd) != 0) {
        const int savedErrno = errno;
        unlink(temporary.c_str());
        errno = savedErrno;
        throwSystemError("cannot close the temporary file");
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        const int savedErrno = errno;
        unlink(temporary.c_str());
        errno = savedErrno;
        throwSystemError("cannot replace the file");
    }
    // Make the rename itself durable; a failure here no longer endangers the data.
    const int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (folderFd >= 0) {
        fsync(folderFd);
        close(folderFd);
    }
}

} // namespace quillet::detail
