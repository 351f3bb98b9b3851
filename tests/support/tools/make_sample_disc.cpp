// vantrel-sample-disc FOLDER [GROUPS]: writes the sample disc into FOLDER and
// prints the path of its first feature file.
#include "support/sample_disc.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [GROUPS]\n", argv[0]);
        return 2;
    }
    int groups = argc > 2 ? std::atoi(argv[2]) : 200;
    if (groups < 1) groups = 1;
    try {
        auto disc = vantrel::test::writeSampleDisc(argv[1], groups);
        std::printf("%s\n", disc.feature1.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
