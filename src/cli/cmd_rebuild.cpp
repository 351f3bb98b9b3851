// rebuild PATH [--title N] [--tracks LIST] [-o DIR] [--full-scan]: the window's
// "Read EVO" and "Rebuild": NAME.rebuilt.EVO without the unticked streams.
#include "core_session.h"
#include "engine/file_layer.h"
#include "rebuild/rebuild.h"

#include <nlohmann/json.hpp>

#include <ostream>

namespace vantrel::cli {

namespace {

constexpr std::string_view kHelp =
    "usage: vantrel-cli [--json] rebuild PATH [--title N] [--tracks LIST] [-o DIR] [--full-scan]\n"
    "\n"
    "Writes NAME.rebuilt.EVO, a copy of the source without the packs of the\n"
    "streams left out and with the kept streams numbered anew, exactly as the\n"
    "window's Rebuild does after Read EVO (continuing into NAME_2.EVO likewise).\n"
    "\n"
    "PATH        an EVO/VOB file; or a disc, HVDVD_TS folder or VPLST000.XPL with --title\n"
    "--title N   the first EVO file of the title whose titleNumber is N\n"
    "--tracks L  the stream boxes to keep, by name (cbVideo0,cbAudio00) or all (default)\n"
    "-o DIR      the output folder (default: the current folder); it must exist\n"
    "--full-scan read the whole file when looking for streams\n";

int runRebuild(Context& ctx) {
    ParsedArgs args = parseArgs(ctx.args, {"--title", "-o", "--output", "--tracks"}, {"--full-scan"});
    const std::string source = sourceOfCommand(ctx, args, "rebuild");
    CoreSession session(ctx);
    session.selectSource(source);
    session.setOutputFolder(args.value("-o", args.value("--output")));
    session.scan(!args.has("--full-scan"));
    session.chooseTracks(args.value("--tracks", "all"));
    const std::size_t from = session.window.logLines.size();
    bRebuildClick(session.core);
    if (ctx.options.json) {
        nlohmann::ordered_json j;
        j["schema"] = "vantrel-cli/rebuild/1";
        j["source"] = source;
        j["tracks"] = session.tickedBoxes();
        j["files"] = nlohmann::ordered_json::array();
        for (const std::string& f : session.createdFiles(from)) {
            std::int64_t size = -1;
            try {
                size = InputFile(f).size();
            } catch (const std::exception&) {
            }
            j["files"].push_back({{"path", f}, {"bytes", size}});
        }
        j["log"] = session.window.logLines;
        ctx.out << j.dump(2) << '\n';
    }
    return kExitOk;
}

} // namespace

extern const Command kRebuildCommand;
const Command kRebuildCommand{
    "rebuild", "NAME.rebuilt.EVO without the streams left out, as the window's Rebuild", kHelp, runRebuild};

} // namespace vantrel::cli
