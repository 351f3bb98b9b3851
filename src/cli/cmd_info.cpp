// info PATH [--title N] [--no-scan]: the playlist's titles, their files,
// streams, languages, chapters and time stamps.
#include "cli.h"
#include "disc/standard_content.h"
#include "disc_input.h"
#include "files/disc_image.h"
#include "files/errors.h"
#include "files/file_layer.h"
#include "files/path_parts.h"
#include "source_checks.h"
#include "subpicture/evo_subpictures.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <ostream>

namespace vantrel::cli {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kHelp =
    "usage: vantrel-cli [--quiet] [--json] [--verbose] info PATH [--title N] [--no-scan]\n"
    "\n"
    "Reports the playlist's titles (number, name, duration, clips and their EVO\n"
    "files, chapters) and each title's streams: kind, codec, id, stream box and\n"
    "caption, channels, description and language (ISO 639-2/B and 639-1), with the\n"
    "first PTS, the delay against the first video PTS and, for a title of two\n"
    "files, the join between them. Without a playlist it reports the streams of\n"
    "the EVO files themselves.\n"
    "\n"
    "PATH     a disc root, its HVDVD_TS folder, an EVO/VOB file or a VPLST000.XPL;\n"
    "         or a disc image (.iso) or drive, read in place\n"
    "--title N  only the title whose titleNumber is N (its position where absent)\n"
    "--no-scan  the playlist only; read no EVO file\n"
    "--json     the documented schema (docs/cli-json.md) on stdout\n";

// A stream of a kind the readers do not know, by its ids: listed as a
// warning, since no stream box, track or output file stands for it.
std::string unknownStreamText(const std::string& file, const disc::UnknownStream& u) {
    char ids[64];
    std::snprintf(ids, sizeof ids, "stream 0x%02X, %s 0x%02X", u.streamId,
                  u.streamId == 0xBD ? "sub-stream" : "stream_id_extension", u.code);
    return file + ": " + ids + ": " + std::to_string(u.packets) +
           " packets of a stream of unknown kind (a picture-in-picture stream, perhaps); no command writes "
           "it";
}

std::string fixed(double v, int places) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", places, v);
    return text;
}

// A ms figure rounded to the microsecond, as the schema gives it.
Json msJson(std::optional<double> v) {
    return v ? Json(std::round(*v * 1000.0) / 1000.0) : Json(nullptr);
}

std::string msText(std::optional<double> v) {
    return v ? fixed(*v, 3) + " ms" : "n/a";
}

std::string ptsText(std::uint64_t pts) {
    return std::to_string(pts) + " (" + fixed(static_cast<double>(pts) / disc::kPtsPerSecond, 3) + " s)";
}

const char* surveyKindName(disc::SurveyKind kind) {
    return kind == disc::SurveyKind::Video   ? "video"
           : kind == disc::SurveyKind::Audio ? "audio"
                                             : "subpicture";
}

// What the subpicture streams of a file held, by index: units, display times, malformed units.
using SubpictureFigures = std::array<subpicture::EvoSubpictureStream, subpicture::kSubpictureStreams>;

const subpicture::StreamFigures* subpictureFigures(const SubpictureFigures* figures,
                                                   const disc::StreamSurvey& s) {
    if (figures == nullptr || s.kind != disc::SurveyKind::Subpicture || s.index < 0 ||
        s.index >= subpicture::kSubpictureStreams)
        return nullptr;
    const subpicture::EvoSubpictureStream& stream = (*figures)[static_cast<std::size_t>(s.index)];
    return stream.present ? &stream.figures : nullptr;
}

Json fileStreamJson(const disc::FileSurvey& f, const disc::StreamSurvey& s, const SubpictureFigures* subs) {
    Json j;
    j["kind"] = surveyKindName(s.kind);
    j["codec"] = s.codec;
    j["id"] = hexId(s.code);
    j["index"] = s.index;
    j["caption"] = disc::scanCaption(s);
    j["packets"] = s.packets;
    j["first_pts"] = s.hasPts ? Json(s.firstPts) : Json(nullptr);
    j["last_pts"] = s.hasPts ? Json(s.lastPts) : Json(nullptr);
    const std::optional<double> end = s.endPts();
    j["end_pts"] = end ? Json(std::round(*end * 1000.0) / 1000.0) : Json(nullptr);
    j["frame_ms"] = s.frameTicks ? msJson(*s.frameTicks / 90.0) : Json(nullptr);
    j["delay_ms"] = msJson(disc::delayMs(f, s));
    if (s.sampleRate) j["sample_rate"] = s.sampleRate;
    if (s.channels) j["channels"] = s.channels;
    if (const subpicture::StreamFigures* sp = subpictureFigures(subs, s)) {
        j["units"] = sp->units;
        j["first_display_pts"] = sp->anyShown ? Json(sp->firstStart) : Json(nullptr);
        j["last_display_pts"] = sp->anyShown ? Json(sp->lastStart) : Json(nullptr);
        j["malformed_units"] = sp->malformed;
    }
    return j;
}

Json fileJson(const disc::FileSurvey& f, const SubpictureFigures* subs) {
    Json j;
    j["path"] = f.path;
    j["name"] = fileNamePart(f.path);
    j["size"] = f.size;
    j["program_stream"] = f.programStream;
    const disc::StreamSurvey* v = f.mainVideo();
    j["first_video_pts"] = v ? Json(v->firstPts) : Json(nullptr);
    const std::optional<double> span = f.videoSpanSeconds();
    j["video_span_s"] = span ? Json(std::round(*span * 1e6) / 1e6) : Json(nullptr);
    j["streams"] = Json::array();
    for (const disc::StreamSurvey& s : f.streams) j["streams"].push_back(fileStreamJson(f, s, subs));
    return j;
}

Json titleStreamJson(const disc::TitleStream& t, bool twoFiles) {
    Json j;
    j["kind"] = disc::kindName(t.kind);
    j["codec"] = t.codec;
    j["id"] = t.code >= 0 ? Json(hexId(t.code)) : Json(nullptr);
    j["index"] = t.index;
    j["box"] = t.box;
    j["caption"] = t.caption;
    j["channels"] = t.channels ? Json(t.channels) : Json(nullptr);
    j["language"] = t.language6392;
    j["language_639_1"] = t.language6391;
    j["description"] = t.description;
    j["flags"] = disc::flagNames(t.flags);
    j["advanced_subtitle"] = t.advanced;
    j["listed"] = t.listed;
    j["in_files"] = t.code >= 0;
    j["first_pts"] = t.firstPts ? Json(*t.firstPts) : Json(nullptr);
    j["delay_ms"] = msJson(t.delayMs);
    if (twoFiles) j["join_ms"] = msJson(t.joinMs);
    return j;
}

// The files of a folder that look like EVO or VOB files, sorted by name.
std::vector<std::string> evoFilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const std::string& name : sourceFolderNames(folder)) { // on disk or inside a disc image
        std::string up = name;
        for (char& c : up)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (up.ends_with(".EVO") || up.ends_with(".VOB")) names.push_back(folder + name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class InfoCommand {
public:
    explicit InfoCommand(Context& ctx) : m_ctx(ctx) {}

    int run() {
        ParsedArgs args = parseArgs(m_ctx.args, {"--title"}, {"--no-scan"});
        if (args.positional.size() != 1) throw Error(ErrorKind::Usage, "info takes one PATH");
        const std::string path = args.positional[0];
        const std::optional<int> titleNumber = titleOption(args);
        m_scan = !args.has("--no-scan");

        DiscInput input = openDiscInput(path, titleNumber.has_value());
        if (input.at.kind == disc::DiscLocation::Kind::EvoFile) requireProgramStream(path);
        if (!input.at.playlistNote.empty()) m_ctx.console.note(input.at.playlistNote);
        if (!input.at.caseNote.empty()) m_ctx.console.note(input.at.caseNote);

        Json root;
        root["schema"] = "vantrel-cli/info/1";
        root["input"] = path;
        std::vector<const disc::Title*> titles;
        if (input.playlist) {
            const disc::Playlist& pl = *input.playlist;
            Json p;
            p["path"] = input.at.playlistPath;
            p["name"] = pl.name;
            p["time_base"] = pl.timeBase;
            p["frame_rate"] = pl.frameRate;
            root["playlist"] = p;
            m_feature = disc::defaultTitle(pl);
            if (titleNumber) {
                titles.push_back(&requireTitle(input, *titleNumber));
            } else if (input.at.kind == disc::DiscLocation::Kind::EvoFile) {
                titles = pl.titlesPlaying(fileNamePart(path));
                if (titles.empty())
                    m_ctx.console.warning("no title of the playlist plays " + fileNamePart(path));
            } else {
                for (const disc::Title& t : pl.titles) titles.push_back(&t);
            }
        } else {
            root["playlist"] = nullptr;
            if (input.at.playlistPath.empty() && disc::holdsIfoFiles(input.at.evoFolder))
                m_ctx.console.note(disc::kStandardContentNote);
        }

        if (!titles.empty()) {
            root["titles"] = Json::array();
            for (const disc::Title* t : titles) root["titles"].push_back(title(*t, input));
        } else {
            std::vector<std::string> files;
            if (input.at.kind == disc::DiscLocation::Kind::EvoFile)
                files.push_back(path);
            else if (!input.at.evoFolder.empty())
                files = evoFilesIn(input.at.evoFolder);
            if (input.playlist && files.empty() && input.playlist->titles.empty())
                m_ctx.console.warning("the playlist lists no titles");
            root["titles"] = Json::array();
            root["files"] = Json::array();
            for (const std::string& f : files) {
                const disc::FileSurvey& s = survey(f);
                root["files"].push_back(fileJson(s, subpictures(f)));
                if (!m_ctx.options.json) printFile(s);
            }
        }
        root["warnings"] = m_warnings;
        if (m_ctx.options.json) m_ctx.out << root.dump(2) << '\n';
        return kExitOk;
    }

private:
    void warn(const std::string& text) {
        m_warnings.push_back(text);
        m_ctx.console.warning(text);
    }
    void warnSummary(const std::string& text) {
        m_warnings.push_back(text);
        m_ctx.console.summaryWarning(text);
    }

    const disc::FileSurvey& survey(const std::string& path) {
        auto it = m_surveys.find(path);
        if (it != m_surveys.end()) return it->second;
        std::int64_t size = 0;
        try {
            size = openSource(path)->size(); // on disk or inside a disc image
        } catch (const Error&) {
            // The survey reports it.
        }
        m_ctx.console.progressStart("reading " + fileNamePart(path), size);
        disc::FileSurvey s;
        // The subpicture units are decoded in the same pass, for their figures.
        WarningSummary skipped;
        subpicture::EvoSubpictureCollector units([this, &path, &skipped](const std::string& text) {
            if (!skipped.add(text) || m_ctx.options.verbose)
                m_ctx.console.note(fileNamePart(path) + ": " + text);
        });
        try {
            s = disc::surveyFile(
                path, [this](std::int64_t pos, std::int64_t) { m_ctx.console.progressUpdate(pos); },
                [&units](int index, std::optional<std::uint64_t> pts, const std::uint8_t* data,
                         std::size_t n) {
                    std::optional<std::uint32_t> unitPts;
                    if (pts) unitPts = static_cast<std::uint32_t>(*pts);
                    units.payload(index, unitPts, data, n);
                });
        } catch (const Error& e) {
            throw e.as(ErrorKind::InputUnreadable);
        }
        units.finish();
        m_subpictures[path] = units.streams();
        const SubpictureFigures& figures = m_subpictures[path];
        for (const std::string& line : skipped.lines([&figures](int index) {
                 return index < subpicture::kSubpictureStreams
                            ? figures[static_cast<std::size_t>(index)].figures.units
                            : 0;
             }))
            warnSummary(fileNamePart(path) + ": " + line);
        m_ctx.console.progressEnd();
        for (const disc::UnknownStream& u : s.unknown) warn(unknownStreamText(fileNamePart(path), u));
        if (!s.programStream)
            warn(path + " is not a program stream (no pack header at its start)");
        else
            for (const std::string& w : sourceWarnings(path)) warn(w);
        return m_surveys.emplace(path, std::move(s)).first->second;
    }

    Json title(const disc::Title& t, const DiscInput& input) {
        disc::SurveySource source;
        if (m_scan && !input.at.evoFolder.empty())
            source = [this](const std::string& p) { return survey(p); };
        disc::TitleModel model = disc::buildTitleModel(t, input.at.evoFolder, source);
        // A playlist on its own (no HVDVD_TS beside it) is a normal case, not a fault.
        if (input.at.evoFolder.empty() && !t.clips.empty())
            m_ctx.console.note("title " + std::to_string(t.number) +
                               ": no HVDVD_TS folder beside the playlist; no EVO file read");
        else
            for (const std::string& w : model.warnings) warn(w);
        for (const disc::PlaylistStream& s : t.streams)
            if (s.advanced) warn(disc::advancedSubtitleWarning(t, s));
        const int rate = input.playlist->frameRate;
        if (const std::string note = disc::durationPastClipsNote(t, rate); !note.empty())
            m_ctx.console.note(note);
        // The clock every command takes for this title; a span over part of it compares with nothing.
        const disc::ClockChoice clock = disc::titleClock(t, rate, disc::ClockSetting::Auto,
                                                         model.surveys.empty() || !model.files.missing.empty()
                                                             ? std::vector<std::string>()
                                                             : model.files.paths);
        for (const std::string& n : model.files.notes) m_ctx.console.note(n);
        for (const std::string& w : clock.cutWarnings) warn(w);
        const bool twoFiles = model.surveys.size() == 2;

        Json j;
        j["number"] = t.number;
        j["position"] = t.position;
        j["title_number_given"] = t.hasTitleNumber;
        j["default"] = &t == m_feature;
        j["id"] = t.id;
        j["name"] = t.displayName;
        j["duration"] = t.durationText;
        j["duration_s"] =
            t.duration ? Json(std::round(disc::titleSeconds(*t.duration, rate, clock.clock) * 1e6) / 1e6)
                       : Json(nullptr);
        j["clock"] = {{"rate", disc::clockName(rate, clock.clock)},
                      {"video_span_s",
                       clock.spanSeconds ? Json(std::round(*clock.spanSeconds * 1e6) / 1e6) : Json(nullptr)},
                      {"reason", clock.reason}};
        j["clips"] = Json::array();
        for (const disc::Clip& c : t.clips)
            j["clips"].push_back(
                {{"src", c.src}, {"evo", c.evoName}, {"begin", c.timeBegin}, {"end", c.timeEnd}});
        j["files"] = Json::array();
        for (std::size_t i = 0; i < model.files.paths.size(); ++i) {
            if (i < model.surveys.size())
                j["files"].push_back(fileJson(model.surveys[i], subpictures(model.surveys[i].path)));
            else
                j["files"].push_back(
                    {{"path", model.files.paths[i]}, {"name", fileNamePart(model.files.paths[i])}});
        }
        j["chapters"] = Json::array();
        for (const disc::Chapter& c : t.chapters) {
            Json cj;
            cj["number"] = c.number;
            cj["name"] = c.name;
            cj["time"] = c.timeText;
            cj["start_ms"] =
                c.time ? msJson(disc::titleSeconds(*c.time, rate, clock.clock) * 1000.0) : Json(nullptr);
            j["chapters"].push_back(cj);
        }
        j["streams"] = Json::array();
        for (const disc::TitleStream& s : model.streams) j["streams"].push_back(titleStreamJson(s, twoFiles));
        if (!m_ctx.options.json) printTitle(model, j, clock, rate);
        return j;
    }

    void printTitle(const disc::TitleModel& model, const Json& j, const disc::ClockChoice& clock, int rate) {
        std::ostream& out = m_ctx.out;
        const disc::Title& t = model.title;
        out << "Title " << t.number << (t.hasTitleNumber ? "" : " (by position)") << ": "
            << (t.displayName.empty() ? "(no name)" : t.displayName)
            << (j["default"].get<bool>() ? "  [default: the longest title with clips]" : "") << '\n';
        out << "  duration  " << (t.durationText.empty() ? "(none)" : t.durationText);
        if (t.duration)
            out << " = " << fixed(disc::titleSeconds(*t.duration, rate, clock.clock), 3) << " s at "
                << disc::clockName(rate, clock.clock) << " Hz";
        out << '\n' << "  clock     " << clock.reason << '\n';
        for (const disc::Clip& c : t.clips)
            out << "  clip      " << c.timeBegin << " - " << c.timeEnd << "  " << c.src << " -> " << c.evoName
                << '\n';
        for (std::size_t i = 0; i < model.files.paths.size(); ++i)
            out << "  file      " << model.files.paths[i] << '\n';
        out << "  streams\n";
        for (const disc::TitleStream& s : model.streams) {
            // " " appended to, not " " + hexId(): GCC 12 misreads that at -O3 (-Wrestrict).
            out << "    " << (s.box.empty() ? "-" : s.box) << "  " << disc::kindName(s.kind) << " " << s.codec
                << (s.code >= 0             ? std::string(" ").append(hexId(s.code))
                    : model.surveys.empty() ? std::string()
                                            : std::string(" (not in the files)"));
            if (s.channels) out << " " << s.channels << "ch";
            out << "  " << s.language6392;
            if (!s.language6391.empty()) out << " (" << s.language6391 << ")";
            for (const std::string& flag : disc::flagNames(s.flags)) out << " " << flag;
            if (s.advanced) out << " advanced subtitle (not converted)";
            if (!s.description.empty()) out << "  \"" << s.description << "\"";
            out << "  [" << s.caption << "]";
            if (s.firstPts) out << "  first PTS " << ptsText(*s.firstPts) << "  delay " << msText(s.delayMs);
            if (model.surveys.size() == 2) out << "  join " << msText(s.joinMs);
            out << '\n';
        }
        out << "  chapters\n";
        for (const Json& c : j["chapters"]) {
            out << "    " << (c["number"].get<int>() < 10 ? "0" : "") << c["number"].get<int>() << "  "
                << c["time"].get<std::string>() << "  "
                << (c["start_ms"].is_null() ? std::string("?")
                                            : fixed(c["start_ms"].get<double>() / 1000.0, 3) + " s")
                << "  " << c["name"].get<std::string>() << '\n';
        }
        for (const disc::FileSurvey& f : model.surveys) printFile(f, "  ");
    }

    void printFile(const disc::FileSurvey& f, const std::string& indent = "") {
        std::ostream& out = m_ctx.out;
        out << indent << "File " << f.path << " (" << f.size << " bytes)\n";
        for (const disc::StreamSurvey& s : f.streams) {
            out << indent << "  " << surveyKindName(s.kind) << " " << s.index << " " << s.codec << " "
                << hexId(s.code) << "  [" << disc::scanCaption(s) << "]";
            if (s.hasPts) {
                out << "  PTS " << ptsText(s.firstPts) << " .. " << ptsText(s.lastPts);
                const std::optional<double> end = s.endPts();
                if (end) out << "  end " << fixed(*end, 0);
                out << "  delay " << msText(disc::delayMs(f, s));
            } else {
                out << "  no PTS";
            }
            if (const subpicture::StreamFigures* sp = subpictureFigures(subpictures(f.path), s)) {
                out << "  " << sp->units << (sp->units == 1 ? " unit" : " units");
                if (sp->anyShown)
                    out << ", shown " << ptsText(sp->firstStart) << " .. " << ptsText(sp->lastStart);
                out << ", " << sp->malformed << " malformed";
            }
            out << '\n';
        }
    }

    const SubpictureFigures* subpictures(const std::string& path) const {
        auto it = m_subpictures.find(path);
        return it == m_subpictures.end() ? nullptr : &it->second;
    }

    Context& m_ctx;
    bool m_scan = true;
    const disc::Title* m_feature = nullptr; // the title commands take without --title
    std::map<std::string, SubpictureFigures> m_subpictures;
    std::map<std::string, disc::FileSurvey> m_surveys;
    std::vector<std::string> m_warnings;
};

int runInfo(Context& ctx) {
    return InfoCommand(ctx).run();
}

} // namespace

extern const Command kInfoCommand;
const Command kInfoCommand{"info", "titles, streams, languages, chapters and time stamps of a disc or file",
                           kHelp, runInfo};

} // namespace vantrel::cli
