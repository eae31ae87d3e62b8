// quillmer-generate-exports ROOT COUNT: COUNT generated export folders in ROOT, for the MCP
// client tests and benchmarks that drive the real server process.
#include <cstdlib>
#include <iostream>

#include "support/export_builders.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: quillmer-generate-exports ROOT COUNT\n";
        return 2;
    }
    const int count = std::atoi(argv[2]);
    for (int index = 0; index < count; ++index) quillmer::testing::writeGeneratedExport(argv[1], {index});
    return 0;
}
