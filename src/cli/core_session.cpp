#include "core_session.h"

#include "disc/time_map.h"
#include "disc_input.h"
#include "engine/click_handlers.h"
#include "files/file_layer.h"
#include "interruption.h"
#include "output_guard.h"
#include "rebuild/rebuild.h"
#include "runs/runs.h"
#include "runs/source_selection.h"
#include "source_checks.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <ostream>
#include <sstream>

namespace vantrel::cli {

namespace {
// A box by its name (cbAudio01), its stream's code (0x81) or its caption
// (DD.stream.01), as mkv and info name streams; -1 when none.
int boxNamed(const Core& core, const std::string& name) {
    if (const int box = StreamBoxes::find(name); box >= 0) return box;
    for (int box : StreamBoxes::tiedBoxes()) {
        if (!core.boxes[box].enabled) continue;
        const int code = core.streamTable[StreamBoxes::slotOf(box)];
        std::string lower = name;
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        std::string hex = hexId(code);
        for (char& c : hex)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if ((code >= 0 && lower == hex) || core.boxes[box].caption == name) return box;
    }
    return -1;
}
} // namespace

std::string sourceOfCommand(Context& ctx, const ParsedArgs& args, const std::string& command) {
    if (args.positional.size() != 1) throw Error(ErrorKind::Usage, command + " takes one PATH");
    const std::string path = args.positional[0];
    const std::optional<int> titleNumber = titleOption(args);
    DiscInput input = openDiscInput(path, titleNumber.has_value());
    std::string source;
    if (input.at.kind == disc::DiscLocation::Kind::EvoFile && !titleNumber) {
        source = path;
    } else {
        if (!titleNumber)
            throw Error(ErrorKind::Usage,
                        path + " is a disc or a playlist: name a title with --title N, or give an EVO file");
        const disc::Title& title = requireTitle(input, *titleNumber);
        if (input.at.evoFolder.empty())
            throw Error(ErrorKind::InputUnreadable, "the EVO files of title " + std::to_string(title.number) +
                                                        " are not at hand (no HVDVD_TS folder)");
        const disc::TitleFiles files = disc::filesOfTitle(title, input.at.evoFolder);
        for (const std::string& w : files.warnings) ctx.console.warning(w);
        if (files.paths.empty())
            throw Error(ErrorKind::InputUnreadable,
                        "title " + std::to_string(title.number) + " plays no EVO file that is there");
        source = files.paths.front();
        for (const std::string& p : files.paths) disc::refuseInterleavedAngles(p);
    }
    disc::refuseInterleavedAngles(source);
    requireProgramStream(source);
    return source;
}

CoreSession::CoreSession(Context& ctx) : window(ctx.console), core(window), m_ctx(ctx) {
    window.follow(core);
    if (!ctx.options.json && !ctx.options.quiet)
        window.onLog = [this](const std::string& line) {
            m_ctx.console.progressEnd();
            m_ctx.out << line << '\n' << std::flush;
        };
    // The window starts with its boxes reset.
    Resetcbs(core);
}

void CoreSession::selectSource(const std::string& path) {
    window.setFieldText(Field::EVOfile, path);
    EVOadj(core);
}

void CoreSession::setOutputFolder(const std::string& folder) {
    window.setFieldText(Field::Workdir, folder);
}

void CoreSession::scan(bool fastCheck) {
    window.options[Option::FastCheck] = fastCheck;
    bCheckClick(core);
    m_ctx.console.progressEnd();
}

void CoreSession::chooseTracks(const std::string& list) {
    std::vector<std::string> found;
    for (int box : StreamBoxes::tiedBoxes())
        if (core.boxes[box].enabled) found.push_back(StreamBoxes::name(box));
    std::string foundText;
    for (const std::string& n : found) foundText += (foundText.empty() ? "" : ",") + n;
    if (found.empty()) throw Error(ErrorKind::InputUnreadable, "the scan found no stream in " + core.EVOname);
    if (list.empty() || list == "all") {
        for (int box : StreamBoxes::tiedBoxes()) core.boxes.setTicked(box, core.boxes[box].enabled);
        return;
    }
    std::vector<int> wanted;
    std::stringstream in(list);
    std::string name;
    while (std::getline(in, name, ',')) {
        if (name.empty()) continue;
        const int box = boxNamed(core, name);
        if (box < 0)
            throw Error(ErrorKind::Usage, "--tracks: no stream box, stream code or caption is " + name +
                                              " (found: " + foundText + ")");
        if (!core.boxes[box].enabled)
            throw Error(ErrorKind::Usage, "--tracks: " + name + " holds no stream in " + core.EVOname +
                                              " (found: " + foundText + ")");
        wanted.push_back(box);
    }
    if (wanted.empty()) throw Error(ErrorKind::Usage, "--tracks names no stream box");
    for (int box : StreamBoxes::tiedBoxes()) {
        bool want = false;
        for (int w : wanted) want = want || w == box;
        core.boxes.setTicked(box, want);
    }
}

std::vector<std::string> CoreSession::tickedBoxes() const {
    std::vector<std::string> names;
    for (int box : StreamBoxes::tiedBoxes())
        if (core.boxes.ticked(box)) names.push_back(StreamBoxes::name(box));
    return names;
}

std::vector<std::string> CoreSession::keptInSpiteOfTracks() const {
    std::vector<std::string> warnings;
    for (int box : StreamBoxes::tiedBoxes()) {
        if (!core.boxes[box].enabled || core.boxes.ticked(box)) continue;
        const int code = core.streamTable[StreamBoxes::slotOf(box)];
        if (code < 0 || rebuildCanLeaveOut(StreamBoxes::kindOf(box), code)) continue;
        warnings.push_back(
            "--tracks leaves out " + StreamBoxes::name(box) + " (" + hexId(code) + ", " +
            core.boxes[box].caption +
            "), but rebuild cannot leave out a stream of that kind: it stays in the rebuilt file");
    }
    return warnings;
}

std::vector<std::string> CoreSession::createdFiles(std::size_t fromLine) const {
    std::vector<std::string> files;
    for (std::size_t i = fromLine; i < window.logLines.size(); ++i)
        if (window.logLines[i].rfind("Creating ", 0) == 0) files.push_back(window.logLines[i].substr(9));
    return files;
}

namespace {

// The outputs of a run that did not finish: removed, so that none is taken for a finished file.
void removeUnfinished(const std::vector<std::string>& files) {
    for (const std::string& f : files) {
        std::error_code ec;
        std::filesystem::remove(f, ec);
    }
}

} // namespace

int runLikeTheWindow(Context& ctx, const std::string& command, void (*click)(Core&)) {
    ParsedArgs args = parseArgs(ctx.args, {"--title", "-o", "--output", "--tracks"}, {"--full-scan"});
    const std::string source = sourceOfCommand(ctx, args, command);
    const std::string folder = args.value("-o", args.value("--output"));
    makeOutputFolder(folder);
    InterruptScope interrupts;
    CoreSession session(ctx);
    session.selectSource(source);
    session.setOutputFolder(folder);
    session.scan(!args.has("--full-scan"));
    if (interruptRequested()) throw Error(ErrorKind::Interrupted, "interrupted");
    // Rebuild copies packs as they are; only demux merges streams that share a box.
    if (command == "demux")
        for (const std::string& w : sourceWarnings(source)) ctx.console.warning(w);
    else if (auto cut = cutPackWarning(source))
        ctx.console.warning(*cut);
    session.chooseTracks(args.value("--tracks", "all"));
    std::vector<std::string> kept;
    if (command == "rebuild") kept = session.keptInSpiteOfTracks();
    for (const std::string& w : kept) ctx.console.warning(w);
    const std::size_t from = session.window.logLines.size();
    try {
        click(session.core);
    } catch (...) {
        ctx.console.progressEnd();
        removeUnfinished(session.createdFiles(from));
        throw;
    }
    if (interruptRequested()) {
        ctx.console.progressEnd();
        removeUnfinished(session.createdFiles(from));
        throw Error(ErrorKind::Interrupted, "interrupted");
    }
    if (ctx.options.json) {
        nlohmann::ordered_json j;
        j["schema"] = "vantrel-cli/" + command + "/1";
        j["source"] = source;
        j["tracks"] = session.tickedBoxes();
        if (command == "rebuild") j["warnings"] = kept;
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

} // namespace vantrel::cli
