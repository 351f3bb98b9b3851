// mkv PATH [--title N] -o OUT.mkv [--tracks LIST] [--keep-temp]: the title as
// one Matroska file with named tracks, languages, chapters and audio in sync.
#include "interruption.h"
#include "mkv_input.h"
#include "mux/one_pass_job.h"
#include "output_guard.h"
#include "source_checks.h"

#include <nlohmann/json.hpp>

#include <ostream>

namespace vantrel::cli {

namespace {

constexpr std::string_view kHelp =
    "usage: vantrel-cli [--quiet] [--json] mkv PATH [--title N] -o OUT.mkv [--tracks LIST]\n"
    "                                          [--muxer M] [--keep-temp] [--force]\n"
    "\n"
    "Writes a title as one Matroska file: video, every audio stream\n"
    "(LPCM as WAV) with the playlist's names and languages, each delayed by its\n"
    "first time stamp against the video's, the chapters, and a title of several\n"
    "clips joined in playlist order with its audio kept in sync. Every\n"
    "subpicture stream becomes a PGS subtitle track with the playlist's name and\n"
    "language, never the default one, forced where all its units are. The result\n"
    "is read back and checked before it is given its name.\n"
    "\n"
    "PATH         an EVO file; or a disc, HVDVD_TS folder, VPLST000.XPL or disc image\n"
    "             (.iso, a drive): its longest title with clips, or --title N\n"
    "--title N    the title whose titleNumber is N; without it the longest title\n"
    "-o OUT.mkv   the output file (written under a temporary name, renamed at the end)\n"
    "--tracks L   the streams to mux, by the names info prints: box names\n"
    "             (cbVideo0,cbAudio01,cbSub00), stream codes (0xC0), captions\n"
    "             (DD+.stream.00, DD+.6ch.stream.00.English, with or without the\n"
    "             description) or ISO 639 languages (eng,fre); default all\n"
    "--clock C    auto (default), 60 or 59.94: the clock of the chapter times, as\n"
    "             for chapters (one decision per title for every command)\n"
    "--muxer M    internal (default): written in the pass that reads the clips;\n"
    "             mkvmerge: prepared files beside OUT, then mkvmerge, then mkvmerge -J\n"
    "--keep-temp  keep the folder of prepared files (mux.json, title.json) beside OUT\n"
    "             (with mkvmerge, which it selects)\n"
    "--force      replace OUT.mkv when it exists or appears while the run works (it\n"
    "             is never one of the inputs)\n"
    "\n"
    "Exit codes: 1 done with warnings (every join gap or overlap is one),\n"
    "5 OUT exists, appeared during the run or cannot be written, or another run\n"
    "writes it now, 6 mkvmerge missing or failing, 7 the result\n"
    "does not hold what was meant, 130 interrupted (nothing is left beside OUT).\n";

int runMkv(Context& ctx) {
    ParsedArgs args = parseArgs(ctx.args, {"--title", "-o", "--output", "--tracks", "--clock", "--muxer"},
                                {"--keep-temp", "--force"});
    const std::string out = args.value("-o", args.value("--output"));
    if (out.empty()) throw Error(ErrorKind::Usage, "mkv needs -o OUT.mkv");
    checkOutputFile(out, {}, args.has("--force"));
    clearLeftTemporaries(ctx.console, out, args.has("--force"));
    InterruptScope interrupts;
    mux::MkvJob job = mkvJobOf(ctx, args, "mkv");
    checkOutputFile(out, inputsOfRun(args.positional.front(), sourcesOf(job)), args.has("--force"));
    for (const std::string& part : sourcesOf(job))
        if (auto cut = cutPackWarning(part)) ctx.console.warning(*cut);
    job.output = out;
    job.keepTemp = args.has("--keep-temp");
    job.replace = args.has("--force");
    // The prepared files exist only on the way through mkvmerge: --keep-temp asks for it.
    const std::string muxer = args.value("--muxer", job.keepTemp ? "mkvmerge" : "internal");
    if (muxer != "internal" && muxer != "mkvmerge")
        throw Error(ErrorKind::Usage, "--muxer takes internal or mkvmerge, not \"" + muxer + "\"");
    if (job.keepTemp && muxer == "internal")
        throw Error(ErrorKind::Usage,
                    "--keep-temp keeps the files prepared for mkvmerge; --muxer internal writes none");
    job.inProcess = muxer == "internal";
    job.stopRequested = interruptRequested;
    Console* console = &ctx.console;
    job.progress = [shown = job.progress, console](const std::string& stage, std::int64_t done,
                                                   std::int64_t total) {
        if (interruptRequested()) throw Error(ErrorKind::Interrupted, "interrupted");
        // mkvmerge's own percent, not a byte rate.
        if (stage == "Muxing" && total == 100)
            console->progressPercent("muxing with mkvmerge", static_cast<int>(done));
        else if (shown)
            shown(stage, done, total);
    };
    const mux::MkvOutcome outcome = mux::runTitleMkv(job);
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
        j["warnings"] = summedWarnings(outcome.warnings);
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
