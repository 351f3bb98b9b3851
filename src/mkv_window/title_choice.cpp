#include "title_choice.h"

#include "cli/output_guard.h"
#include "cli/source_checks.h"
#include "codecs/es_kind.h"
#include "disc/disc_model.h"
#include "files/errors.h"
#include "mux/title_job.h"
#include "names/language_codes.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace vantrel::mkvwin {

namespace {

namespace fs = std::filesystem;

// Streams start within a clip's first seconds; its end gives those that start late.
constexpr std::int64_t kSurveyWindow = std::int64_t{16} << 20;

TrackKind kindOf(disc::StreamKind kind) {
    return kind == disc::StreamKind::Video   ? TrackKind::Video
           : kind == disc::StreamKind::Audio ? TrackKind::Audio
                                             : TrackKind::Subtitle;
}

std::optional<int> requestOf(const SourceRead& source, int row) {
    if (row < 0 || row >= static_cast<int>(source.titles.size()))
        throw Error(ErrorKind::Usage, "no title chosen");
    return source.titles[static_cast<std::size_t>(row)].number;
}

mux::TitleJob titleJobOf(const SourceRead& source, int row) {
    mux::TitleRequest request;
    request.title = requestOf(source, row);
    mux::TitleJob built = mux::titleJob(source.input.at, source.input.playlist, request);
    for (const mux::ClipPart& p : built.job.parts) cli::requireProgramStream(p.path);
    return built;
}

// The streams of a title's files, with what its playlist says of them.
std::vector<disc::TitleStream> streamsOf(const mux::TitleJob& built, const cli::DiscInput& input) {
    std::vector<disc::FileSurvey> surveys;
    for (const mux::ClipPart& p : built.job.parts)
        surveys.push_back(disc::surveyFileEnds(p.path, kSurveyWindow));
    // The title's streams as its playlist lists them, where the job plays the title's files.
    if (built.title && !input.at.evoFolder.empty() &&
        built.job.parts.size() == built.title->evoNames().size()) {
        const auto survey = [&](const std::string& path) {
            for (const disc::FileSurvey& s : surveys)
                if (s.path == path) return s;
            return disc::surveyFileEnds(path, kSurveyWindow);
        };
        return disc::buildTitleModel(*built.title, input.at.evoFolder, survey).streams;
    }
    std::vector<disc::TitleStream> streams;
    for (const disc::FileSurvey& s : surveys)
        for (disc::TitleStream& t : disc::fileStreams(s)) {
            bool known = false;
            for (const disc::TitleStream& o : streams)
                known = known || (o.kind == t.kind && o.index == t.index);
            if (!known) streams.push_back(std::move(t));
        }
    std::stable_sort(streams.begin(), streams.end(), [](const auto& a, const auto& b) {
        return a.kind != b.kind ? a.kind < b.kind : a.index < b.index;
    });
    return streams;
}

// The name the job gives a track without a description from the playlist.
std::string jobName(const disc::TitleStream& t, const std::string& title, bool mainVideo) {
    mux::PreparedStream s;
    s.code = static_cast<std::uint8_t>(t.code);
    if (t.kind == disc::StreamKind::Video) {
        s.kind = kindOfVideo(s.code);
        return mainVideo ? title : std::string();
    }
    s.kind = kindOfSubStream(s.code);
    if (t.codec == "TrueHD") s.kind = EsKind::TrueHd;
    s.hdExtension = t.codec == "DTS-HD";
    s.channels = t.channels;
    return t.kind == disc::StreamKind::Audio ? mux::audioTrackName(s) : mux::streamCaption(s);
}

std::string safeFileName(const std::string& name) {
    std::string out;
    for (char c : name) out += (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) ? '_' : c;
    while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
    while (!out.empty() && (out.front() == ' ' || out.front() == '.')) out.erase(out.begin());
    return out.empty() ? std::string("title") : out;
}

bool namedNoCase(const fs::path& p, const char* name) {
    std::string n = p.filename().string();
    for (char& c : n) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return n == name;
}

} // namespace

std::string clockText(double seconds) {
    const long whole = std::lround(std::max(0.0, seconds));
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
    return text;
}

SourceRead readSource(const std::string& path) {
    SourceRead source;
    source.path = path;
    source.input = cli::openDiscInput(path, false);
    const disc::DiscLocation& at = source.input.at;
    if (!at.playlistNote.empty()) source.notes.push_back(at.playlistNote);
    if (at.kind == disc::DiscLocation::Kind::EvoFile) {
        TitleRow file;
        file.name = fs::path(at.evoFile).filename().string();
        file.clips = 1;
        source.titles.push_back(file);
        source.defaultRow = 0;
    }
    if (source.input.playlist) {
        const disc::Playlist& playlist = *source.input.playlist;
        const disc::Title* longest = disc::defaultTitle(playlist);
        for (const disc::Title& t : playlist.titles) {
            TitleRow row;
            row.number = t.number;
            row.name = t.displayName;
            if (t.duration)
                row.seconds = disc::titleSeconds(*t.duration, playlist.frameRate, disc::Clock::Ntsc);
            row.clips = static_cast<int>(t.evoNames().size());
            row.chapters = static_cast<int>(t.chapters.size());
            row.playable = row.clips > 0;
            if (&t == longest && row.playable && source.defaultRow < 0)
                source.defaultRow = static_cast<int>(source.titles.size());
            source.titles.push_back(row);
        }
    }
    return source;
}

TitleTracks readTracks(const SourceRead& source, int row) {
    const mux::TitleJob built = titleJobOf(source, row);
    TitleTracks out;
    out.warnings = built.warnings;
    out.notes = built.notes;
    for (const mux::ClipPart& p : built.job.parts) {
        out.parts.push_back(p.path);
        if (auto cut = cli::cutPackWarning(p.path)) out.warnings.push_back(*cut);
    }
    out.title = built.job.title.empty() ? source.titles[static_cast<std::size_t>(row)].name : built.job.title;
    bool mainVideo = true;
    for (const disc::TitleStream& t : streamsOf(built, source.input)) {
        TrackRow r;
        r.kind = kindOf(t.kind);
        r.code = t.code;
        r.caption = t.caption;
        r.codec = t.codec;
        r.channels = t.channels;
        r.language = r.playlistLanguage = t.language6392.empty() ? "und" : t.language6392;
        r.commentary = t.flags.commentary;
        r.forced = r.jobForced = t.flags.forced;
        r.hearingImpaired = t.flags.hearingImpaired;
        r.visuallyImpaired = t.flags.visuallyImpaired;
        r.muxable = t.code >= 0 && !t.advanced;
        if (t.advanced)
            r.note = "an AdvancedSubtitleSegment: not a subpicture stream, it cannot be converted";
        else if (t.code < 0)
            r.note = "listed by the playlist, not found in the files";
        if (r.muxable) {
            r.jobName = t.description.empty()
                            ? jobName(t, built.job.title, mainVideo && r.kind == TrackKind::Video)
                            : t.description;
            if (r.kind == TrackKind::Video) mainVideo = false;
        } else {
            r.jobName = t.description;
        }
        r.name = r.jobName;
        r.mux = r.muxable;
        out.tracks.push_back(std::move(r));
    }
    settleDefaults(out.tracks);
    return out;
}

void settleDefaults(std::vector<TrackRow>& tracks) {
    bool video = false, audio = false;
    for (TrackRow& t : tracks) {
        const bool was = t.isDefault == t.jobDefault;
        t.jobDefault = false;
        if (t.mux && t.kind == TrackKind::Video && !video) t.jobDefault = video = true;
        if (t.mux && t.kind == TrackKind::Audio && !audio) t.jobDefault = audio = true;
        if (was) t.isDefault = t.jobDefault;
    }
}

mux::MkvJob jobOf(const SourceRead& source, int row, const std::vector<TrackRow>& tracks,
                  const std::string& output) {
    mux::TitleJob built = titleJobOf(source, row);
    mux::MkvJob job = std::move(built.job);
    job.output = output;
    bool every = true;
    for (const TrackRow& t : tracks)
        if (t.muxable && !t.mux) every = false;
    // Every track ticked: every stream, as vantrel-cli mkv takes them (also one found
    // past the ends the tracks were read from).
    if (!every)
        for (const TrackRow& t : tracks)
            if (t.muxable && t.mux) job.only.insert(static_cast<std::uint8_t>(t.code));
    if (!every && job.only.empty()) throw Error(ErrorKind::Usage, "no track is ticked");
    auto playlist = job.label;
    job.label = [playlist, tracks](std::uint8_t code) -> std::optional<mux::StreamLabel> {
        std::optional<mux::StreamLabel> label = playlist ? playlist(code) : std::nullopt;
        for (const TrackRow& t : tracks) {
            if (t.code != code || !t.muxable) continue;
            if (!label) label = mux::StreamLabel{};
            label->language = t.language;
            if (t.name != t.jobName) label->description = t.name;
            label->flags.commentary = t.commentary;
            label->flags.hearingImpaired = t.hearingImpaired;
            label->flags.forced = t.forced && t.kind != TrackKind::Subtitle;
            if (t.isDefault != t.jobDefault) label->isDefault = t.isDefault;
            if (t.forced != t.jobForced) label->isForced = t.forced;
            if (t.kind == TrackKind::Subtitle) label->flags.forced = t.jobForced && t.forced;
        }
        return label;
    };
    return job;
}

std::string defaultOutput(const SourceRead& source, const std::string& title, const std::string& folder) {
    const std::string name = safeFileName(title) + ".mkv";
    std::error_code ec;
    if (!folder.empty() && fs::is_directory(folder, ec)) return (fs::path(folder) / name).string();
    const disc::DiscLocation& at = source.input.at;
    fs::path beside;
    if (!at.image.empty()) {
        beside = fs::path(at.image).parent_path();
    } else {
        fs::path evo = fs::path(at.evoFolder).parent_path(); // without the trailing "/"
        fs::path playlist = fs::path(at.playlistPath).parent_path();
        if (!at.evoFolder.empty() && namedNoCase(evo, "HVDVD_TS"))
            beside = evo.parent_path().parent_path();
        else if (!at.playlistPath.empty() && namedNoCase(playlist, "ADV_OBJ"))
            beside = playlist.parent_path().parent_path();
        else
            beside = fs::path(source.path).parent_path();
    }
    if (beside.empty()) beside = ".";
    return (beside / name).string();
}

void checkOutput(const SourceRead& source, const std::vector<std::string>& parts, const std::string& output,
                 bool replace) {
    if (output.empty()) throw Error(ErrorKind::Output, "name the output file");
    cli::checkOutputFile(output, cli::inputsOfRun(source.path, parts), replace);
}

} // namespace vantrel::mkvwin
