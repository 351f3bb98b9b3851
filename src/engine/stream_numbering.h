// The numbering that ties a stream's index within its kind to its stream-table
// slot and its output file.
#pragma once

namespace vantrel {

// Stream-table slots: video 1 and 2 (indices 0, 1; the playlist lists tracks
// up to index 15), audio 17..32, subpicture 33..64 (indices 16..31 are recorded
// but have no box and no output file).
constexpr int videoSlot(int index) {
    return 1 + index;
}
constexpr int audioSlot(int index) {
    return 17 + index;
}
constexpr int subpictureSlot(int index) {
    return 33 + index;
}

// Output file numbers: audio 0..15, subpicture 16..31, video 32 and 33.
constexpr int kOutputFileCount = 34;
constexpr int audioOutput(int index) {
    return index;
}
constexpr int subOutput(int index) {
    return 16 + index;
}
constexpr int videoOutput(int index) {
    return 32 + index;
}

} // namespace vantrel
