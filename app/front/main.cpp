#include "front/CommandLine.h"
#include "front/DesktopLauncher.h"
#include "front/EmbeddedIcuData.h"
#include "front/HugePageHeap.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

/// Whether the standard descriptor was open at start. A closed one gets /dev/null in its place,
/// so that no file the program opens later (the library) can take its number and receive
/// what was meant for the stream.
bool keepStandardDescriptor(int fd)
{
    if (fcntl(fd, F_GETFD) != -1)
        return true;
    const int placeholder = open("/dev/null", O_RDWR);
    if (placeholder >= 0 && placeholder != fd) {
        dup2(placeholder, fd);
        close(placeholder);
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    const bool inputOpen = keepStandardDescriptor(STDIN_FILENO);
    const bool outputOpen = keepStandardDescriptor(STDOUT_FILENO);
    keepStandardDescriptor(STDERR_FILENO);
    // An expansion loads the whole library; usage and the desktop launch do not.
    if (argc > 1 && std::strcmp(argv[1], "expand") == 0)
        quillet::preferHugePagesForTheHeap();
    quillet::endRunsThatRunOutOfMemory();
    switch (quillet::mapEmbeddedIcuData()) {
    case quillet::EmbeddedIcuData::linked:
    case quillet::EmbeddedIcuData::mapped:
        break;
    case quillet::EmbeddedIcuData::noMemory:
        std::cerr << "quillet: out of memory\n";
        return quillet::exitstatus::failed;
    case quillet::EmbeddedIcuData::unreadable:
        std::cerr << "quillet: the Unicode data in the program file could not be read\n";
        return quillet::exitstatus::failed;
    }

    try {
        std::ios::sync_with_stdio(false);
        // Streams without a buffer: reading or writing them fails, and the command line says so.
        std::istream closedInput(nullptr);
        std::ostream closedOutput(nullptr);
        const std::vector<std::string> arguments(argv + 1, argv + argc);
        // `quillet action NAME` runs a global shortcut's action in the tray application.
        if (!arguments.empty() && arguments.front() == "action")
            return quillet::runGlobalActionCommand({ arguments.begin() + 1, arguments.end() }, std::cerr);
        // `quillet` alone starts the tray application; `quillet FILE…` hands it bundle files.
        if (quillet::isDesktopLaunch(arguments))
            return quillet::runDesktopLauncher(arguments, std::cerr);
        return quillet::runCommandLine(
            arguments, inputOpen ? std::cin : closedInput, outputOpen ? std::cout : closedOutput, std::cerr);
    } catch (...) {
        // runCommandLine reports its own failures; only building the arguments can get here.
        std::cerr << "quillet: out of memory\n";
        return quillet::exitstatus::failed;
    }
}
