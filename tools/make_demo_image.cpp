// Writes the synthetic demo full flash (no real firmware) to the given path.
#include <cstdio>
#include <exception>

#include "image_builder.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: carillon-demo-image OUTPUT\n");
        return 2;
    }
    try {
        carillon::fixtures::WriteFile(argv[1], carillon::fixtures::DemoFlash());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "carillon-demo-image: %s\n", e.what());
        return 1;
    }
    return 0;
}
