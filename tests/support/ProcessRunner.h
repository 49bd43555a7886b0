#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace quillet::test {

struct ProcessResult {
    int exitStatus = -1; // -1 when the process did not exit normally
    std::string standardOutput;
    std::string standardError;
};

/// Runs a program to its end with the given arguments, standard input and extra
/// environment variables (added to this process's environment), and collects its output.
/// `inChild` runs in the child just before the program starts, with the pipes in place (to
/// close or replace a standard stream, or to set a limit); only async-signal-safe calls.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
    const std::string& standardInput = {}, const std::map<std::string, std::string>& environment = {},
    const std::function<void()>& inChild = {});

} // namespace quillet::test
