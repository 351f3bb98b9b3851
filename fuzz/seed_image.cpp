// Seeds for fuzz_image, into the folder given as argv[1]: the sample disc
// (with a few frames per part) as a UDF 2.60 image, as
// the tests' image writer makes them.
#include "support/sample_disc.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: seed_image FOLDER\n";
        return 2;
    }
    namespace fs = std::filesystem;
    const std::string folder = argv[1];
    const fs::path tree = fs::path(folder) / "tree.tmp";
    vantrel::test::writeSampleDisc(tree.string(), 2);
    const std::string command = "/usr/bin/python3 '" VANTREL_SOURCE_DIR
                                "/tests/support/tools/make_udf_image.py' '" +
                                tree.string() + "' '" + folder + "/sample.iso' >/dev/null 2>&1";
    const int rc = std::system(command.c_str());
    fs::remove_all(tree);
    if (rc != 0) std::cerr << "seed_image: no image written (python3-pycdlib missing?)\n";
    return 0;
}
