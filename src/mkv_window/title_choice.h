// What the MKV window shows and hands to the title job, without Qt: the
// source read as vantrel-cli reads it, its titles (the default one as
// vantrel-cli takes it), the tracks of a title with the names, languages and
// flags vantrel-cli mkv gives them, and the job of the user's choice.
#pragma once

#include "cli/disc_input.h"
#include "mux/mkv_job.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::mkvwin {

struct TitleRow {
    std::optional<int> number; // titleNumber; none: the EVO file named as the source
    std::string name;          // the title's name, or the file's
    std::optional<double> seconds;
    int clips = 0;
    int chapters = 0;
    bool playable = true; // plays at least one clip (an EVO file always)
};

struct SourceRead {
    std::string path; // as the user named it
    cli::DiscInput input;
    std::vector<TitleRow> titles;
    int defaultRow = -1; // the row vantrel-cli takes without --title; -1 when none plays a clip
    std::vector<std::string> notes;
};

// Reads a disc folder, HVDVD_TS folder, playlist, EVO file or disc image.
// Failures: Error of kind InputUnreadable or NotFound, as vantrel-cli's.
SourceRead readSource(const std::string& path);

enum class TrackKind { Video, Audio, Subtitle };

struct TrackRow {
    TrackKind kind = TrackKind::Video;
    int code = -1;       // the stream code in the files; -1: only the playlist lists it
    std::string caption; // "DD+.stream.00"
    std::string codec;
    int channels = 0;
    std::string language; // ISO 639-2/B
    std::string name;
    bool mux = true;
    bool isDefault = false, forced = false, commentary = false, hearingImpaired = false;
    // What the job does without the user: the name, the default flag and forced.
    std::string jobName;
    bool jobDefault = false, jobForced = false;
    std::string playlistLanguage;
    bool visuallyImpaired = false; // kept as the playlist gives it
    // Not a stream the job can mux (an advanced subtitle, a stream not in the files).
    bool muxable = true;
    std::string note;
};

struct TitleTracks {
    std::vector<TrackRow> tracks;
    std::vector<std::string> warnings; // as vantrel-cli mkv prints them before its run
    std::vector<std::string> notes;
    std::vector<std::string> parts; // the EVO files, in playing order
    std::string title;              // the title's name for the output's name and the window's title
};

// The tracks of a title row: the title job built as vantrel-cli mkv builds
// it, the streams found near each clip's ends. Failures as titleJob's.
TitleTracks readTracks(const SourceRead& source, int row);

// The title job for a row with the tracks as the user left them: unticked
// tracks left out, a changed language, name or flag given to the job.
mux::MkvJob jobOf(const SourceRead& source, int row, const std::vector<TrackRow>& tracks,
                  const std::string& output);

// The default flag as the job sets it when the user sets none: the first
// ticked video and the first ticked audio track; never a subtitle.
void settleDefaults(std::vector<TrackRow>& tracks);

// The output's default name: the title's name as a file name, in `folder`
// when given, else beside the disc (the folder that holds it).
std::string defaultOutput(const SourceRead& source, const std::string& title, const std::string& folder);

// Refuses an output that is one of the run's inputs, a folder, or in a folder
// that does not exist; an existing file only unless `replace`. Error of kind Output.
void checkOutput(const SourceRead& source, const std::vector<std::string>& parts, const std::string& output,
                 bool replace);

// "1:23:45"
std::string clockText(double seconds);

} // namespace vantrel::mkvwin
