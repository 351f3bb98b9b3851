// A Matroska file read back through libavformat's Matroska demuxer: each
// track's codec id and block count, its first and last block times and the
// file's duration, for the check after writing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::matroska {

struct TrackReadBack {
    std::string codec; // libavcodec's name of the codec the track holds ("mpeg2video", "ac3", ...)
    std::string language, name;
    std::int64_t blocks = 0; // frames: laced frames count one each
    double firstSeconds = 0; // the lowest presentation time
    double lastSeconds = 0;  // the highest
    double endSeconds = 0;   // the highest time plus that block's duration
};

struct FileReadBack {
    std::vector<TrackReadBack> tracks;
    int chapters = 0;
    double durationSeconds = 0;
};

// Failures: Error of kind Check (the file does not read as Matroska).
FileReadBack readBack(const std::string& path);

} // namespace vantrel::matroska
