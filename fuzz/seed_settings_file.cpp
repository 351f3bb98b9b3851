// Writes a few settings files into the folder given as argv[1]: what a close
// writes, a hand-edited file with CR LF lines and continued hex data, and the
// odd line ends a text editor leaves.
#include <fstream>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

namespace {

const std::string kHead = "Windows Registry Editor Version 5.00\n\n"
                          "[HKEY_CURRENT_USER\\Software\\Corvane Software\\Vantrel]\n";

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: seed_settings_file FOLDER\n";
        return 2;
    }
    const std::vector<std::pair<std::string, std::string>> seeds{
        {"saved.reg", kHead +
                          "\"WindowState\"=dword:00000000\n\"Top\"=dword:fffffff8\n\"Width\"=dword:0000016a\n"
                          "\"AudioExt\"=\"mpa\"\n\"Workdir\"=\"/home/me/My \\\"films\\\"\\\\out\\x0a\"\n"
                          "\"Install\"=hex:00,00,00,00,10,f9,e5,40\n\n"},
        {"edited.reg", "Windows Registry Editor Version 5.00\r\n\r\n"
                       "[HKEY_CURRENT_USER\\Software\\Other]\r\n\"Width\"=dword:1\r\n"
                       "[hkey_current_user\\software\\corvane software\\vantrel]\r\n; a comment\r\n"
                       "\"Install\"=hex:00,00,00,00,\\\r\n  10,f9,e5,40\r\n\"Expand\"=hex(2):25,00,00,00\r\n"
                       "\"Gone\"=-\r\n\"continue\"=dword:1\r\n\"CONTINUE\"=dword:0\r\n"},
        {"odd_ends.reg", kHead + "\"Expand\"=hex(2):41,\\\t\n\"Install\"=hex:00,\\ \r\r\n\"Top\"=dword:12x4\n"
                                 "\"Note\"=\"open\n\"Width\"=dword:00000190\n\"Last\"=hex:01,\\"},
    };
    for (const auto& [name, content] : seeds)
        std::ofstream(std::string(argv[1]) + "/" + name, std::ios::binary) << content;
    return 0;
}
