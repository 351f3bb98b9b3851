// From a title's program stream files to one Matroska file: prepares the
// streams in a temporary folder beside the output, writes the option file,
// the chapter file and the manifest, runs the muxer, checks its result with
// the muxer's identification and only then renames it to the output name.
#pragma once

#include "files/errors.h"
#include "mux_files.h"
#include "mux_prep.h"

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vantrel::mux {

// What the playlist (or the caller) knows of a stream, by its stream code.
struct StreamLabel {
    std::string language; // any ISO 639 form; empty: "und"
    std::string description;
    MuxFlags flags; // from the playlist's language code
    // The caller's choice in place of the job's own: the default track (the
    // main video and the first audio), forced (subtitles whose every unit is).
    std::optional<bool> isDefault, isForced;
};

struct MkvJob {
    std::vector<ClipPart> parts; // the title's clips in playing order
    std::string output;          // OUT.mkv
    std::string title;           // segment title, may be empty
    double titleSeconds = 0;     // the title's duration; 0: the video's
    std::vector<ChapterMark> chapters;
    std::function<std::optional<StreamLabel>(std::uint8_t code)> label;
    // Called once the video's length is known (seconds by its frames), to
    // settle the title's duration and chapter times (the playlist's clock).
    std::function<void(double videoSeconds, double& titleSeconds, std::vector<ChapterMark>& chapters)> timing;
    std::set<std::uint8_t> only; // stream codes; empty: every audio and video stream
    bool keepTemp = false;
    // The output may replace a file of its name: one that was there, or that
    // appeared while the job ran. Without it the job fails rather than replace one.
    bool replace = false;
    std::string muxer = "mkvmerge"; // looked up in PATH
    // The file written in the pass that reads the clips (runTitleMkv); false:
    // the prepared files and the muxer above.
    bool inProcess = true;
    // Every wanted subpicture stream as a presentation graphics track.
    bool subtitles = true;
    // The stage ("Reading NAME.EVO" per clip, bytes of its file; "Muxing",
    // percent of 100) and how far it is.
    std::function<void(const std::string& stage, std::int64_t done, std::int64_t total)> progress;
    // Each warning as it arises, before it is in MkvOutcome::warnings.
    std::function<void(const std::string& text)> warning;
    bool forceRf64 = false; // tests
    // Asked regularly while the clips are read and while the muxer runs; true
    // stops the job: it fails with an Error of kind Interrupted, the muxer
    // stopped and its temporary folder removed.
    std::function<bool()> stopRequested;
};

struct MkvOutcome {
    std::vector<std::string> warnings; // "join gap N ms in STREAM" and the like
    std::vector<std::string> notes;    // what was cut from a clip, streams a clip does not carry
    std::string tempFolder;            // kept with keepTemp, else removed
    PrepResult prep;
    CheckOutcome check;
    std::vector<std::string> muxArgs;
    std::string muxFile;
    MuxPlan plan; // its track pointers point into prep
    double titleSeconds = 0;
    std::vector<ChapterMark> chapters;
};

// An audio track's name where the playlist gives none: its codec and channels
// ("DTS-HD 5.1", "DD+ 2.0", "LPCM 2.0"); the codec alone where no header
// gives the channels.
std::string audioTrackName(const PreparedStream& stream);

// The name the prepared files begin with: the first clip's, with "_2" for a
// title of several clips.
std::string preparedBaseName(const MkvJob& job);

// "join gap N ms in STREAM" (or overlap) for every join that is not continuous.
std::vector<std::string> joinWarnings(const PrepResult& prep);

// The tracks in order with their names, languages and flags (the first audio
// track is the default one; no subtitle is); the plan's output and chapter file unset.
MuxPlan trackPlan(const PrepResult& prep, const MkvJob& job);

// Gives the finished temporary file `temp` the name `output`: never over a
// file that appeared while the job ran unless `replace` (Error of kind Output
// then); the temporary is removed when it cannot be renamed.
void giveFinalName(const std::string& temp, const std::string& output, bool replace);

// Writes the prepared streams, chapters, mux.json (naming `muxOutput` as the
// muxer's output) and title.json into `folder` (with its trailing "/").
MkvOutcome prepareMuxFolder(const MkvJob& job, const std::string& folder, const std::string& muxOutput);

// Runs the job. Failures: Error of kind Muxer (the muxer missing or failing),
// Check (the result does not hold what was meant), InputUnreadable (bad LPCM,
// unreadable sources), Output (the output folder not writable).
// Nothing is left at `output` unless the whole job succeeded.
MkvOutcome runMkvJob(const MkvJob& job);

// Runs a program with arguments, its output and errors collected; the exit
// status, or -1 when it could not be started (errno-style text in `failure`).
// When `stop` turns true the program is sent SIGTERM and `stopped` is set.
struct ProgramRun {
    int status = -1;
    std::string output;
    std::string failure;
    bool stopped = false;
    bool missing = false; // the program is not there (not in PATH)
};
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::function<void(const std::string& line)>& onLine = {},
                      const std::function<bool()>& stop = {});

} // namespace vantrel::mux
