// From what a user names (an EVO file, or a disc, HVDVD_TS folder or playlist
// with a title) to the job of the muxing pipeline: the title's clips in
// playlist order with their spans, its name, duration, chapters and the
// playlist's names and languages of its streams, and the stream choice. The
// command line and a window build their jobs here alike.
#pragma once

#include "disc/disc_model.h"
#include "mkv_job.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vantrel::mux {

struct TitleRequest {
    std::optional<int> title;   // titleNumber; none: the EVO file alone, or the longest title
    std::string tracks;         // --tracks: comma-separated names; empty or "all": every stream
    std::string clock = "auto"; // --clock: auto, or the nominal rate or its 1000/1001 clock ("60", "59.94")
};

struct TitleJob {
    MkvJob job;
    const disc::Title* title = nullptr; // points into the playlist given
    bool longest = false;               // the title was taken as the longest one
    std::vector<std::string> warnings;
    std::vector<std::string> notes;
};

// Builds the job. Without a title a disc or playlist gives its longest title
// with clips; an EVO file gives itself, continued into NAME_2.EVO after
// NAME_1.EVO when no playlist is at hand. A title that plays one clip twice is
// refused. Failures: Error of kind Usage (a bad --clock or --tracks, a title
// needed), InputUnreadable (the title's files are not there), NotFound (no
// playlist, or no such title).
TitleJob titleJob(const disc::DiscLocation& at, const std::optional<disc::Playlist>& playlist,
                  const TitleRequest& request);

// The playlist's title of a number; an Error of kind NotFound naming the ones there are when absent.
const disc::Title& titleOfNumber(const std::optional<disc::Playlist>& playlist, int number);

// Stream codes a box name stands for: a box name (cbVideo0, cbAudio03:
// every code the window puts in that box), a stream code (0xC0) or a caption
// (DD+.stream.00); empty when it names none.
std::set<std::uint8_t> codesOfTrackName(const std::string& name);

} // namespace vantrel::mux
