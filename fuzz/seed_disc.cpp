// Seeds for fuzz_disc, into the folder given as argv[1]: the sample disc's
// playlist and a part of its feature, and an EVO timed to the tick (each
// behind the byte that chooses its reader).
#include "support/sample_disc.h"
#include "support/timed_evo.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

namespace {

void seed(const std::string& path, char reader, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << reader << bytes;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: seed_disc FOLDER\n";
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    using namespace vantrel::test;
    seed(folder + "playlist", '\x01', samplePlaylist());
    writeSampleEvo(folder + "sample.evo.tmp", 3);
    seed(folder + "sample", '\x00', slurp(folder + "sample.evo.tmp"));
    std::remove((folder + "sample.evo.tmp").c_str());
    writeTimedEvo(folder + "timed.evo.tmp", {{TimedCodec::Vc1, 0x55, 90000, 3},
                                             {TimedCodec::Ac3, 0x80, 93600, 3},
                                             {TimedCodec::Eac3, 0xC1, 88200, 2},
                                             {TimedCodec::Lpcm, 0xA2, 90000, 3}});
    seed(folder + "timed", '\x00', slurp(folder + "timed.evo.tmp"));
    std::remove((folder + "timed.evo.tmp").c_str());
    return 0;
}
