// Writes the files a muxer takes from one title in one pass over each clip's
// EVO: every packet goes to the sink of its track (the video as it is, audio
// frames from the first time-stamped one, LPCM turned into WAV, subpictures
// into presentation graphics) and to the track's figures. It measures what
// the mux options need: each stream's first PTS and delay against the video,
// and at every join of a title of several clips how far the stream's next
// part would land off its own PTS if simply appended (the join figure). A
// figure within rounding is a continuous join; real overlaps lose whole
// frames of the next part, real gaps are given as a sync.
#pragma once

#include "codecs/es_kind.h"
#include "codecs/video_scan.h"
#include "lpcm.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vantrel::mux {

struct PartFigures {
    bool present = false; // the clip carries the stream
    bool hasPts = false;
    std::uint64_t firstPts = 0; // 33 bits; video: the lowest of the first time stamps
    std::uint64_t lastPts = 0;  // video: the highest
    double ptsStep = 0;         // video: the smallest step between time stamps (one frame)
    std::int64_t packets = 0;
    std::int64_t bytes = 0; // written to this part's file
    double seconds = 0;     // audio: what the written frames play for; video: by its flags
};

// One join of a stream: where its part in clip `part` lands against where its
// own time stamps put it next to the video.
struct JoinFigures {
    int part = 0;            // the clip the stream goes on in (0-based)
    double figureMs = 0;     // + gap / - overlap against simple appending
    bool continuous = false; // within rounding: nothing dropped, no sync added
    std::int64_t droppedFrames = 0;
    double syncMs = 0; // the sync the part gets on top of appending
};

// What a clip contributes: the whole EVO, or the span a playlist gives it.
struct ClipPart {
    ClipPart() = default;
    ClipPart(std::string file) : path(std::move(file)) {} // NOLINT: a whole EVO converts implicitly
    std::string path;
    // The clip's start inside the EVO and its length, in frames of the title
    // clock's nominal rate (`rate` per second; the clock is exact or 1000/1001
    // as the video's own frame rate is); none: from the start, to the end.
    std::optional<long long> beginFrames, lengthFrames;
    int rate = 60;
};

struct PreparedStream {
    std::uint8_t code = 0; // video stream_id / VC-1 extension id / private sub-stream id
    EsKind kind = EsKind::Unknown;
    // The files, in playing order (audio: one per clip that carries it;
    // video: one; subpicture: the presentation graphics file).
    std::vector<std::string> files;
    std::vector<PartFigures> part;  // one per clip
    std::vector<double> fileSyncMs; // per file: the sync on top of appending (the first: 0)
    std::optional<LpcmFormat> lpcm;
    int sampleRate = 0;
    int channels = 0;         // audio: from the first frame header that gives them; 0 unknown
    bool hdExtension = false; // DTS: a DTS-HD extension substream follows the core
    VideoFacts video;         // video streams: over every part
    bool muxed = false;
    std::string note; // why a stream is not muxed, or what was done to it
    // Delay of the first PTS against the main video's first PTS, ms (audio).
    double delayMs = 0;
    std::vector<JoinFigures> joins; // audio of several clips: one per part after the first
    // Subpictures: what the converter counted.
    int subpictureUnits = 0, subpictureForced = 0;
};

struct PreparedStream;

// Where the pass hands its streams when they go straight into a muxer rather
// than into files: times are 90 kHz ticks on the title's time line, 0 where
// the title's main video starts.
class StreamOutput {
public:
    virtual ~StreamOutput() = default;
    // A clip's time line is settled: a raw PTS t of the clip is at
    // titleTicks + (t - videoStart) on the title's (across the 33-bit wrap).
    virtual void clock(int part, bool hasVideo, std::uint64_t videoStart, double titleTicks) = 0;
    // A video packet inside the clip's span, with its PES times as they are.
    virtual void video(const PreparedStream& s, const std::uint8_t* data, std::size_t n, bool hasPts,
                       std::uint64_t pts, bool hasDts, std::uint64_t dts) = 0;
    // The clip ends for the stream: the frame or block being gathered goes out.
    virtual void endClip(const PreparedStream& s) = 0;
    // One audio frame (samples 0: a dependent part of the frame before) at its time.
    virtual void audio(const PreparedStream& s, const std::uint8_t* data, std::size_t n, std::int64_t samples,
                       double ticks) = 0;
    // LPCM as little-endian samples, starting at `ticks`.
    virtual void pcm(const PreparedStream& s, const std::uint8_t* data, std::size_t n, double ticks) = 0;
    // Presentation graphics bytes of a subpicture stream (segments timed as
    // the title's time line plus the first clip's video start).
    virtual void subtitle(std::uint8_t code, const std::uint8_t* data, std::size_t n) = 0;
};

struct PrepOptions {
    std::vector<ClipPart> parts; // the clips' program stream files, in playing order
    std::string folder;          // where the files go, with a trailing "/"
    std::string baseName;        // file names begin with it
    std::set<std::uint8_t> only; // stream codes to write; empty: every stream
    bool forceRf64 = false;      // tests: RF64 headers on small files
    bool subpictures = false;    // convert the wanted subpicture streams to presentation graphics
    std::function<void(int part, std::int64_t position, std::int64_t size)> progress;
    // Each warning as it arises, before it is in PrepResult::warnings.
    std::function<void(const std::string& text)> warning;
    // Set: every stream goes there and no file is written (the names in
    // PreparedStream::files are still given, as the files would be called).
    StreamOutput* output = nullptr;
};

// What a clip gave the title.
struct ClipFigures {
    std::string path;
    double titleStartSeconds = 0; // where its video starts on the title's time line
    double seconds = 0;           // its main video, by the frames written
    // A span: how far into the EVO it starts (at the first random access point
    // at or after the clip's start) and what is left out after its end.
    std::optional<double> cutBeforeSeconds, cutAfterSeconds;
};

struct PrepResult {
    std::vector<PreparedStream> streams; // video first (main video first), then audio, then subpicture
    int mainVideo = -1;                  // index into streams
    bool pulldown = false;               // main video
    double videoSeconds = 0;             // main video over every part
    std::vector<ClipFigures> clips;      // one per clip, in playing order
    std::vector<std::string> warnings;
    std::vector<std::string> notes; // what was cut from a clip, streams a clip does not carry
};

// Runs the pass. Errors: Error (files; of kind InputUnreadable for an input
// fault the user must know of: an unknown LPCM code, an LPCM header changing
// mid-stream).
PrepResult prepareStreams(const PrepOptions& options);

// Sorts the streams as the title's tracks go: video first (main video first),
// then audio, then subpicture, each by the disc's stream numbers. The main
// video's index, -1 without video.
int orderStreams(std::vector<PreparedStream>& streams);

// b - a in 90 kHz ticks across the 33-bit wrap.
double ptsDiff(std::uint64_t a, std::uint64_t b);

// "0x55" style code text; the caption of a stream for track names.
std::string codeText(std::uint8_t code);
std::string streamCaption(const PreparedStream& stream);

} // namespace vantrel::mux
