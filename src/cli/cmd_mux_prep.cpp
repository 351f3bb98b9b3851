// mux-prep PATH [--title N] -o DIR [--tracks LIST]: the files mkvmerge takes,
// beside an option file for "mkvmerge @DIR/mux.json" and the manifest.
#include "files/final_name.h"
#include "interruption.h"
#include "mkv_input.h"
#include "output_guard.h"

#include <filesystem>
#include <nlohmann/json.hpp>
#include <ostream>
#include <set>

namespace vantrel::cli {

namespace {

constexpr std::string_view kHelp =
    "usage: vantrel-cli [--quiet] [--json] mux-prep PATH [--title N] -o DIR [--tracks LIST]\n"
    "                                               [--force]\n"
    "\n"
    "Writes what mkvmerge needs to mux a title into DIR: the video (.m2v, .h264,\n"
    ".vc1), the audio (.ac3, .eac3, .dts, .thd/.mlp, LPCM as .wav) starting at its\n"
    "first time-stamped frame, chapters.xml, mux.json (run it as\n"
    "\"mkvmerge @DIR/mux.json\"; it writes DIR/NAME.mkv) and title.json, which\n"
    "lists every file, delay, join figure and warning.\n"
    "\n"
    "PATH        an EVO file; or a disc, HVDVD_TS folder, VPLST000.XPL or disc image\n"
    "            (.iso, a drive): its longest title with clips, or --title N\n"
    "--title N   the title whose titleNumber is N; without it the longest title\n"
    "-o DIR      the folder to write into (created when missing)\n"
    "--tracks L  as for mkv\n"
    "--clock C   auto (default), 60 or 59.94, as for chapters\n"
    "--force     write into DIR when it already holds mux.json or title.json\n";

// What a run puts into its folder, so that an interrupted or failed run can
// take it away again: the entries that were not there before, and the folder
// itself where the run made it.
class FolderEntries {
public:
    explicit FolderEntries(const std::string& folder) : m_folder(folder) {
        std::error_code ec;
        m_existed = std::filesystem::is_directory(folder, ec);
        if (m_existed)
            for (const auto& e : std::filesystem::directory_iterator(folder, ec))
                m_before.insert(e.path().filename().string());
    }
    // `notOurs`: a file of the folder that appeared while the run worked, which stays.
    void removeNew(const std::string& notOurs = {}) const {
        std::error_code ec;
        if (!m_existed) {
            std::filesystem::remove_all(m_folder, ec);
            return;
        }
        std::vector<std::filesystem::path> added;
        for (const auto& e : std::filesystem::directory_iterator(m_folder, ec))
            if (!m_before.count(e.path().filename().string()) && e.path().string() != notOurs)
                added.push_back(e.path());
        for (const auto& p : added) std::filesystem::remove_all(p, ec);
    }

private:
    std::string m_folder;
    bool m_existed = false;
    std::set<std::string> m_before;
};

int runMuxPrep(Context& ctx) {
    namespace fs = std::filesystem;
    ParsedArgs args = parseArgs(ctx.args, {"--title", "-o", "--output", "--tracks", "--clock"}, {"--force"});
    std::string dir = args.value("-o", args.value("--output"));
    if (dir.empty()) throw Error(ErrorKind::Usage, "mux-prep needs -o DIR");
    if (dir.back() != '/') dir += '/';
    for (const char* name : {"mux.json", "title.json"})
        if (fs::exists(dir + name) && !args.has("--force"))
            throw Error(ErrorKind::Output,
                        dir + name +
                            " exists: give --force to write over that folder's files, or name another -o");
    const FolderEntries entries(dir);
    makeOutputFolder(dir);
    // One run at a time writes into a folder; the lock goes with the run, however it ends.
    const TemporaryLock folderLock(dir);
    if (folderLock.busy())
        throw Error(ErrorKind::Output,
                    "another run is writing into " + dir + " now: wait for it to end, or name another -o");
    for (const char* name : {"mux.json", "title.json"})
        clearLeftTemporaries(ctx.console, dir + name, args.has("--force"));
    InterruptScope interrupts;
    mux::MkvOutcome outcome;
    try {
        mux::MkvJob job = mkvJobOf(ctx, args, "mux-prep");
        job.output = dir + mux::preparedBaseName(job) + ".mkv";
        job.replace = args.has("--force");
        job.progress = [shown = job.progress](const std::string& stage, std::int64_t done,
                                              std::int64_t total) {
            if (interruptRequested()) throw Error(ErrorKind::Interrupted, "interrupted");
            if (shown) shown(stage, done, total);
        };
        outcome = mux::prepareMuxFolder(job, dir, job.output);
        if (interruptRequested()) throw Error(ErrorKind::Interrupted, "interrupted");
    } catch (const Error& e) {
        // Ctrl+C or a failure: nothing the run began stays behind, and what
        // took mux.json's or title.json's name meanwhile (the failure's file) is not the run's.
        const bool final = e.path() == dir + "mux.json" || e.path() == dir + "title.json";
        entries.removeNew(final ? e.path() : std::string());
        throw;
    } catch (...) {
        entries.removeNew();
        throw;
    }
    ctx.console.progressEnd();
    for (const auto& n : outcome.notes) ctx.console.note(n);
    for (const auto& w : outcome.warnings) ctx.console.warning(w);
    if (ctx.options.json) {
        nlohmann::ordered_json j;
        j["schema"] = "vantrel-cli/mux-prep/1";
        j["muxOptions"] = outcome.muxFile;
        j["manifest"] = dir + "title.json";
        j["warnings"] = summedWarnings(outcome.warnings);
        ctx.out << j.dump(2) << '\n';
    } else {
        ctx.out << outcome.muxFile << '\n';
    }
    return outcome.warnings.empty() ? kExitOk : kExitWarnings;
}

} // namespace

extern const Command kMuxPrepCommand;
const Command kMuxPrepCommand{"mux-prep", "mkvmerge-ready files, mux.json and title.json", kHelp, runMuxPrep};

} // namespace vantrel::cli
