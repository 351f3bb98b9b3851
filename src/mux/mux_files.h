// The files around the muxer: the option file (a JSON array of strings for
// "mkvmerge @FILE"), the chapter file, the manifest (title.json) and the check
// of the muxer's identification output (mkvmerge -J) against what was meant.
#pragma once

#include "mux_prep.h"
#include "names/language_codes.h"

#include <optional>
#include <string>
#include <vector>

namespace vantrel::mux {

struct ChapterMark {
    double seconds = 0;
    std::string name;
};

// The playlist's track flags as the muxer takes them (--commentary-flag,
// --visual-impaired-flag, --forced-display-flag, --hearing-impaired-flag).
struct MuxFlags {
    bool commentary = false;
    bool visuallyImpaired = false;
    bool forced = false;
    bool hearingImpaired = false;
};

// A track that is not one of the prepared streams (subtitles converted
// elsewhere hook in here): its file holds one track, id 0.
struct ExtraTrack {
    const PreparedStream* stream = nullptr; // the prepared stream it was made from, if any
    std::string file;
    std::string type = "subtitles"; // as the identification reports it
    std::string language = "und";
    std::string name;
    bool isDefault = false;
    bool isForced = false;
    MuxFlags flags; // the playlist's; flags.forced adds to isForced
    int syncMs = 0;
};

struct TrackPlan {
    const PreparedStream* stream = nullptr;
    std::string language = "und"; // ISO 639-2/B
    std::string name;
    bool isDefault = false;
    MuxFlags flags;
};

struct MuxPlan {
    std::string output;       // the file the muxer writes
    std::string title;        // segment title, may be empty
    std::string chaptersFile; // may be empty
    bool pulldown = false;    // main video: 24000/1001p default duration
    std::vector<TrackPlan> tracks;
    std::vector<ExtraTrack> extra;
};

// The muxer's arguments, in order: output, title, chapters, then per track its
// options and file(s); the second part of a split audio stream is appended to
// the first with "+" and its own sync.
std::vector<std::string> muxArguments(const MuxPlan& plan);
// A JSON array of strings.
std::string jsonArray(const std::vector<std::string>& items);
// Matroska XML chapters.
std::string chaptersXml(const std::vector<ChapterMark>& chapters);
// Rounds a delay in ms to the whole ms the muxer takes.
int wholeMs(double ms);

struct ExpectedTrack {
    std::string type; // "video", "audio", "subtitles"
    std::string language;
    std::string name;
};

struct CheckOutcome {
    std::vector<std::string> mismatches; // empty: everything as meant
    double durationSeconds = 0;
    int chapters = 0;
    int tracks = 0;
};

// Compares the identification JSON with the tracks meant (in order), the
// chapter count and the title's duration (within 1 s; skipped when <= 0).
CheckOutcome checkIdentification(const std::string& text, const std::vector<ExpectedTrack>& expected,
                                 int chapters, double titleSeconds);

struct Manifest {
    std::string title;
    std::vector<std::string> sources;
    std::string output;
    std::string muxFile;
    double titleSeconds = 0;
    const PrepResult* prep = nullptr;
    const MuxPlan* plan = nullptr;
    std::vector<ChapterMark> chapters;
    std::vector<std::string> warnings;
};
std::string manifestJson(const Manifest& manifest);

} // namespace vantrel::mux
