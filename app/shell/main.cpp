#include "shell/CommandLine.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const int status = quillet::runCommandLine(arguments, std::cin, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
