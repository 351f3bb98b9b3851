// A disc (or a loose EVO file) as the command line and the muxing helpers see
// it: where its files are, which EVO files make up each title, and each
// title's streams with the playlist's names and languages joined to the time
// stamps found in the files.
#pragma once

#include "pts_survey.h"
#include "title_model.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::disc {

// What a path given by the user names.
struct DiscLocation {
    enum class Kind { DiscRoot, EvoFolder, EvoFile, PlaylistFile };
    Kind kind = Kind::EvoFile;
    std::string evoFolder;    // with a trailing "/", empty when unknown
    std::string playlistPath; // the playlist, empty when there is none at hand
    std::string evoFile;      // Kind::EvoFile: the file
    std::string image;        // the disc image or device the paths lie in, empty for folders on disk
    std::string playlistNote; // why another playlist than the boot playlist was taken, empty otherwise
    // "names matched by case alone: hvdvd_ts for HVDVD_TS, ..." when the disc's
    // folders were found by a name in another case (a copy), empty otherwise.
    std::string caseNote;
    void noteCase(const std::string& found, const std::string& asked);
};

// Folder and file names are found whatever their case (see findEntry).
// A disc root (holding HVDVD_TS/), its HVDVD_TS folder, an EVO/VOB file or a
// playlist file; or a disc image (.iso, .udf, .img, or a file with a volume
// recognition sequence) or a block device (an HD DVD drive), which is a disc
// root read in place, as are the folders and files inside it (IMAGE/HVDVD_TS,
// see engine/disc_image.h). Throws Error("Cannot open file ...") with the
// system's text when the path does not exist, and for an image that is not
// UDF, is cut before its file system ends or holds no HVDVD_TS folder.
DiscLocation locateDisc(const std::string& input);

// The playlist of a disc's ADV_OBJ folder: the boot playlist, the
// highest-numbered VPLSTnnn.XPL. A boot playlist that maps no clips (a
// selector that only starts the disc's menus) gives way to the
// highest-numbered playlist that has clips; `note` then says so. Empty when
// the folder has no playlist.
std::string bootPlaylist(const std::string& advObjFolder, std::string& note);

// The title a command takes without --title: the longest title with clips
// (the feature), else the longest title; nullptr for a playlist without titles.
const Title* defaultTitle(const Playlist& playlist);

// The EVO files of a title: the playlist's clips in order (the NAME_1/NAME_2
// naming adds nothing to a title). A warning where the playlist joins files
// the window's Demux would not continue into each other.
struct TitleFiles {
    std::vector<std::string> paths;    // existing files, in playing order
    std::vector<std::string> missing;  // listed by the playlist but absent
    std::vector<std::string> warnings; // e.g. the naming continues a file the playlist does not
    std::vector<std::string> notes;    // clips whose files were found by a name in another case
};
TitleFiles filesOfTitle(const Title& title, const std::string& evoFolder);

// One stream of a title: what the playlist says of it and what the files hold.
struct TitleStream {
    StreamKind kind = StreamKind::Video;
    int index = 0;       // within its kind: video 0..1, audio 0..15, subpicture 0..31
    std::string box;     // the window's stream box, "" beyond cbSub15
    std::string caption; // the box caption the window shows: the playlist's where it lists the stream, else
                         // the scan's
    std::string codec;   // from the files where they carry it, else the playlist's attribute item
    int code = -1;       // the stream code in the files, -1 when not found there
    int channels = 0;    // from the files' frame headers, else the playlist's attribute item; 0 unknown
    std::string description; // the playlist's
    std::string language6391, language6392;
    bool listed = false;   // the playlist lists it
    TrackFlags flags;      // from the playlist's language code
    bool advanced = false; // an AdvancedSubtitleSegment's subtitle: no subpicture stream to convert
    // Per file of the title, in order: the stream's figures there (none where the file lacks it).
    std::vector<std::optional<StreamSurvey>> perFile;
    // First PTS in the first file, and its delay against that file's first video PTS.
    std::optional<std::uint64_t> firstPts;
    std::optional<double> delayMs;
    // Titles of two files: the second file's first PTS minus the first file's end, in ms.
    std::optional<double> joinMs;
};

struct TitleModel {
    Title title;
    TitleFiles files;
    std::vector<FileSurvey> surveys; // one per file in files.paths (when surveyed)
    std::vector<TitleStream> streams;
    std::vector<std::string> warnings;
    // The video PTS span over the title's files, in seconds: per file the
    // video's first PTS to its last PTS plus one frame, summed.
    std::optional<double> videoSpanSeconds() const;
};

// Gives the survey of a file (a caller may keep them, as titles share files).
using SurveySource = std::function<FileSurvey(const std::string& path)>;

// The warning that names a subtitle track of an AdvancedSubtitleSegment and
// says that it cannot be converted.
std::string advancedSubtitleWarning(const Title& title, const PlaylistStream& stream);

// Builds a title's model; with a survey source every file of the title is surveyed.
TitleModel buildTitleModel(const Title& title, const std::string& evoFolder, const SurveySource& survey = {});

// The streams of one file without a playlist, in the same form (perFile has one entry).
std::vector<TitleStream> fileStreams(const FileSurvey& survey);

// Delay of a stream against the file's first video PTS, in ms; none without either.
std::optional<double> delayMs(const FileSurvey& file, const StreamSurvey& stream);
// The join of a stream from file a into file b, in ms (positive: a gap).
std::optional<double> joinMs(const StreamSurvey& inFirst, const StreamSurvey& inSecond);

// The caption the window's scan gives the stream's box ("DD+.stream.03").
std::string scanCaption(const StreamSurvey& stream);

// The clock the chapter times are read in.
struct ClockChoice {
    Clock clock = Clock::Exact;
    std::optional<double> spanSeconds;  // the video PTS span, when files were at hand
    std::optional<double> exactSeconds; // titleDuration at the exact rate
    std::optional<double> ntscSeconds;  // titleDuration at rate * 1000/1001
    std::string reason;
    // The title's files that end more than a second before their clips (see
    // ClipSpan), and a warning naming each; filled by titleClock.
    std::vector<std::string> cutFiles;
    std::vector<std::string> cutWarnings;
    // What a command says of it: "clock 59.94: REASON".
    std::string note(int rate) const { return "clock " + clockName(rate, clock) + ": " + reason; }
};
// The closer of the two clocks to the video PTS span. Without a span (no EVO
// file at hand) or without a titleDuration to compare, rate * 1000/1001: real
// discs count HH:MM:SS:FF at 60000/1001 Hz.
ClockChoice chooseClock(const std::optional<TitleTime>& duration, int rate,
                        std::optional<double> spanSeconds);

// How the user asked for the clock: --clock auto, 60 or 59.94 (for a 60 Hz timeBase).
enum class ClockSetting { Auto, Exact, Ntsc };
// The setting a --clock value names at a nominal rate; none for other text.
std::optional<ClockSetting> clockSetting(const std::string& text, int rate);
// What --clock takes at that rate, for a message: "auto, 60 or 59.94".
std::string clockSettingChoices(int rate);

// What a title's EVO file holds against what the playlist plays of it: its
// video PTS span (read from the file's ends) and the clip's end inside the
// file (clipTimeBegin plus the clip's length on the title's time line), at
// the exact clock, the shorter of the two.
struct ClipSpan {
    std::string path;
    std::optional<double> fileSeconds; // none when the file holds no video PTS
    std::optional<double> clipSeconds; // none when the playlist gives no times for it
    // Ends more than a second before its clip does: a copy cut short.
    bool cut() const { return fileSeconds && clipSeconds && *fileSeconds + 1.0 < *clipSeconds; }
};
// One per path, each path matched to the clip of its name (without regard to case).
std::vector<ClipSpan> clipSpans(const Title& title, int rate, const std::vector<std::string>& evoPaths);
// "FEATURE_1.EVO holds 4.1 s of its 8.3 s clip: cut short? copy it again"
std::string cutClipWarning(const ClipSpan& span);

// The one clock decision for a title that every command shares: the setting
// when it names a clock, else chooseClock with the video PTS span of the
// title's EVO files (the video's first PTS to its last PTS plus one frame,
// summed; read from the ends of each file). A file cut short (ClipSpan::cut)
// is left out: the clips of the whole files decide, by their playlist
// lengths against their spans. A file that cannot be read fails
// as the file layer says (an Error of kind InputUnreadable).
ClockChoice titleClock(const Title& title, int rate, ClockSetting setting,
                       const std::vector<std::string>& evoPaths);

// A title's chapters in title order with their start in seconds at a clock;
// a chapter without a readable titleTimeBegin is left out.
struct TimedChapter {
    const Chapter* chapter;
    double seconds;
};
std::vector<TimedChapter> timedChapters(const Title& title, int rate, Clock clock);

} // namespace vantrel::disc
