// What a stream is called: the kind names a stream code gives (the file names
// of the runs, the captions of the boxes), the captions of the streams a
// playlist lists, and the names of the stream boxes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

enum class StreamKind { Video, Audio, Subpicture };

// "VC-1.stream", "DD+.stream", "Ext.Subpicture" ...; empty for a code of no
// such kind (subpicture codes: only those of the slots that have a box).
std::string VideoStreamName(std::int32_t code);
std::string AudioStreamName(std::int32_t code);
std::string SubpictureStreamName(std::int32_t code);

// Captions of listed streams: CODEC.stream.T-1 for video, and
// CODEC.stream.NN.DESCRIPTION for audio and subtitles (NN = n-1, two digits below 10).
std::string videoCaption(std::string_view codec, int track);
std::string streamCaption(std::string_view codec, int streamNumber, std::string_view description);

// The box of a stream's index within its kind: "cbVideo1", "cbAudio03", "cbSub15".
std::string streamBoxName(StreamKind kind, int index);

} // namespace vantrel
