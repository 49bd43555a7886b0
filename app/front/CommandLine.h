#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quillet {

/// Exit statuses of the `quillet` command line.
namespace exitstatus {
constexpr int expanded = 0;
constexpr int nothingToExpand = 1;
constexpr int expansionFailed = 2;
/// Any other failure: unreadable input, a result that could not be written, no memory.
constexpr int failed = 2;
constexpr int libraryUnusable = 3;
constexpr int usage = 64;
constexpr int invalidText = 65; // the text is not valid UTF-8
} // namespace exitstatus

/// Makes every failed allocation, of C++ objects and of ICU's, end the process at once with
/// "out of memory" on standard error and the status exitstatus::failed, for the `quillet` program:
/// no run goes on to trust what it made of the failure (a pattern that could not be parsed for
/// want of memory would pass for one that does not apply, and another expander for the answer),
/// nor aborts unwinding it.
void endRunsThatRunOutOfMemory();

/// Runs the command line without a desktop:
///
///     quillet expand [--extension EXT] [--record] [--] [TEXT | -]
///
/// Expands TEXT (or standard input, without one trailing "\n" or "\r\n") against the user's
/// library and writes the result as compact JSON: {"text": …, "cursorPosition": N}, or with
/// --record {"text": …, "cursor_position": N}; N counts UTF-16 code units of the text.
/// Returns the exit status (see exitstatus) and never throws: every failure is a message on
/// `errors`. A stream without a buffer stands for a closed standard stream. `arguments`
/// excludes the program name.
int runCommandLine(
    const std::vector<std::string>& arguments, std::istream& input, std::ostream& output, std::ostream& errors);

} // namespace quillet
