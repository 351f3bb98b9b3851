// rebuild PATH [--title N] [--tracks LIST] [-o DIR] [--full-scan]: the window's
// "Read EVO" and "Rebuild": NAME.rebuilt.EVO without the unticked streams.
#include "core_session.h"
#include "rebuild/rebuild.h"

namespace vantrel::cli {

namespace {

constexpr std::string_view kHelp =
    "usage: vantrel-cli [--quiet] [--json] rebuild PATH [--title N] [--tracks LIST] [-o DIR] [--full-scan]\n"
    "                                         [--force]\n"
    "\n"
    "Writes NAME.rebuilt.EVO, a copy of the source without the packs of the\n"
    "streams left out and with the kept streams numbered anew, exactly as the\n"
    "window's Rebuild does after Read EVO (continuing into NAME_2.EVO likewise).\n"
    "\n"
    "PATH        an EVO/VOB file; or a disc, HVDVD_TS folder or VPLST000.XPL: the\n"
    "            first EVO file of its longest title with clips, or of --title N\n"
    "--title N   the title whose titleNumber is N\n"
    "--tracks L  the streams to keep, named as for demux (box names, stream codes,\n"
    "            captions, languages); all (default). AC-3, LPCM, MLP\n"
    "            and extended subpicture streams are always kept (a warning names\n"
    "            each one --tracks leaves out, exit 1)\n"
    "-o DIR      the output folder (default: the current folder; created when missing)\n"
    "--full-scan read the whole file when looking for streams\n"
    "--force     replace NAME.rebuilt.EVO in DIR (without it an existing one is\n"
    "            refused before anything is written, exit 5)\n";

int runRebuild(Context& ctx) {
    return runLikeTheWindow(ctx, "rebuild", bRebuildClick);
}

} // namespace

extern const Command kRebuildCommand;
const Command kRebuildCommand{
    "rebuild", "NAME.rebuilt.EVO without the streams left out, as the window's Rebuild", kHelp, runRebuild};

} // namespace vantrel::cli
