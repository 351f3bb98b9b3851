#include "title_job.h"

#include "disc/time_map.h"
#include "files/disc_image.h"
#include "files/errors.h"
#include "files/file_layer.h"
#include "names/continued_parts.h"
#include "names/track_names.h"
#include "packets/stream_ids.h"

#include <algorithm>
#include <cctype>
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
        // On disk or inside a disc image, in whatever case a copy gave the name.
        const std::optional<FoundEntry> found = findEntry(evoFolder, clip.evoName, SourceKind::File);
        if (!found) {
            std::string text = "title " + number;
            text += " plays " + clip.evoName;
            text += ", which is not in " + evoFolder;
            throw Error(ErrorKind::InputUnreadable, text);
        }
        if (found->byCaseAlone)
            out.notes.push_back("title " + number + ": the playlist's " + clip.evoName + " is " +
                                fileName(found->path) + " here (names matched by case alone)");
        disc::refuseInterleavedAngles(found->path);
        ClipPart part;
        part.path = found->path;
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
    // A file cut short would give a file short of the title: none is made of it.
    if (!clock.cutWarnings.empty()) {
        std::string text;
        for (const std::string& w : clock.cutWarnings) text += (text.empty() ? "" : "; ") + w;
        throw Error(ErrorKind::InputUnreadable, "title " + std::to_string(title.number) + ": " + text);
    }
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
        // What plays: a titleDuration past the last clip's end adds nothing to the file.
        if (const auto played = disc::playedLength(copy, rate))
            seconds = disc::titleSeconds(*played, rate, clock.clock);
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

// Bytes read at each end of a file for the streams --tracks may name: a
// stream the files hold shows up there, as the scan's fast check finds it.
constexpr std::int64_t kStreamSurveyEnds = std::int64_t{16} * 1024 * 1024;

// The streams of the job's files as --tracks names them: the title's (the
// playlist's names and languages joined to the codes the files hold), or
// those of the files alone.
std::vector<disc::TitleStream> streamsOfJob(const TitleJob& out, const disc::DiscLocation& at,
                                            const disc::Title* title) {
    auto survey = [](const std::string& path) { return disc::surveyFileEnds(path, kStreamSurveyEnds); };
    if (title) {
        std::string folder = at.evoFolder;
        if (folder.empty()) {
            folder = std::filesystem::path(out.job.parts.front().path).parent_path().string();
            folder += folder.empty() ? "./" : "/";
        }
        return disc::buildTitleModel(*title, folder, survey).streams;
    }
    std::vector<disc::TitleStream> streams;
    for (const ClipPart& part : out.job.parts)
        for (disc::TitleStream& t : disc::fileStreams(survey(part.path))) {
            bool known = false;
            for (const disc::TitleStream& o : streams) known = known || o.code == t.code;
            if (!known) streams.push_back(std::move(t));
        }
    return streams;
}

// --tracks: the stream codes the job keeps. A stream the playlist lists but the
// files' ends do not show stands for every code its box takes.
void chooseStreams(TitleJob& out, const disc::DiscLocation& at, const disc::Title* title,
                   const std::string& tracks) {
    const std::vector<disc::TitleStream> streams = streamsOfJob(out, at, title);
    std::vector<TrackCandidate> candidates;
    for (const disc::TitleStream& t : streams) {
        if (t.advanced) continue; // markup, no stream to mux
        TrackCandidate c;
        c.box = t.box;
        c.code = t.code;
        c.captions.push_back(t.caption);
        for (const auto& f : t.perFile)
            if (f) {
                c.captions.push_back(disc::scanCaption(*f));
                break;
            }
        c.description = t.description;
        c.language = t.language6392;
        candidates.push_back(c);
    }
    const std::string where =
        title ? "title " + std::to_string(title->number) : fileName(out.job.parts.front().path);
    const std::vector<bool> chosen = chosenTracks(tracks, candidates, where);
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (!chosen[i]) continue;
        if (candidates[i].code >= 0) {
            out.job.only.insert(static_cast<std::uint8_t>(candidates[i].code));
        } else {
            const auto codes = codesOfTrackName(candidates[i].box);
            out.job.only.insert(codes.begin(), codes.end());
        }
    }
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
        if (title && !title->clips.empty() && sameNameAnyCase(title->clips.front().evoName, name)) {
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
        if (playing.empty() && isFirstPartAnyCase(path)) {
            const std::string next = findPath(secondPartPath(path), SourceKind::File).path;
            if (sourceKind(next) == SourceKind::File) {
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
    if (!request.tracks.empty() && request.tracks != "all") chooseStreams(out, at, title, request.tracks);
    return out;
}

} // namespace vantrel::mux
