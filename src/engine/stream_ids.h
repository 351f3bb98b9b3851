// Which id means which kind of stream: PES stream_id values, the
// stream_id_extension of VC-1 video and the private stream 1 sub-stream ids.
// The parser, the stream names and the rebuild take their ranges from here.
#pragma once

namespace vantrel::ids {

// Ids first..last.
struct Range {
    int first;
    int last;
    constexpr bool holds(int id) const { return id >= first && id <= last; }
};

// stream_id values (the byte after a 00 00 01 start code prefix).
constexpr int kPackStart = 0xBA;
constexpr int kSystemHeader = 0xBB;
constexpr int kProgramStreamMap = 0xBC;
constexpr int kPrivateStream1 = 0xBD;
constexpr int kPadding = 0xBE;
constexpr int kPrivateStream2 = 0xBF;
constexpr int kExtendedStream = 0xFD; // carries a stream_id_extension
constexpr Range kMpeg2Video{0xE0, 0xE1};
constexpr Range kH264Video{0xE2, 0xE3};
constexpr Range kVideo{0xE0, 0xE3};
// MPEG audio: the parser follows the packets of the first sixteen (and writes
// them nowhere); the rebuild decides on all thirty-two.
constexpr Range kMpegAudio{0xC0, 0xDF};
constexpr Range kParsedMpegAudio{0xC0, 0xCF};

// stream_id_extension values of VC-1 video.
constexpr Range kVc1Video{0x55, 0x56};

// Private stream 1 sub-stream ids.
constexpr Range kDd{0x80, 0x87};
constexpr Range kDtsHd{0x88, 0x8F};
constexpr Range kLpcm{0xA0, 0xA7};
constexpr Range kMlp{0xB0, 0xB7};
constexpr Range kDdPlus{0xC0, 0xCF};
constexpr Range kSubpicture{0x20, 0x3F};
constexpr Range kExtendedSubpicture{0x60, 0x7F};
// The subpicture ids whose index (0..15) has a box and an output file.
constexpr Range kBoxedSubpicture{0x20, 0x2F};
constexpr Range kBoxedExtendedSubpicture{0x60, 0x6F};

} // namespace vantrel::ids
