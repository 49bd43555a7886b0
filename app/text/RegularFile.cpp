#include "text/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace quillet {

RegularFileRead readOpenRegularFile(int fd, std::size_t largest)
{
    RegularFileRead result;
    if (fstat(fd, &result.status) != 0) {
        result.error = errno;
        return result;
    }
    if (!S_ISREG(result.status.st_mode)) {
        result.outcome = RegularFileRead::Outcome::notRegular;
        return result;
    }
    const auto size = static_cast<std::size_t>(std::max<off_t>(result.status.st_size, 0));
    if (size > largest) {
        result.outcome = RegularFileRead::Outcome::tooLarge;
        return result;
    }
    result.bytes.reserve(size);
    char buffer[65536];
    for (;;) {
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            result.error = errno;
            result.bytes.clear();
            return result;
        }
        if (count == 0)
            break;
        // The file may grow while it is read.
        if (static_cast<std::size_t>(count) > largest - result.bytes.size()) {
            result.outcome = RegularFileRead::Outcome::tooLarge;
            result.bytes.clear();
            return result;
        }
        result.bytes.append(buffer, static_cast<std::size_t>(count));
    }
    result.outcome = RegularFileRead::Outcome::read;
    return result;
}

RegularFileRead readRegularFile(const std::filesystem::path& path, std::size_t largest)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        RegularFileRead result;
        result.outcome = RegularFileRead::Outcome::notOpened;
        result.error = errno;
        return result;
    }
    RegularFileRead result = readOpenRegularFile(fd, largest);
    close(fd);
    return result;
}

} // namespace quillet
