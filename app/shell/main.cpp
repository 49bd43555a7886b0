#include "shell/CommandLine.h"
#include "shell/DesktopLauncher.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    // `quillet` alone starts the tray application; `quillet FILE…` hands it bundle files.
    if (quillet::isDesktopLaunch(arguments))
        return quillet::runDesktopLauncher(arguments, std::cerr);
    const int status = quillet::runCommandLine(arguments, std::cin, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
