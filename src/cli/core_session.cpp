#include "core_session.h"

#include "disc/time_map.h"
#include "disc_input.h"
#include "engine/click_handlers.h"
#include "files/file_layer.h"
#include "files/path_parts.h"
#include "interruption.h"
#include "names/track_names.h"
#include "output_guard.h"
#include "rebuild/rebuild.h"
#include "runs/runs.h"
#include "runs/source_selection.h"
#include "source_checks.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <ostream>
#include <sstream>

namespace vantrel::cli {

namespace {
// The streams of the scanned source as --tracks names them: each box that
// holds one, with its code and caption, and what the title's playlist says of
// the stream in it (its caption, description and language).
std::vector<TrackCandidate> boxCandidates(const Core& core, const std::optional<disc::Title>& title,
                                          std::vector<int>& boxes) {
    std::vector<disc::TitleStream> listed;
    if (title) listed = disc::buildTitleModel(*title, {}).streams;
    std::vector<TrackCandidate> candidates;
    for (int box : StreamBoxes::tiedBoxes()) {
        if (!core.boxes[box].enabled) continue;
        TrackCandidate c;
        c.box = StreamBoxes::name(box);
        c.code = core.streamTable[StreamBoxes::slotOf(box)];
        c.captions.push_back(core.boxes[box].caption);
        for (const disc::TitleStream& t : listed)
            if (t.listed && t.box == c.box) {
                c.captions.push_back(t.caption);
                c.description = t.description;
                c.language = t.language6392;
            }
        candidates.push_back(c);
        boxes.push_back(box);
    }
    return candidates;
}
} // namespace

namespace {

// A title that plays `file` and clips that are not there: the run gives part of it.
void warnOfMissingClips(Context& ctx, const disc::Title& title, const std::string& file,
                        const std::string& evoFolder) {
    for (const std::string& missing : disc::filesOfTitle(title, evoFolder).missing)
        ctx.console.warning("title " + std::to_string(title.number) + " plays " + fileNamePart(file) +
                            " and also " + fileNamePart(missing) + ", which is not there (" + missing +
                            "): this run gives part of the title; copy the missing file from the disc");
}

} // namespace

CommandSource sourceOfCommand(Context& ctx, const ParsedArgs& args, const std::string& command) {
    if (args.positional.size() != 1) throw Error(ErrorKind::Usage, command + " takes one PATH");
    const std::string path = args.positional[0];
    const std::optional<int> titleNumber = titleOption(args);
    DiscInput input = openDiscInput(path, titleNumber.has_value());
    if (!input.at.playlistNote.empty()) ctx.console.note(input.at.playlistNote);
    if (!input.at.caseNote.empty()) ctx.console.note(input.at.caseNote);
    CommandSource source;
    std::vector<std::string> read; // the files of the title that the run reads
    if (input.at.kind == disc::DiscLocation::Kind::EvoFile && !titleNumber) {
        source.path = path;
        read.push_back(path);
        // The title it begins or plays in, for the playlist's names of its streams.
        const auto playing = input.playlist ? input.playlist->titlesPlaying(fileNamePart(path))
                                            : std::vector<const disc::Title*>{};
        if (!playing.empty()) {
            source.title = *playing.front();
            warnOfMissingClips(ctx, *source.title, path, input.at.evoFolder);
        }
    } else {
        // Without --title the title every command takes: the longest with clips.
        const disc::Title* chosen = titleNumber      ? &requireTitle(input, *titleNumber)
                                    : input.playlist ? disc::defaultTitle(*input.playlist)
                                                     : nullptr;
        if (!input.playlist)
            throw Error(ErrorKind::NotFound,
                        "no playlist (ADV_OBJ/VPLST000.XPL) found for " + path + ": give an EVO file of it");
        if (chosen == nullptr || chosen->evoNames().empty())
            throw Error(ErrorKind::NotFound, "the playlist has no title that plays a clip");
        const disc::Title& title = *chosen;
        if (!titleNumber)
            ctx.console.note("title " + std::to_string(title.number) + " (" + title.displayName +
                             "), the longest with clips; --title N picks another");
        if (input.at.evoFolder.empty())
            throw Error(ErrorKind::InputUnreadable, "the EVO files of title " + std::to_string(title.number) +
                                                        " are not at hand (no HVDVD_TS folder)");
        const disc::TitleFiles files = disc::filesOfTitle(title, input.at.evoFolder);
        for (const std::string& n : files.notes) ctx.console.note(n);
        for (const std::string& w : files.warnings) ctx.console.warning(w);
        // Half a title is never made without a word: a clip that is not there ends the command.
        if (!files.missing.empty()) {
            std::string names;
            for (const std::string& m : files.missing) names += (names.empty() ? "" : ", ") + m;
            throw Error(ErrorKind::InputUnreadable,
                        "title " + std::to_string(title.number) + " plays " + names + ", which " +
                            (files.missing.size() == 1 ? "is" : "are") + " not there; copy it from the disc");
        }
        if (files.paths.empty())
            throw Error(ErrorKind::InputUnreadable,
                        "title " + std::to_string(title.number) + " plays no EVO file that is there");
        source.path = files.paths.front();
        source.title = title;
        read = files.paths;
        for (const std::string& p : files.paths) disc::refuseInterleavedAngles(p);
    }
    disc::refuseInterleavedAngles(source.path);
    if (source.title && input.playlist)
        for (const disc::ClipSpan& s : disc::clipSpans(*source.title, input.playlist->frameRate, read))
            if (s.cut()) ctx.console.warning(disc::cutClipWarning(s));
    requireProgramStream(source.path);
    return source;
}

CoreSession::CoreSession(Context& ctx) : window(ctx.console), core(window), m_ctx(ctx) {
    window.follow(core);
    core.readsImages = true; // IMAGE/HVDVD_TS/NAME.EVO, as every command takes them
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

void CoreSession::chooseTracks(const std::string& list, const std::optional<disc::Title>& title) {
    std::vector<int> boxes;
    const std::vector<TrackCandidate> candidates = boxCandidates(core, title, boxes);
    if (candidates.empty())
        throw Error(ErrorKind::InputUnreadable, "the scan found no stream in " + core.EVOname);
    const std::vector<bool> chosen = chosenTracks(list, candidates, core.EVOname);
    for (int box : StreamBoxes::tiedBoxes()) core.boxes.setTicked(box, false);
    for (std::size_t i = 0; i < boxes.size(); ++i) core.boxes.setTicked(boxes[i], chosen[i]);
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

// Demuxed files start at 0; a subpicture file keeps the disc's times. Where
// the video does not start at 0 the note says where, and how sup2pgs shifts.
void noteVideoStart(Context& ctx, const std::string& source, const CoreSession& session) {
    const std::optional<std::uint64_t> pts = firstVideoPts(source);
    if (!pts || *pts == 0) return;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", static_cast<double>(*pts) / 90000.0);
    bool subtitles = false;
    for (const std::string& box : session.tickedBoxes()) subtitles = subtitles || box.rfind("cbSub", 0) == 0;
    ctx.console.note(std::string("the video of ") + fileNamePart(source) + " starts at " + seconds +
                     " s (PTS " + std::to_string(*pts) + "); its demuxed files start at 0" +
                     (subtitles ? ", while the subpicture files keep the disc's times: "
                                  "vantrel-cli sup2pgs FILE.sup --shift " +
                                      std::string(seconds) + " puts them in step"
                                : ": give sup2pgs --shift " + std::string(seconds) +
                                      " for subpicture files muxed with them"));
}

} // namespace

int runLikeTheWindow(Context& ctx, const std::string& command, void (*click)(Core&)) {
    ParsedArgs args =
        parseArgs(ctx.args, {"--title", "-o", "--output", "--tracks"}, {"--full-scan", "--force"});
    const CommandSource chosen = sourceOfCommand(ctx, args, command);
    const std::string& source = chosen.path;
    const std::string folder = args.value("-o", args.value("--output"));
    // A folder the run made stays only when the run wrote into it.
    struct MadeFolder {
        std::string path;
        bool keep = false;
        ~MadeFolder() {
            std::error_code ec;
            if (!keep && !path.empty()) std::filesystem::remove(path, ec); // only when empty
        }
    } made;
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::exists(folder, ec)) made.path = folder;
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
    session.chooseTracks(args.value("--tracks", "all"), chosen.title);
    std::vector<std::string> kept;
    if (command == "rebuild") kept = session.keptInSpiteOfTracks();
    for (const std::string& w : kept) ctx.console.warning(w);
    // The window replaces what is there; the command line asks for --force first.
    checkRunOutputs(command == "rebuild" ? std::vector<std::string>{rebuiltOutputName(session.core)}
                                         : demuxOutputNames(session.core),
                    inputsOfRun(args.positional.front(), {source}), args.has("--force"));
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
    made.keep = true;
    if (command == "demux") noteVideoStart(ctx, source, session);
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
