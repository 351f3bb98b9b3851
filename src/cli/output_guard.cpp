#include "output_guard.h"

#include "cli.h"
#include "disc/disc_model.h"
#include "files/file_layer.h"
#include "files/final_name.h"

#include <filesystem>
#include <system_error>

namespace vantrel::cli {

namespace {
namespace fs = std::filesystem;

std::string resolved(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::path(path), ec);
    if (ec) return absolutePath(path);
    return p.lexically_normal().string();
}

std::string folderOf(const std::string& path) {
    fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}
} // namespace

bool sameFile(const std::string& a, const std::string& b) {
    const auto idA = regularFileIdentity(a);
    const auto idB = regularFileIdentity(b);
    if (idA && idB) return *idA == *idB;
    return resolved(a) == resolved(b);
}

void checkOutputFile(const std::string& path, const std::vector<std::string>& inputs, bool force) {
    for (const std::string& in : inputs)
        if (!in.empty() && sameFile(path, in))
            throw Error(ErrorKind::Output,
                        path + " is an input of this run (" + in + "): name another output file");
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (fs::is_directory(st))
        throw Error(ErrorKind::Output,
                    path + " is a folder: name a file, as " + (fs::path(path) / "NAME").string());
    const std::string folder = folderOf(path);
    if (!fs::is_directory(folder, ec))
        throw Error(ErrorKind::Output,
                    "the folder " + folder + " does not exist: create it first, or name another output");
    if (fs::exists(st) && !force)
        throw Error(ErrorKind::Output, path + " exists: give --force to replace it, or name another output");
}

std::vector<std::string> inputsOfRun(const std::string& path, const std::vector<std::string>& parts) {
    std::vector<std::string> inputs = parts;
    inputs.push_back(path);
    try {
        const std::string playlist = disc::locateDisc(path).playlistPath;
        if (!playlist.empty()) inputs.push_back(playlist);
    } catch (const std::exception&) {
        // PATH was read before; a second look that fails adds nothing.
    }
    return inputs;
}

void checkRunOutputs(const std::vector<std::string>& files, const std::vector<std::string>& inputs,
                     bool force) {
    for (const std::string& f : files) checkOutputFile(f, inputs, force);
}

void clearLeftTemporaries(Console& console, const std::string& output, bool force) {
    for (const LeftTemporary& t : temporariesOf(output)) {
        switch (t.state) {
        case LeftTemporary::State::Left: {
            std::error_code ec;
            fs::remove_all(t.path, ec);
            console.note(ec ? "cannot remove " + t.path + ", left by a run to " + output +
                                  " that did not finish: " + ec.message()
                            : "removed " + t.path + ", left by a run to " + output + " that did not finish");
            break;
        }
        case LeftTemporary::State::InUse:
            if (!force)
                throw Error(ErrorKind::Output, "another run is writing " + output + " now (" + t.path +
                                                   "): wait for it to end, or name another output");
            break;
        case LeftTemporary::State::Unknown:
            console.note(t.path + " may be left by a run to " + output +
                         " that did not finish: remove it once no run writes " + output);
            break;
        }
    }
}

void makeOutputFolder(const std::string& folder) {
    if (folder.empty()) return;
    std::error_code ec;
    // "FILE/" names the file FILE, which is no folder.
    std::string named = folder;
    while (named.size() > 1 && named.back() == '/') named.pop_back();
    const fs::file_status st = fs::status(named, ec);
    if (fs::is_directory(st)) return;
    if (fs::exists(st))
        throw Error(ErrorKind::Output, named + " is a file, not a folder: name a folder for the outputs");
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder))
        throw Error(ErrorKind::Output,
                    "Cannot create folder \"" + absolutePath(folder) + "\". " + ec.message());
}

} // namespace vantrel::cli
