// vantrel-mkevo PATH MIB [SEED]: writes a realistic EVO of about MIB mebibytes.
#include "support/realistic_evo.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: vantrel-mkevo PATH MIB [SEED]\n");
        return 2;
    }
    try {
        std::uint64_t mib = std::strtoull(argv[2], nullptr, 10);
        std::uint32_t seed = argc > 3 ? static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10)) : 1;
        auto stats = vantrel::test::writeRealisticEvo(argv[1], mib * 1048576, seed);
        std::printf("%s: %llu bytes, %llu packs, %llu video frames\n", argv[1],
                    static_cast<unsigned long long>(stats.bytes),
                    static_cast<unsigned long long>(stats.packs),
                    static_cast<unsigned long long>(stats.videoFrames));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantrel-mkevo: %s\n", e.what());
        return 1;
    }
    return 0;
}
