// mkv PATH [--title N] -o OUT.mkv [--tracks LIST] [--keep-temp]: the title as
// one Matroska file with named tracks, languages, chapters and audio in sync.
#include "mkv_input.h"

#include <nlohmann/json.hpp>

#include <ostream>

namespace vantrel::cli {

namespace {

constexpr std::string_view kHelp =
    "usage: vantrel-cli [--json] mkv PATH [--title N] -o OUT.mkv [--tracks LIST] [--keep-temp]\n"
    "\n"
    "Writes a title as one Matroska file with mkvmerge: video, every audio stream\n"
    "(LPCM as WAV) with the playlist's names and languages, each delayed by its\n"
    "first time stamp against the video's, the chapters, and a title of several\n"
    "clips joined in playlist order with its audio kept in sync. Every\n"
    "subpicture stream becomes a PGS subtitle track with the playlist's name and\n"
    "language, never the default one, forced where all its units are. The result\n"
    "is checked with mkvmerge -J before it is given its name.\n"
    "\n"
    "PATH         an EVO file, or a disc, HVDVD_TS folder or VPLST000.XPL\n"
    "--title N    the title whose titleNumber is N; without it the longest title\n"
    "-o OUT.mkv   the output file (written under a temporary name, renamed at the end)\n"
    "--tracks L   the streams to mux: box names (cbVideo0,cbAudio01), stream codes\n"
    "             (0xC0) or captions (DD+.stream.00); default all\n"
    "--keep-temp  keep the folder of prepared files (mux.json, title.json) beside OUT\n"
    "\n"
    "Exit codes: 1 done with warnings (every join gap or overlap is one),\n"
    "6 mkvmerge missing or failing, 7 the result does not hold what was meant.\n";

int runMkv(Context& ctx) {
    ParsedArgs args = parseArgs(ctx.args, {"--title", "-o", "--output", "--tracks"}, {"--keep-temp"});
    const std::string out = args.value("-o", args.value("--output"));
    if (out.empty()) throw Failure(kExitUsage, "mkv needs -o OUT.mkv");
    mux::MkvJob job = mkvJobOf(ctx, args, "mkv");
    job.output = out;
    job.keepTemp = args.has("--keep-temp");
    mux::MkvOutcome outcome;
    try {
        outcome = mux::runMkvJob(job);
    } catch (...) {
        rethrowAsFailure();
    }
    ctx.console.progressEnd();
    for (const auto& n : outcome.notes) ctx.console.note(n);
    for (const auto& w : outcome.warnings) ctx.console.warning(w);
    if (job.keepTemp) ctx.console.note("prepared files kept in " + outcome.tempFolder);
    if (ctx.options.json) {
        nlohmann::ordered_json j;
        j["schema"] = "vantrel-cli/mkv/1";
        j["output"] = out;
        j["sources"] = sourcesOf(job);
        j["tracks"] = outcome.check.tracks;
        j["chapters"] = outcome.check.chapters;
        j["durationSeconds"] = outcome.check.durationSeconds;
        j["warnings"] = outcome.warnings;
        if (job.keepTemp) j["tempFolder"] = outcome.tempFolder;
        ctx.out << j.dump(2) << '\n';
    } else {
        ctx.out << out << '\n';
    }
    return outcome.warnings.empty() ? kExitOk : kExitWarnings;
}

} // namespace

extern const Command kMkvCommand;
const Command kMkvCommand{"mkv", "the title as one Matroska file, checked", kHelp, runMkv};

} // namespace vantrel::cli
