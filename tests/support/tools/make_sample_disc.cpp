// vantrel-sample-disc FOLDER [GROUPS]: writes the sample disc into FOLDER and
// prints the path of its first feature file. With --three-clips FOLDER: the
// disc of three clips shaped like real ones (its feature is title 2).
#include "support/sample_disc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

int main(int argc, char** argv) {
    const char* usage = "usage: vantrel-sample-disc FOLDER [GROUPS]\n"
                        "Writes a small HD DVD-shaped disc (HVDVD_TS, ADV_OBJ) into FOLDER;\n"
                        "GROUPS video frames per part (default 200). Prints its first EVO file.\n"
                        "       vantrel-sample-disc --three-clips FOLDER\n"
                        "Writes the disc of three clips whose feature is title 2; prints its first clip.\n";
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--three-clips") == 0 && argv[2][0] != '-') {
        try {
            std::printf("%s\n", vantrel::test::writeThreeClipDisc(argv[2]).clips[0].c_str());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
        return 0;
    }
    // A FOLDER that looks like an option is a typing mistake, not a name.
    if (argc < 2 || argc > 3 || argv[1][0] == '-' || (argc == 3 && std::atoi(argv[2]) < 1)) {
        std::fputs(usage, stderr);
        return 2;
    }
    const int groups = argc > 2 ? std::atoi(argv[2]) : 200;
    try {
        auto disc = vantrel::test::writeSampleDisc(argv[1], groups);
        std::printf("%s\n", disc.feature1.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
