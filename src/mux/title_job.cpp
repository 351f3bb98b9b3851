#include "title_job.h"

#include "disc/time_map.h"
#include "files/disc_image.h"
#include "files/errors.h"
#include "files/file_layer.h"
#include "names/continued_parts.h"
#include "packets/stream_ids.h"

#include <cstdio>
#include <filesystem>
#include <sstream>

namespace vantrel::mux {

namespace {

// The playlist's index of a stream code, as the window's boxes count them.
int indexOfCode(std::uint8_t c, disc::StreamKind& kind) {
    const ids::CodeKind k = ids::kindOfCode(c);
    kind = ids::isVideo(k)        ? disc::StreamKind::Video
           : ids::isSubpicture(k) ? disc::StreamKind::Subtitle
                                  : disc::StreamKind::Audio;
    return ids::indexOfCode(c);
}

std::string fileName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

// The clips of a title as parts of the job: every clip's EVO, with its span
// where the clip starts inside the EVO or ends before the title moves on.
void addClips(TitleJob& out, const disc::Title& title, const disc::Playlist& playlist,
              const std::string& evoFolder) {
    const std::string number = std::to_string(title.number);
    std::vector<std::string> seen;
    for (const disc::Clip& clip : title.clips) {
        if (clip.evoName.empty()) continue;
        for (const std::string& s : seen)
            if (s == clip.evoName)
                throw Error(ErrorKind::Usage, "title " + number + " plays " + clip.evoName +
                                                  " more than once (a loop); it cannot be muxed as one file");
        seen.push_back(clip.evoName);
        const std::string path = evoFolder + clip.evoName;
        if (sourceKind(path) != SourceKind::File) { // on disk or inside a disc image
            std::string text = "title " + number;
            text += " plays " + clip.evoName;
            text += ", which is not in " + evoFolder;
            throw Error(ErrorKind::InputUnreadable, text);
        }
        disc::refuseInterleavedAngles(path);
        ClipPart part;
        part.path = path;
        part.rate = playlist.frameRate;
        const auto begin = disc::parseTitleTime(clip.clipTimeBegin);
        if (begin && begin->frameCount(part.rate) > 0) part.beginFrames = begin->frameCount(part.rate);
        const auto from = disc::parseTitleTime(clip.timeBegin);
        const auto to = disc::parseTitleTime(clip.timeEnd);
        // The clip plays for as long as the title's time line gives it.
        if (from && to && to->frameCount(part.rate) > from->frameCount(part.rate))
            part.lengthFrames = to->frameCount(part.rate) - from->frameCount(part.rate);
        out.job.parts.push_back(part);
    }
    if (out.job.parts.empty())
        throw Error(ErrorKind::InputUnreadable, "title " + number + " plays no EVO file that is there");
}

// The title's clock, decided once as every command decides it (chapters, info).
disc::ClockChoice clockOfTitle(TitleJob& out, const disc::Title& title, int rate, const std::string& text) {
    const std::optional<disc::ClockSetting> setting = disc::clockSetting(text.empty() ? "auto" : text, rate);
    if (!setting)
        throw Error(ErrorKind::Usage,
                    "--clock takes " + disc::clockSettingChoices(rate) + ", not \"" + text + "\"");
    std::vector<std::string> paths;
    for (const ClipPart& p : out.job.parts) paths.push_back(p.path);
    disc::ClockChoice clock = disc::titleClock(title, rate, *setting, paths);
    out.notes.push_back(clock.note(rate));
    return clock;
}

void labelAndTime(TitleJob& out, const disc::Title& title, int rate, const disc::ClockChoice& clock) {
    MkvJob& job = out.job;
    job.title = title.displayName;
    const disc::Title copy = title;
    for (const disc::PlaylistStream& s : copy.streams)
        if (s.advanced) out.warnings.push_back(disc::advancedSubtitleWarning(copy, s));
    job.timing = [copy, rate, clock](double /*videoSeconds*/, double& seconds,
                                     std::vector<ChapterMark>& chapters) {
        if (copy.duration) seconds = disc::titleSeconds(*copy.duration, rate, clock.clock);
        chapters.clear();
        for (const disc::TimedChapter& c : disc::timedChapters(copy, rate, clock.clock))
            chapters.push_back({c.seconds, c.chapter->name});
    };
    job.label = [copy](std::uint8_t code) -> std::optional<StreamLabel> {
        disc::StreamKind kind;
        const int index = indexOfCode(code, kind);
        for (const auto& s : copy.streams) {
            if (s.kind != kind || s.index() != index) continue;
            StreamLabel l;
            l.language = s.language6392;
            l.description = s.description;
            l.flags = {s.flags.commentary, s.flags.visuallyImpaired, s.flags.forced, s.flags.hearingImpaired};
            return l;
        }
        return std::nullopt;
    };
}

} // namespace

std::set<std::uint8_t> codesOfTrackName(const std::string& name) {
    std::set<std::uint8_t> codes;
    int n = -1;
    if (std::sscanf(name.c_str(), "cbVideo%d", &n) == 1 && n >= 0 && n <= 1) {
        for (const ids::Range range : {ids::kMpeg2Video, ids::kH264Video, ids::kVc1Video})
            codes.insert(static_cast<std::uint8_t>(range.first + n));
    } else if (std::sscanf(name.c_str(), "cbAudio%d", &n) == 1 && n >= 0 && n <= 15) {
        codes.insert(static_cast<std::uint8_t>(ids::kDdPlus.first + n));
        if (n < 8)
            for (const ids::Range range : {ids::kDd, ids::kDtsHd, ids::kLpcm, ids::kMlp})
                codes.insert(static_cast<std::uint8_t>(range.first + n));
    } else if (name.size() == 4 && name[0] == '0' && (name[1] == 'x' || name[1] == 'X')) {
        unsigned v = 0;
        if (std::sscanf(name.c_str() + 2, "%x", &v) == 1 && v <= 0xFF)
            codes.insert(static_cast<std::uint8_t>(v));
    } else {
        for (int c = 0; c < 256; ++c) {
            PreparedStream s;
            s.code = static_cast<std::uint8_t>(c);
            s.kind = ids::isVideo(ids::kindOfCode(c)) ? kindOfVideo(s.code) : kindOfSubStream(s.code);
            if (s.kind != EsKind::Unknown && streamCaption(s) == name) codes.insert(s.code);
        }
    }
    return codes;
}

const disc::Title& titleOfNumber(const std::optional<disc::Playlist>& playlist, int number) {
    if (!playlist) throw Error(ErrorKind::NotFound, "--title needs a playlist, and none was found");
    if (const disc::Title* t = playlist->findTitle(number)) return *t;
    std::string known;
    for (const disc::Title& t : playlist->titles)
        known += (known.empty() ? "" : ", ") + std::to_string(t.number);
    throw Error(ErrorKind::NotFound,
                "title " + std::to_string(number) + " not found; the playlist has title" +
                    (playlist->titles.size() == 1 ? " " : "s ") + (known.empty() ? "none" : known));
}

TitleJob titleJob(const disc::DiscLocation& at, const std::optional<disc::Playlist>& playlist,
                  const TitleRequest& request) {
    TitleJob out;
    const disc::Title* title = nullptr;
    if (at.kind == disc::DiscLocation::Kind::EvoFile && !request.title) {
        const std::string& path = at.evoFile;
        const std::string name = fileName(path);
        const auto playing = playlist ? playlist->titlesPlaying(name) : std::vector<const disc::Title*>{};
        if (!playing.empty()) title = playing.front();
        if (title && !title->clips.empty() && title->clips.front().evoName == name) {
            // The title this file begins: its clips, as the playlist has them.
            std::string folder = std::filesystem::path(path).parent_path().string();
            folder += folder.empty() ? "./" : "/";
            addClips(out, *title, *playlist, folder);
        } else {
            disc::refuseInterleavedAngles(path);
            out.job.parts.emplace_back(path);
        }
        // Without a playlist that plays it, a first part goes on in its second
        // part, as the window's Demux does.
        if (playing.empty() && isFirstPart(path)) {
            const std::string next = secondPartPath(path);
            if (fileExists(next)) {
                out.job.parts.emplace_back(next);
                out.notes.push_back(name + " goes on in " + fileName(next) + " by the file names");
            }
        }
    } else {
        if (request.title) {
            title = &titleOfNumber(playlist, *request.title);
        } else {
            if (!playlist) throw Error(ErrorKind::NotFound, "no playlist (ADV_OBJ/VPLST000.XPL) found");
            title = disc::defaultTitle(*playlist);
            if (!title || title->evoNames().empty())
                throw Error(ErrorKind::NotFound, "the playlist has no title that plays a clip");
            out.longest = true;
        }
        if (at.evoFolder.empty())
            throw Error(ErrorKind::InputUnreadable, "the EVO files of title " +
                                                        std::to_string(title->number) +
                                                        " are not at hand (no HVDVD_TS folder)");
        addClips(out, *title, *playlist, at.evoFolder);
    }
    out.title = title;
    if (title) {
        const int rate = playlist ? playlist->frameRate : 60;
        labelAndTime(out, *title, rate, clockOfTitle(out, *title, rate, request.clock));
        if (std::string note = disc::durationPastClipsNote(*title, rate); !note.empty())
            out.notes.push_back(std::move(note));
    }
    if (!request.tracks.empty() && request.tracks != "all") {
        std::stringstream list(request.tracks);
        std::string name;
        while (std::getline(list, name, ',')) {
            const auto codes = codesOfTrackName(name);
            if (codes.empty()) throw Error(ErrorKind::Usage, "--tracks: " + name + " names no stream");
            out.job.only.insert(codes.begin(), codes.end());
        }
    }
    return out;
}

} // namespace vantrel::mux
