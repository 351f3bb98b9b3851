// vantrel-cli: the disc from a terminal. See cli.h for the frame and
// command_table.cpp for the commands.
#include "cli/cli.h"
#include "files/file_layer.h"

#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    vantrel::setUpFileLayer();
    std::vector<std::string> args(argv + 1, argv + argc);
    return vantrel::cli::runCli(args, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
}
