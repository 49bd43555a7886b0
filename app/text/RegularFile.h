#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <filesystem>
#include <limits>
#include <string>

namespace quillet {

/// What reading a regular file gave: its bytes, or why there are none.
struct RegularFileRead {
    enum class Outcome {
        read,
        /// Nothing could be opened there (error holds errno).
        notOpened,
        /// A folder, a pipe, a device or a socket: not read, as it could block the reader.
        notRegular,
        /// Larger than the reader's limit, when it was opened or as it grew while it was read.
        tooLarge,
        /// A read failed (error holds errno).
        failed,
    };

    Outcome outcome = Outcome::failed;
    std::string bytes;
    int error = 0;
    /// The open file's status when the reading began (for notRegular and after).
    struct stat status { };

    bool ok() const { return outcome == Outcome::read; }
};

/// Reads the whole of an open file that is a regular one, up to `largest` bytes, calls
/// interrupted by a signal taken up again. The descriptor stays open.
RegularFileRead readOpenRegularFile(int fd, std::size_t largest = std::numeric_limits<std::size_t>::max());

/// Opens the path without blocking (a pipe in the file's place would hang the reader) and
/// without becoming its controlling terminal, and reads it as readOpenRegularFile() does.
RegularFileRead readRegularFile(
    const std::filesystem::path& path, std::size_t largest = std::numeric_limits<std::size_t>::max());

} // namespace quillet
