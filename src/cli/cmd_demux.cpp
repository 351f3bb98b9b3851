// demux PATH [--title N] [-o DIR] [--tracks LIST] [--full-scan]: the window's
// "Read EVO" and "Demux", with the same files, bytes and names.
#include "core_session.h"
#include "runs/runs.h"

namespace vantrel::cli {

namespace {

constexpr std::string_view kHelp =
    "usage: vantrel-cli [--quiet] [--json] demux PATH [--title N] [-o DIR] [--tracks LIST] [--full-scan]\n"
    "                                       [--force]\n"
    "\n"
    "Splits an EVO/VOB file into one file per stream, exactly as the window's\n"
    "Demux does after Read EVO: the same bytes and the same names\n"
    "(FEATURE_1_2.DD+.stream.00.mpa ...), continuing from NAME_1.EVO into\n"
    "NAME_2.EVO of the same folder.\n"
    "\n"
    "PATH        an EVO/VOB file; or a disc, HVDVD_TS folder or VPLST000.XPL: the\n"
    "            first EVO file of its longest title with clips, or of --title N\n"
    "--title N   the title whose titleNumber is N\n"
    "-o DIR      the output folder (default: the current folder; created when missing)\n"
    "--tracks L  the streams to write, by the names info prints: box names\n"
    "            (cbVideo0,cbAudio00,cbSub01), stream codes (0xC0), captions\n"
    "            (DD+.stream.00, DD+.6ch.stream.00.English, with or without the\n"
    "            description) or ISO 639 languages (eng,fre: every stream in them);\n"
    "            all (default) is every stream the scan found\n"
    "--full-scan read the whole file when looking for streams (the window's\n"
    "            default stops after 300 MB, \"Fast EVO checking\")\n"
    "--force     replace files of these names in DIR (without it an existing\n"
    "            one is refused before anything is written, exit 5)\n"
    "\n"
    "Audio streams that the window puts into one box (0x80, 0x88 and 0xA0 all in\n"
    "cbAudio00) go into one file, as in the window, with a warning (exit 1).\n"
    "Ctrl+C or a failed write removes the files of the run (exit 130 or 5).\n"
    "The files start at 0; where the video starts later on the disc (often at\n"
    "1 s), a note says where, and the sup2pgs --shift that puts subpicture files\n"
    "in step with them.\n";

int runDemux(Context& ctx) {
    return runLikeTheWindow(ctx, "demux", bDemuxClick);
}

} // namespace

extern const Command kDemuxCommand;
const Command kDemuxCommand{"demux", "one file per stream, as the window's Demux", kHelp, runDemux};

} // namespace vantrel::cli
