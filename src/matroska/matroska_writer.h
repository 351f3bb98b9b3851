// One Matroska file written block by block: the tracks, the segment title and
// the chapters go into the header, then every frame as one block with its
// times, then the cues and the duration. Times are 90 kHz ticks on the
// title's time line. The file is written where it is asked to be; the caller
// gives it its final name.
#pragma once

#include "codecs/es_kind.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vantrel::matroska {

struct TrackSpec {
    EsKind kind = EsKind::Unknown;
    std::vector<std::uint8_t> codecPrivate; // video: the sequence headers as the stream carries them
    int width = 0, height = 0;
    std::uint32_t rateNum = 0, rateDen = 1; // video: frames per second; DefaultDuration from it
    int sampleRate = 0, channels = 0;
    int bits = 0;                 // LPCM: bits per sample as written (16, 24, 32), little-endian
    std::string language = "und"; // ISO 639-2/B
    std::string name;
    bool isDefault = false;
    bool forced = false;
    bool commentary = false;
    bool hearingImpaired = false;
    bool visuallyImpaired = false;
};

struct Chapter {
    double seconds = 0;
    std::string name;
};

struct FileSpec {
    std::string path;  // empty: the bytes go nowhere (fuzzing, measuring)
    std::string title; // segment title, may be empty
    std::vector<TrackSpec> tracks;
    std::vector<Chapter> chapters;
    double seconds = 0; // the title's length: the last chapter's end
};

// The Matroska codec id a track of a kind gets ("V_MPEG2", "A_AC3", ...).
std::string codecIdOf(EsKind kind);

class MatroskaWriter {
public:
    // Writes the header. Failures: Error of kind Output (with the system's reason).
    explicit MatroskaWriter(const FileSpec& fileSpec);
    ~MatroskaWriter();
    MatroskaWriter(const MatroskaWriter&) = delete;
    MatroskaWriter& operator=(const MatroskaWriter&) = delete;

    // One block of track `track` (its index in FileSpec::tracks). `dts` is the decode
    // time (video; audio and subtitles pass their pts); `duration` 0 when not
    // known. Times must not go back in decode order within a track.
    void write(int track, const std::uint8_t* data, std::size_t size, std::int64_t pts, std::int64_t dts,
               std::int64_t duration, bool key);
    // Writes the cues and closes the file.
    void finish();
    // Bytes written so far.
    std::int64_t bytes() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace vantrel::matroska
