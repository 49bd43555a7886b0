// Writes the library of the large benchmarks, the default bundles and 10,000 generated
// expanders (one in ten embedding another), as a library file for a running application:
// write-bench-library FILE
#include "support/SyntheticLibrary.h"
#include "support/TestSupport.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: write-bench-library FILE\n";
        return 2;
    }
    try {
        quillet::test::writeFile(argv[1],
            quillet::test::joinedLibraries(quillet::test::defaultLibrary(), quillet::test::syntheticLibrary(100, 100))
                .dump(4));
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
    return 0;
}
