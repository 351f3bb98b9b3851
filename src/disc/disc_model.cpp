#include "disc_model.h"
#include "time_map.h"

#include "files/disc_image.h"
#include "files/errors.h"
#include "files/file_layer.h"
#include "files/path_parts.h"
#include "names/continued_parts.h"
#include "names/stream_names.h"
#include "names/two_digits.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace vantrel::disc {

namespace {

std::string upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// Folders and files on disk or inside a disc image.
bool isFolder(const std::string& path) {
    return sourceKind(path) == SourceKind::Folder;
}

bool present(const std::string& path) {
    return sourceKind(path) == SourceKind::File;
}

// A disc image by its name or its first sectors, or a drive.
bool isDiscImage(const std::string& path, const std::string& upperName) {
    if (isBlockDevice(path)) return true;
    if (!fileExists(path)) return false;
    if (upperName.ends_with(".ISO") || upperName.ends_with(".UDF") || upperName.ends_with(".IMG"))
        return true;
    return !upperName.ends_with(".XPL") && hasVolumeRecognition(path);
}

// "VPLST012.XPL" -> 12; -1 for other names.
int playlistNumber(const std::string& name) {
    const std::string up = upper(name);
    if (up.size() != 12 || up.compare(0, 5, "VPLST") != 0 || up.compare(8, 4, ".XPL") != 0) return -1;
    int n = 0;
    for (std::size_t i = 5; i < 8; ++i) {
        if (up[i] < '0' || up[i] > '9') return -1;
        n = n * 10 + (up[i] - '0');
    }
    return n;
}

bool mapsClips(const Playlist& playlist) {
    for (const Title& t : playlist.titles)
        if (!t.clips.empty()) return true;
    return false;
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string withSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

SurveyKind surveyKind(StreamKind kind) {
    return kind == StreamKind::Video   ? SurveyKind::Video
           : kind == StreamKind::Audio ? SurveyKind::Audio
                                       : SurveyKind::Subpicture;
}

StreamKind streamKind(SurveyKind kind) {
    return kind == SurveyKind::Video   ? StreamKind::Video
           : kind == SurveyKind::Audio ? StreamKind::Audio
                                       : StreamKind::Subtitle;
}

} // namespace

namespace {

// The disc folder `name` (HVDVD_TS, ADV_OBJ) below root, found whatever its case.
std::optional<std::string> discFolder(const std::string& root, const std::string& name, DiscLocation& at) {
    const std::optional<FoundEntry> found = findEntry(root, name, SourceKind::Folder);
    if (!found) return std::nullopt;
    if (found->byCaseAlone) at.noteCase(fileNamePart(found->path), name);
    return found->path;
}

// The playlist beside a disc's EVO folder: ADV_OBJ, a sibling of HVDVD_TS.
void findPlaylist(DiscLocation& at, const std::string& root) {
    if (const std::optional<std::string> adv = discFolder(root, "ADV_OBJ", at))
        at.playlistPath = bootPlaylist(*adv + "/", at.playlistNote);
}

bool upperEndsWith(const std::string& text, const std::string& tail) {
    return endsWith(upper(text), tail);
}

} // namespace

void DiscLocation::noteCase(const std::string& found, const std::string& asked) {
    const std::string pair = found + " for " + asked;
    if (caseNote.find(pair) != std::string::npos) return;
    caseNote += caseNote.empty() ? "names matched by case alone: " : ", ";
    caseNote += pair;
}

DiscLocation locateDisc(const std::string& input) {
    std::string path = input;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    DiscLocation at;
    if (isDiscImage(path, upper(fileNamePart(path)))) {
        requireUdfImage(path); // the image's own text when it is no UDF image or is cut short
        const std::optional<std::string> evo = discFolder(path, "HVDVD_TS", at);
        if (!evo) throw Error::cannotOpen(absolutePath(path), "The disc image holds no HVDVD_TS folder");
        at.kind = DiscLocation::Kind::DiscRoot;
        at.image = path;
        at.evoFolder = *evo + "/";
        findPlaylist(at, path);
        return at;
    }
    if (const std::optional<ImagePath> inImage = splitImagePath(path)) at.image = inImage->image;
    if (isFolder(path)) {
        if (const std::optional<std::string> evo = discFolder(path, "HVDVD_TS", at)) {
            at.kind = DiscLocation::Kind::DiscRoot;
            at.evoFolder = *evo + "/";
        } else {
            at.kind = DiscLocation::Kind::EvoFolder;
            at.evoFolder = path + "/";
        }
    } else {
        openSource(path); // the file layer's text when it is missing or unreadable
        if (upper(fileNamePart(path)).ends_with(".XPL")) {
            at.kind = DiscLocation::Kind::PlaylistFile;
            at.playlistPath = path;
            const std::string folder = folderPart(absolutePath(path));
            if (upperEndsWith(folder, "ADV_OBJ/")) {
                const std::string root = folder.substr(0, folder.size() - 8);
                if (const std::optional<std::string> evo = discFolder(root, "HVDVD_TS", at))
                    at.evoFolder = *evo + "/";
            }
            return at;
        }
        at.kind = DiscLocation::Kind::EvoFile;
        at.evoFile = path;
        at.evoFolder = withSlash(folderPart(path));
    }
    // The playlist sits in the sibling folder ADV_OBJ of a disc's HVDVD_TS folder.
    std::string folder = at.evoFolder.empty() ? std::string() : absolutePath(at.evoFolder);
    folder = withSlash(folder);
    if (upperEndsWith(folder, "HVDVD_TS/")) findPlaylist(at, folder.substr(0, folder.size() - 9));
    return at;
}

std::string bootPlaylist(const std::string& advObjFolder, std::string& note) {
    const std::string folder = withSlash(advObjFolder);
    std::vector<std::pair<int, std::string>> found;
    for (const std::string& name : sourceFolderNames(folder))
        if (const int n = playlistNumber(name); n >= 0 && present(folder + name)) found.emplace_back(n, name);
    if (found.empty()) return {};
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::string boot = folder + found.front().second;
    try {
        if (mapsClips(readPlaylist(boot))) return boot;
    } catch (const Error&) {
        return boot; // its reader reports what is wrong with it
    }
    std::string passedOver;
    for (std::size_t i = 1; i < found.size(); ++i) {
        try {
            if (!mapsClips(readPlaylist(folder + found[i].second))) continue;
        } catch (const Error& e) {
            passedOver += "; " + found[i].second + " is passed over: " + e.what();
            continue;
        }
        note = found.front().second + ", the boot playlist, maps no clips (a selector); " + found[i].second +
               " is read instead, the highest-numbered playlist with clips" + passedOver;
        return folder + found[i].second;
    }
    if (!passedOver.empty()) note = found.front().second + ", the boot playlist, maps no clips" + passedOver;
    return boot;
}

const Title* defaultTitle(const Playlist& playlist) {
    const Title* best = nullptr;
    auto frames = [&playlist](const Title& t) {
        return t.duration ? t.duration->frameCount(playlist.frameRate) : -1;
    };
    for (const bool needClips : {true, false}) {
        for (const Title& t : playlist.titles)
            if ((!needClips || !t.clips.empty()) && (best == nullptr || frames(t) > frames(*best))) best = &t;
        if (best != nullptr) return best;
    }
    return nullptr;
}

TitleFiles filesOfTitle(const Title& title, const std::string& evoFolder) {
    TitleFiles files;
    const std::vector<std::string> names = title.evoNames();
    for (const std::string& name : names) {
        if (const std::optional<FoundEntry> found = findEntry(evoFolder, name, SourceKind::File)) {
            files.paths.push_back(found->path);
            if (found->byCaseAlone)
                files.notes.push_back("title " + std::to_string(title.number) + ": the playlist's " + name +
                                      " is " + fileNamePart(found->path) +
                                      " here (names matched by case alone)");
        } else {
            files.missing.push_back(evoFolder + name);
        }
    }
    // The playlist's clips decide: a first part it plays alone is not
    // continued into a second part by the file names.
    for (std::size_t i = 0; i + 1 < names.size(); ++i) {
        const std::string& a = names[i];
        const bool continues = isFirstPart(a) && names[i + 1] == secondPartPath(a);
        if (!continues)
            files.warnings.push_back(
                "title " + std::to_string(title.number) + ": the playlist plays " + a + " and then " +
                names[i + 1] +
                ", which the FEATURE_1/FEATURE_2 naming does not join (the window's Demux "
                "continues only from NAME_1.EVO into NAME_2.EVO)");
    }
    return files;
}

std::optional<double> delayMs(const FileSurvey& file, const StreamSurvey& stream) {
    const StreamSurvey* video = file.mainVideo();
    if (video == nullptr || !stream.hasPts) return std::nullopt;
    return ticksToMs(static_cast<double>(stream.firstPts) - static_cast<double>(video->firstPts));
}

std::optional<double> joinMs(const StreamSurvey& inFirst, const StreamSurvey& inSecond) {
    const std::optional<double> end = inFirst.endPts();
    if (!end || !inSecond.hasPts) return std::nullopt;
    return ticksToMs(static_cast<double>(inSecond.firstPts) - *end);
}

std::string scanCaption(const StreamSurvey& s) {
    switch (s.kind) {
    case SurveyKind::Video: return VideoStreamName(s.code) + "." + std::to_string(s.index);
    case SurveyKind::Audio: return AudioStreamName(s.code) + "." + twoDigits(s.index);
    default: return SubpictureStreamName(s.code) + "." + twoDigits(s.index);
    }
}

std::optional<double> TitleModel::videoSpanSeconds() const {
    if (surveys.empty()) return std::nullopt;
    double total = 0;
    for (const FileSurvey& f : surveys) {
        const std::optional<double> span = f.videoSpanSeconds();
        if (!span) return std::nullopt;
        total += *span;
    }
    return total;
}

namespace {

TitleStream fromSurvey(const StreamSurvey& s) {
    TitleStream t;
    t.kind = streamKind(s.kind);
    t.index = s.index;
    t.box = boxName(t.kind, s.index);
    t.caption = scanCaption(s);
    t.codec = s.codec;
    t.code = s.code;
    t.channels = s.channels;
    t.language6392 = "und";
    return t;
}

void fillFigures(TitleStream& t, const std::vector<FileSurvey>& surveys) {
    t.perFile.clear();
    for (const FileSurvey& f : surveys) {
        const StreamSurvey* s = f.find(surveyKind(t.kind), t.index);
        t.perFile.push_back(s ? std::optional<StreamSurvey>(*s) : std::nullopt);
    }
    if (!surveys.empty() && t.perFile[0] && t.perFile[0]->hasPts) {
        t.firstPts = t.perFile[0]->firstPts;
        t.delayMs = delayMs(surveys[0], *t.perFile[0]);
    }
    if (surveys.size() == 2 && t.perFile[0] && t.perFile[1]) t.joinMs = joinMs(*t.perFile[0], *t.perFile[1]);
}

bool streamOrder(const TitleStream& a, const TitleStream& b) {
    if (a.kind != b.kind) return static_cast<int>(a.kind) < static_cast<int>(b.kind);
    return a.index < b.index;
}

} // namespace

std::vector<TitleStream> fileStreams(const FileSurvey& survey) {
    std::vector<TitleStream> streams;
    for (const StreamSurvey& s : survey.streams) {
        TitleStream t = fromSurvey(s);
        fillFigures(t, {survey});
        streams.push_back(std::move(t));
    }
    std::sort(streams.begin(), streams.end(), streamOrder);
    return streams;
}

std::string advancedSubtitleWarning(const Title& title, const PlaylistStream& stream) {
    return "title " + std::to_string(title.number) + ": subtitle track " + std::to_string(stream.track) +
           (stream.description.empty() ? std::string() : " (\"" + stream.description + "\")") +
           " is an AdvancedSubtitleSegment, markup of the disc's applications and not a subpicture "
           "stream; it cannot be converted";
}

TitleModel buildTitleModel(const Title& title, const std::string& evoFolder, const SurveySource& survey) {
    TitleModel model;
    model.title = title;
    model.files = filesOfTitle(title, evoFolder);
    model.warnings = model.files.warnings;
    for (const std::string& missing : model.files.missing)
        model.warnings.push_back("title " + std::to_string(title.number) + ": " + missing + " is not there");
    for (const std::string& path : model.files.paths)
        if (const std::optional<int> angles = interleavedAngles(path))
            model.warnings.push_back("title " + std::to_string(title.number) + ": " +
                                     interleavedAnglesNote(path, *angles) +
                                     "; demux, rebuild and mkv refuse this title");
    if (survey)
        for (const std::string& path : model.files.paths) model.surveys.push_back(survey(path));

    // Streams the files carry, then those only the playlist lists.
    for (const FileSurvey& f : model.surveys)
        for (const StreamSurvey& s : f.streams) {
            const StreamKind kind = streamKind(s.kind);
            bool known = false;
            for (const TitleStream& t : model.streams)
                known = known || (t.kind == kind && t.index == s.index);
            if (!known) model.streams.push_back(fromSurvey(s));
        }
    for (const PlaylistStream& p : title.streams) {
        const int index = p.index();
        TitleStream* t = nullptr;
        for (TitleStream& o : model.streams)
            if (o.kind == p.kind && o.index == index && index >= 0 && !p.advanced) t = &o;
        if (t == nullptr) {
            model.streams.emplace_back();
            t = &model.streams.back();
            t->kind = p.kind;
            t->index = index;
            t->box = p.box();
            t->codec = p.codec;
        }
        t->listed = true;
        t->flags = p.flags;
        t->advanced = p.advanced;
        // A video stream the files carry keeps the caption of the files
        // ("H.264.stream.0"), not one built of the playlist's codec text
        // ("MPEG-4 AVC.stream.0"): one caption for one stream.
        if (p.advanced)
            t->caption = "AdvancedSubtitle.track." + twoDigits(p.track);
        else if (p.kind != StreamKind::Video || t->code < 0)
            t->caption = p.caption();
        t->description = p.description;
        t->language6391 = p.language6391;
        t->language6392 = p.language6392;
        if (t->channels == 0) t->channels = std::atoi(p.channels.c_str());
        if (t->codec.empty()) t->codec = p.codec;
    }
    for (TitleStream& t : model.streams) {
        if (t.language6392.empty()) t.language6392 = "und";
        fillFigures(t, model.surveys);
    }
    std::stable_sort(model.streams.begin(), model.streams.end(), streamOrder);
    return model;
}

ClockChoice chooseClock(const std::optional<TitleTime>& duration, int rate,
                        std::optional<double> spanSeconds) {
    ClockChoice choice;
    choice.spanSeconds = spanSeconds;
    if (duration) {
        choice.exactSeconds = titleSeconds(*duration, rate, Clock::Exact);
        choice.ntscSeconds = titleSeconds(*duration, rate, Clock::Ntsc);
    }
    char text[256];
    if (!duration || !spanSeconds) {
        // Real discs count at rate * 1000/1001: one count is 1501.5 ticks of 90 kHz at 60 Hz.
        choice.clock = Clock::Ntsc;
        choice.reason = std::string(!duration ? "the title has no titleDuration" : "no EVO files at hand") +
                        "; " + clockName(rate, Clock::Ntsc) + " Hz (" + std::to_string(rate) +
                        "000/1001), as real discs count";
        return choice;
    }
    const double exactOff = std::fabs(*choice.exactSeconds - *spanSeconds);
    const double ntscOff = std::fabs(*choice.ntscSeconds - *spanSeconds);
    choice.clock = ntscOff < exactOff ? Clock::Ntsc : Clock::Exact;
    std::snprintf(
        text, sizeof text,
        "titleDuration is %.3f s at %s and %.3f s at %s; the video PTS span is %.3f s; %s is closer",
        *choice.exactSeconds, clockName(rate, Clock::Exact).c_str(), *choice.ntscSeconds,
        clockName(rate, Clock::Ntsc).c_str(), *spanSeconds, clockName(rate, choice.clock).c_str());
    choice.reason = text;
    return choice;
}

std::optional<ClockSetting> clockSetting(const std::string& text, int rate) {
    if (text == "auto") return ClockSetting::Auto;
    if (text == clockName(rate, Clock::Exact)) return ClockSetting::Exact;
    if (text == clockName(rate, Clock::Ntsc)) return ClockSetting::Ntsc;
    return std::nullopt;
}

std::string clockSettingChoices(int rate) {
    return "auto, " + clockName(rate, Clock::Exact) + " or " + clockName(rate, Clock::Ntsc);
}

namespace {

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && upper(a) == upper(b);
}

std::string seconds1(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", s);
    return text;
}

constexpr std::int64_t kEndWindow = std::int64_t{16} * 1048576;

} // namespace

std::vector<ClipSpan> clipSpans(const Title& title, int rate, const std::vector<std::string>& evoPaths) {
    std::vector<ClipSpan> spans;
    for (const std::string& path : evoPaths) {
        ClipSpan span;
        span.path = path;
        span.fileSeconds = surveyFileEnds(path, kEndWindow).videoSpanSeconds();
        for (const Clip& clip : title.clips) {
            if (!sameName(clip.evoName, fileNamePart(path))) continue;
            const auto from = parseTitleTime(clip.timeBegin);
            const auto to = parseTitleTime(clip.timeEnd);
            if (!from || !to || to->frameCount(rate) <= from->frameCount(rate)) break;
            std::int64_t frames = to->frameCount(rate) - from->frameCount(rate);
            if (const auto begin = parseTitleTime(clip.clipTimeBegin)) frames += begin->frameCount(rate);
            span.clipSeconds = static_cast<double>(frames) / rate;
            break;
        }
        spans.push_back(std::move(span));
    }
    return spans;
}

std::string cutClipWarning(const ClipSpan& span) {
    return fileNamePart(span.path) + " holds " + seconds1(span.fileSeconds.value_or(0)) + " s of its " +
           seconds1(span.clipSeconds.value_or(0)) + " s clip: cut short? copy it again";
}

namespace {

ClockChoice clockOfSpans(const Title& title, int rate, ClockSetting setting,
                         const std::vector<ClipSpan>& spans) {
    if (setting != ClockSetting::Auto) {
        ClockChoice choice;
        choice.clock = setting == ClockSetting::Exact ? Clock::Exact : Clock::Ntsc;
        choice.reason = "--clock " + clockName(rate, choice.clock);
        if (title.duration) {
            choice.exactSeconds = titleSeconds(*title.duration, rate, Clock::Exact);
            choice.ntscSeconds = titleSeconds(*title.duration, rate, Clock::Ntsc);
        }
        return choice;
    }
    std::optional<double> span;
    if (title.duration && !spans.empty()) {
        double total = 0;      // the video PTS span of the files that are whole
        double wholeClips = 0; // their clips' lengths, at the exact clock
        bool measured = true;  // every whole file has a span (and, with a cut file, its clip a length)
        std::string cutNames;
        for (const ClipSpan& s : spans) {
            if (s.cut()) {
                cutNames += (cutNames.empty() ? "" : ", ") + fileNamePart(s.path);
                continue;
            }
            measured = measured && s.fileSeconds.has_value();
            if (s.fileSeconds) total += *s.fileSeconds;
            if (s.clipSeconds) wholeClips += *s.clipSeconds;
        }
        if (cutNames.empty()) {
            if (measured) span = total;
        } else {
            // A cut file's span says nothing of the clock: the clips of the whole files decide.
            ClockChoice choice = chooseClock(title.duration, rate, std::nullopt);
            if (!measured || total <= 0 || wholeClips <= 0) {
                choice.reason = cutNames + " cut short; " + choice.reason;
                return choice;
            }
            choice.spanSeconds = total;
            const double exact = wholeClips;
            const double ntsc = wholeClips * 1001.0 / 1000.0;
            choice.clock = std::fabs(ntsc - total) < std::fabs(exact - total) ? Clock::Ntsc : Clock::Exact;
            char text[320];
            std::snprintf(text, sizeof text,
                          "%s cut short; the clips of the whole files last %.3f s at %s and %.3f s at %s; "
                          "their video PTS span is %.3f s; %s is closer",
                          cutNames.c_str(), exact, clockName(rate, Clock::Exact).c_str(), ntsc,
                          clockName(rate, Clock::Ntsc).c_str(), total, clockName(rate, choice.clock).c_str());
            choice.reason = text;
            return choice;
        }
    }
    return chooseClock(title.duration, rate, span);
}

} // namespace

ClockChoice titleClock(const Title& title, int rate, ClockSetting setting,
                       const std::vector<std::string>& evoPaths) {
    // Only the video's first and last PTS matter: the ends of each file suffice.
    const std::vector<ClipSpan> spans = clipSpans(title, rate, evoPaths);
    ClockChoice choice = clockOfSpans(title, rate, setting, spans);
    for (const ClipSpan& s : spans)
        if (s.cut()) {
            choice.cutFiles.push_back(s.path);
            choice.cutWarnings.push_back(cutClipWarning(s));
        }
    return choice;
}

std::vector<TimedChapter> timedChapters(const Title& title, int rate, Clock clock) {
    std::vector<TimedChapter> out;
    for (const Chapter& c : title.chapters)
        if (c.time) out.push_back({&c, titleSeconds(*c.time, rate, clock)});
    return out;
}

} // namespace vantrel::disc
