// sup2pgs IN.sup [-o OUT.sup]: a demuxed HD DVD subpicture file as
// presentation graphics, the subtitle form that muxers and players take.
#include "cli.h"
#include "disc_input.h"
#include "files/errors.h"
#include "files/file_layer.h"
#include "output_guard.h"
#include "subpicture/pgs_converter.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>

namespace vantrel::cli {

namespace {

constexpr std::string_view kHelp =
    "usage: vantrel-cli [--quiet] [--json] sup2pgs IN.sup [-o OUT.sup] [--shift SECONDS | --evo FILE.EVO]\n"
    "                                         [--force]\n"
    "\n"
    "Converts a subpicture file written by demux (units behind \"SP\" records) to\n"
    "a presentation graphics file (\"PG\" segments): one display set per\n"
    "subpicture at the unit's PTS plus its start delay, and an empty one at its\n"
    "stop time; times stay as the disc has them. The frame is 1920x1080.\n"
    "Damaged units are skipped with a warning that names their PTS.\n"
    "\n"
    "IN.sup      a subpicture or extended subpicture file of demux\n"
    "-o OUT.sup  the output file (default: IN with .pgs.sup in place of .sup);\n"
    "            never IN itself\n"
    "--shift S   every time S seconds earlier (a negative S: later), for\n"
    "            muxing with the files of demux, which start at 0: S is where\n"
    "            the demuxed video starts (demux says it, e.g. 1.000)\n"
    "--evo FILE  the same, S read from FILE: its first video PTS\n"
    "            (the EVO the subpicture file was demuxed from)\n"
    "--force     replace OUT.sup when it exists\n"
    "\n"
    "A subpicture that would start before 0 after the shift is left out, with a\n"
    "warning.\n";

std::string defaultOutput(const std::string& in) {
    std::string base = in;
    if (base.size() > 4) {
        std::string tail = base.substr(base.size() - 4);
        for (char& c : tail)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (tail == ".sup") base.resize(base.size() - 4);
    }
    return base + ".pgs.sup";
}

std::string timeText(std::uint32_t pts) {
    const std::uint64_t ms = pts / 90;
    char text[32];
    std::snprintf(text, sizeof text, "%u:%02u:%02u.%03u", static_cast<unsigned>(ms / 3600000),
                  static_cast<unsigned>(ms / 60000 % 60), static_cast<unsigned>(ms / 1000 % 60),
                  static_cast<unsigned>(ms % 1000));
    return text;
}

// --shift SECONDS as 90 kHz ticks: a decimal number, a sign allowed.
std::int64_t shiftTicks(const std::string& text) {
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(seconds) ||
        std::fabs(seconds) > 86400.0)
        throw Error(ErrorKind::Usage, "--shift needs seconds, as 1.000 or -0.5, not \"" + text + "\"");
    return std::llround(seconds * 90000.0);
}

// Where the video demux writes from an EVO file starts.
std::int64_t videoStartTicks(const std::string& evo) {
    requireProgramStream(evo);
    const std::optional<std::uint64_t> pts = firstVideoPts(evo);
    if (!pts) throw Error(ErrorKind::InputUnreadable, evo + " holds no video with a time stamp to start at");
    return static_cast<std::int64_t>(*pts);
}

int runSup2pgs(Context& ctx) {
    ParsedArgs args = parseArgs(ctx.args, {"-o", "--output", "--shift", "--evo"}, {"--force"});
    if (args.has("--shift") && args.has("--evo"))
        throw Error(ErrorKind::Usage, "--shift and --evo both give the shift: name one");
    const std::int64_t shift = args.has("--shift") ? shiftTicks(args.value("--shift"))
                               : args.has("--evo") ? videoStartTicks(args.value("--evo"))
                                                   : 0;
    if (args.positional.size() != 1) throw Error(ErrorKind::Usage, "sup2pgs takes one IN.sup");
    const std::string in = args.positional[0];
    const std::string out = args.value("-o", args.value("--output", defaultOutput(in)));

    checkOutputFile(out, {in}, args.has("--force"));

    std::vector<std::uint8_t> records;
    try {
        records = subpicture::readWholeFile(in);
    } catch (const Error& e) {
        throw e.as(ErrorKind::InputUnreadable);
    }
    {
        subpicture::SupRecordReader probe(records);
        subpicture::UnitRecord record;
        bool any = false;
        while (!any && probe.next(record)) any = !record.stray;
        if (!any) throw Error(ErrorKind::InputUnreadable, in + " holds no subpicture record (\"SP\" header)");
    }

    std::vector<std::string> warnings;
    subpicture::StreamFigures figures;
    bool opened = false;
    try {
        OutputFile file(out);
        opened = true;
        subpicture::PgsConverter converter(
            [&file](std::span<const std::uint8_t> bytes) { file.write(bytes.data(), bytes.size()); },
            [&](const std::string& text) {
                warnings.push_back(text);
                ctx.console.warning(text);
            });
        subpicture::SupRecordReader reader(records);
        subpicture::UnitRecord record;
        while (reader.next(record)) {
            if (shift != 0 && !record.stray) {
                const std::int64_t pts = static_cast<std::int64_t>(record.pts) - shift;
                if (pts < 0 || pts > 0xFFFFFFFFLL) {
                    const std::string text = "subpicture at PTS " + std::to_string(record.pts) + " (" +
                                             timeText(record.pts) +
                                             ") starts before 0 after the shift; left out";
                    warnings.push_back(text);
                    ctx.console.warning(text);
                    continue;
                }
                record.pts = static_cast<std::uint32_t>(pts);
            }
            converter.add(record);
        }
        converter.finish();
        file.close();
        figures = converter.figures();
    } catch (const Error& e) {
        std::error_code ec;
        if (opened) std::filesystem::remove(out, ec); // no half-written file left to be taken for a whole one
        throw e.as(ErrorKind::Output);
    }

    if (ctx.options.json) {
        nlohmann::ordered_json j;
        j["schema"] = "vantrel-cli/sup2pgs/1";
        j["input"] = in;
        j["output"] = out;
        j["shift_pts"] = shift;
        j["units"] = figures.units;
        j["converted"] = figures.converted;
        j["malformed"] = figures.malformed;
        j["animated"] = figures.animated;
        j["first_display_pts"] = figures.anyShown ? nlohmann::ordered_json(figures.firstStart) : nullptr;
        j["last_display_pts"] = figures.anyShown ? nlohmann::ordered_json(figures.lastStart) : nullptr;
        j["warnings"] = warnings;
        ctx.out << j.dump(2) << '\n';
    } else {
        ctx.out << out << ": " << figures.converted << " of " << figures.units << " subpictures";
        if (figures.anyShown)
            ctx.out << ", shown from " << timeText(figures.firstStart) << " to "
                    << timeText(figures.lastStop);
        if (figures.malformed) ctx.out << ", " << figures.malformed << " malformed units skipped";
        ctx.out << '\n';
    }
    return warnings.empty() ? kExitOk : kExitWarnings;
}

} // namespace

extern const Command kSup2pgsCommand;
const Command kSup2pgsCommand{"sup2pgs", "a demuxed subpicture file as presentation graphics (PGS) subtitles",
                              kHelp, runSup2pgs};

} // namespace vantrel::cli
