// Which id means which kind of stream: PES stream_id values, the
// stream_id_extension of VC-1 video and the private stream 1 sub-stream ids.
// The parser, the packet reader, the stream names, the survey, the mux and the
// rebuild take their ranges and kinds from here.
#pragma once

#include <cstdint>

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

// What a stream code names: a video stream_id, a VC-1 stream_id_extension or a
// private-stream-1 sub-stream id.
enum class CodeKind {
    Mpeg2Video,
    H264Video,
    Vc1Video,
    Dd,
    DdPlus,
    DtsHd,
    Lpcm,
    Mlp,
    Subpicture,
    ExtendedSubpicture,
    None
};

// The kind of a video stream_id (0xE0..0xE3); None for any other id.
constexpr CodeKind videoKindOf(int streamId) {
    if (kMpeg2Video.holds(streamId)) return CodeKind::Mpeg2Video;
    if (kH264Video.holds(streamId)) return CodeKind::H264Video;
    return CodeKind::None;
}

// The kind of a stream_id_extension (the low seven bits of its byte).
constexpr CodeKind extensionKindOf(int extension) {
    return kVc1Video.holds(extension) ? CodeKind::Vc1Video : CodeKind::None;
}

// The kind of a private-stream-1 sub-stream id.
constexpr CodeKind subStreamKindOf(int sub) {
    if (kSubpicture.holds(sub)) return CodeKind::Subpicture;
    if (kExtendedSubpicture.holds(sub)) return CodeKind::ExtendedSubpicture;
    if (kDd.holds(sub)) return CodeKind::Dd;
    if (kDtsHd.holds(sub)) return CodeKind::DtsHd;
    if (kLpcm.holds(sub)) return CodeKind::Lpcm;
    if (kMlp.holds(sub)) return CodeKind::Mlp;
    if (kDdPlus.holds(sub)) return CodeKind::DdPlus;
    return CodeKind::None;
}

constexpr bool isVideo(CodeKind k) {
    return k == CodeKind::Mpeg2Video || k == CodeKind::H264Video || k == CodeKind::Vc1Video;
}
constexpr bool isSubpicture(CodeKind k) {
    return k == CodeKind::Subpicture || k == CodeKind::ExtendedSubpicture;
}
constexpr bool isAudio(CodeKind k) {
    return k != CodeKind::None && !isVideo(k) && !isSubpicture(k);
}

// The kind of a stream code as the stream table holds it (video stream_id,
// stream_id_extension or sub-stream id; the ranges do not overlap).
constexpr CodeKind kindOfCode(int code) {
    const CodeKind video = videoKindOf(code);
    if (video != CodeKind::None) return video;
    const CodeKind ext = extensionKindOf(code);
    if (ext != CodeKind::None) return ext;
    return subStreamKindOf(code);
}

// The stream's index within its kind, as the stream boxes count: video 0..1,
// audio 0..15 (DD+ 0..15, the others 0..7), subpicture 0..31.
constexpr int indexOfCode(int code) {
    const CodeKind k = kindOfCode(code);
    if (k == CodeKind::Vc1Video) return code - kVc1Video.first;
    if (isVideo(k)) return code & 1;
    if (isSubpicture(k)) return code & 0x1F;
    if (k == CodeKind::DdPlus) return code & 15;
    return code & 7;
}

// Bytes of a private-stream-1 packet's sub-stream header after the sub-stream
// id: the frame count and first access unit pointer of audio, then the LPCM
// format bytes or the MLP byte; none for subpictures. -1 for an unknown kind.
constexpr int privateHeaderBytes(CodeKind k) {
    switch (k) {
    case CodeKind::Subpicture:
    case CodeKind::ExtendedSubpicture: return 0;
    case CodeKind::Dd:
    case CodeKind::DdPlus:
    case CodeKind::DtsHd: return 3;
    case CodeKind::Lpcm: return 6;
    case CodeKind::Mlp: return 4;
    default: return -1;
    }
}

// A time stamp (PTS, DTS) as a PES header holds it: 33 bits in five bytes,
// with marker bits. The part that byte `i` (0..4) contributes, so a parser
// that takes the bytes one at a time decodes with the same rule.
constexpr std::uint64_t timeStampBits(int i, std::uint8_t b) {
    switch (i) {
    case 0: return static_cast<std::uint64_t>(b & 0x0E) << 29;
    case 1: return static_cast<std::uint64_t>(b) << 22;
    case 2: return static_cast<std::uint64_t>(b & 0xFE) << 14;
    case 3: return static_cast<std::uint64_t>(b) << 7;
    default: return static_cast<std::uint64_t>(b) >> 1;
    }
}

constexpr std::uint64_t decodeTimeStamp(const std::uint8_t* p) {
    return timeStampBits(0, p[0]) | timeStampBits(1, p[1]) | timeStampBits(2, p[2]) | timeStampBits(3, p[3]) |
           timeStampBits(4, p[4]);
}

} // namespace vantrel::ids
