// Runs vantrel-cli in the test's process and captures what it prints; makes
// scratch folders; runs outside programs (the headless driver, mkvmerge, ffprobe).
#pragma once

#include "cli/cli.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>
#include <vector>

namespace vantrel::cli::test {

struct CliResult {
    int code = 0;
    std::string out, err;
    nlohmann::json json() const { return nlohmann::json::parse(out); }
};

CliResult cli(const std::vector<std::string>& args);

// A fresh folder under the system's temporary folder, removed with the object.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string path(const std::string& name = "") const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// Runs a shell command; gives its exit status and its stdout.
int shell(const std::string& command, std::string* out = nullptr);
bool haveProgram(const std::string& name);

// Every regular file of a folder, by name, with its bytes.
std::vector<std::pair<std::string, std::string>> folderContents(const std::string& folder);

} // namespace vantrel::cli::test
