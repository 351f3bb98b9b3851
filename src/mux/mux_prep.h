// Writes the files a muxer takes from one title: the video as it is, every
// audio stream starting at its first time-stamped frame (LPCM turned into
// WAV), and measures what the mux options need: each stream's first PTS and
// delay against the video, and for a title split over two files how far each
// audio stream's second part would land off its own PTS if simply appended
// (the join figure), with whole frames of overlap dropped from the second part.
#pragma once

#include "es_kind.h"
#include "lpcm.h"
#include "video_scan.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace vantrel::mux {

// An input fault the user must know of (unknown LPCM code, LPCM header changing
// mid-stream): exit 3 on the command line.
class InputError : public std::runtime_error {
public:
    explicit InputError(const std::string& text) : std::runtime_error(text) {}
};

struct PartFigures {
    bool present = false;
    bool hasPts = false;
    std::uint64_t firstPts = 0; // 33 bits; video: the lowest of the first time stamps
    std::int64_t packets = 0;
    std::int64_t bytes = 0; // written to this part's file
    double seconds = 0;     // audio: what the written frames play for; video: by its flags
};

struct PreparedStream {
    std::uint8_t code = 0; // video stream_id / VC-1 extension id / private sub-stream id
    EsKind kind = EsKind::Unknown;
    // The files, in playing order (audio of a two-part title: one per part).
    std::vector<std::string> files;
    PartFigures part[2];
    std::optional<LpcmFormat> lpcm;
    int sampleRate = 0;
    VideoFacts video;          // video streams: over every part
    VideoFacts videoFirstPart; // video streams: the first part alone
    bool muxed = false;
    std::string note; // why a stream is not muxed, or what was done to it
    // Delay of the first PTS against the main video's first PTS, ms (audio).
    double delayMs = 0;
    // Two parts: + gap / - overlap against simple appending, ms; what was done.
    std::optional<double> joinMs;
    std::int64_t droppedFrames = 0;
    double appendSyncMs = 0; // the sync the second part gets on top of appending
};

struct PrepOptions {
    std::vector<std::string> parts; // one or two program stream files, in playing order
    std::string folder;             // where the files go, with a trailing "/"
    std::string baseName;           // file names begin with it
    std::set<std::uint8_t> only;    // stream codes to write; empty: every stream
    bool forceRf64 = false;         // tests: RF64 headers on small files
    std::function<void(int part, std::int64_t position, std::int64_t size)> progress;
};

struct PrepResult {
    std::vector<PreparedStream> streams; // video first (main video first), then audio, then subpicture
    int mainVideo = -1;                  // index into streams
    bool pulldown = false;               // main video
    double videoSeconds = 0;             // main video over every part
    std::vector<std::string> warnings;
};

// Runs the pass. Errors: Error (files), InputError (LPCM).
PrepResult prepareStreams(const PrepOptions& options);

// "0x55" style code text; the caption of a stream for track names.
std::string codeText(std::uint8_t code);
std::string streamCaption(const PreparedStream& stream);

} // namespace vantrel::mux
