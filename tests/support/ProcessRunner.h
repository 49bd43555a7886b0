#pragma once

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
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& standardInput = {},
                         const std::map<std::string, std::string>& environment = {});

} // namespace quillet::test
