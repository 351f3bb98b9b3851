// The time stamps of a program stream file: for every stream its first and
// last PTS, how long its last stretch of audio plays after that last PTS, and
// so where the stream ends. One pass over the file, packet by packet.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::disc {

constexpr double kPtsPerSecond = 90000.0;

// What a stream is, by how the window's stream table keys it.
enum class SurveyKind { Video, Audio, Subpicture };

struct StreamSurvey {
    SurveyKind kind = SurveyKind::Video;
    // The stream code the window's stream table holds for it: stream_id (0xE0..),
    // stream_id_extension (0x55, 0x56) or private-stream-1 sub-stream id.
    int code = 0;
    // Index within its kind (video 0..1, audio 0..15, subpicture 0..31), as the stream boxes count.
    int index = 0;
    std::string codec;  // "VC-1", "MPEG-2", "H.264", "DD", "DD+", "DTS-HD", "LPCM", "MLP", "Subpicture", ...
    int channels = 0;   // audio, from the first frame header where the codec tells it; 0 unknown
    int sampleRate = 0; // audio, 0 unknown
    bool hasPts = false;
    std::uint64_t firstPts = 0; // the lowest PTS (video is stored out of display order)
    std::uint64_t lastPts = 0;  // the highest PTS
    std::int64_t packets = 0;
    // Ticks (90 kHz) the stream plays after lastPts: audio frames (or bytes of LPCM)
    // from the packet that carries the last PTS to the end of the file; for video
    // one frame. Unknown where the codec's frames could not be read.
    std::optional<double> tailTicks;
    // Ticks of one frame: video from the PTS steps, audio from the frame header.
    std::optional<double> frameTicks;
    // lastPts + tailTicks, when both are known.
    std::optional<double> endPts() const;
};

// Packets of a stream no reader here knows (a private-stream-1 sub-stream id
// or a stream_id_extension outside the known ranges): counted so that a
// command can say they are there, never silently passed over.
struct UnknownStream {
    int streamId = 0; // 0xBD or 0xFD
    int code = 0;     // the sub-stream id or the stream_id_extension
    std::int64_t packets = 0;
};

struct FileSurvey {
    std::string path;
    std::int64_t size = 0;
    bool programStream = false;         // starts with a pack header
    std::vector<StreamSurvey> streams;  // video, audio, subpicture; each by index
    std::vector<UnknownStream> unknown; // by stream id, then code
    // The main video stream: the video stream with the lowest index, nullptr if none.
    const StreamSurvey* mainVideo() const;
    const StreamSurvey* find(SurveyKind kind, int index) const;
    // Video's first PTS to its last PTS plus one frame, in seconds; none without video PTS.
    std::optional<double> videoSpanSeconds() const;
};

// Called now and then with the bytes read so far and the file size.
using SurveyProgress = std::function<void(std::int64_t position, std::int64_t size)>;

// Receives the payload of every subpicture packet (after its sub-stream id),
// with the PTS of the packet's own header where it has one.
using SubpicturePayload = std::function<void(int index, std::optional<std::uint64_t> pts,
                                             const std::uint8_t* data, std::size_t length)>;

// Reads the whole file. Opening fails with the file layer's error.
FileSurvey surveyFile(const std::string& path, const SurveyProgress& progress = {},
                      const SubpicturePayload& subpictures = {});
// Only the first and the last `window` bytes of the file (all of it when it is
// not larger than twice that): enough for the video's first and last PTS and
// the streams' ends, though `packets` then counts only the packets read.
FileSurvey surveyFileEnds(const std::string& path, std::int64_t window);
// The same over bytes in memory (tests, fuzzing).
FileSurvey surveyBytes(const std::uint8_t* data, std::size_t n);

// True when the file starts with an MPEG-2 pack header (00 00 01 BA). Opening
// fails with the file layer's error.
bool looksLikeProgramStream(const std::string& path);

// The figure in ms between two 90 kHz times (b - a), rounded to 0.001 ms.
double ticksToMs(double ticks);

} // namespace vantrel::disc
