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

} // namespace

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
        dictionary = JSONDictionary::parse(*bytes);
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
