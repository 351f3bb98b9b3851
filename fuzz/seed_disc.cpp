// Seeds for fuzz_disc, into the folder given as argv[1]: the sample disc's
// playlist, plain and wrapped, a time map of interleaved angles, a part of the
// feature and an EVO timed to the tick (each behind the byte that chooses its
// reader).
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
    const std::string xml = samplePlaylist();
    std::string wrapper(0x11B, '\0');
    wrapper.replace(0, 5, "AACS\x12");
    for (int i = 0; i < 4; ++i)
        wrapper[static_cast<std::size_t>(7 + i)] = static_cast<char>(xml.size() >> (24 - 8 * i));
    seed(folder + "wrapped", '\x02', wrapper + xml + std::string(64, '\0'));
    std::string timeMap = "HDDVD_TMAP00" + std::string(0x200, '\0');
    timeMap[20] = '\x22';
    timeMap[21] = '\x02';
    timeMap[0x37] = '\x04';
    seed(folder + "time-map", '\x02', timeMap);
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
