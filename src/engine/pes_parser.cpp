#include "pes_parser.h"

#include "packets/start_code_scan.h"
#include "packets/stream_ids.h"
#include "stream_numbering.h"

#include <string>

namespace vantrel {

std::string streamFoundLine(ids::CodeKind kind, int index) {
    const char* name = "";
    switch (kind) {
    case ids::CodeKind::Mpeg2Video: name = "MPEG-2 video stream "; break;
    case ids::CodeKind::H264Video: name = "H.264 video stream "; break;
    case ids::CodeKind::Vc1Video: name = "VC-1 video stream "; break;
    case ids::CodeKind::Subpicture: name = "Subpicture stream "; break;
    case ids::CodeKind::ExtendedSubpicture: name = "Extended subpicture stream "; break;
    case ids::CodeKind::Dd: name = "DD audio stream "; break;
    case ids::CodeKind::DtsHd: name = "DTS HD audio stream "; break;
    case ids::CodeKind::DdPlus: name = "DD+ audio stream "; break;
    case ids::CodeKind::Lpcm: name = "LPCM audio stream "; break;
    case ids::CodeKind::Mlp: name = "MLP audio stream "; break;
    case ids::CodeKind::None: break;
    }
    return name + std::to_string(index) + " found!";
}

void PesParser::startCode(std::uint8_t id, RunMode mode) {
    State& s = m_state;
    if (ids::kVideo.holds(id)) {
        s.payloadKind = PayloadKind::Video;
        s.videoKind = ids::kMpeg2Video.holds(id) ? VideoKind::Mpeg2 : VideoKind::H264;
        s.videoIndex = id & 1;
        if (m_table[videoSlot(s.videoIndex)] == -1) {
            m_table[videoSlot(s.videoIndex)] = id;
            found(mode, ids::videoKindOf(id), s.videoIndex);
        }
    } else if (id == ids::kExtendedStream) {
        s.payloadKind = PayloadKind::Video;
        s.videoKind = VideoKind::Vc1;
    } else if (ids::kParsedMpegAudio.holds(id)) {
        s.payloadKind = PayloadKind::MpegAudio;
    } else if (id == ids::kPrivateStream1) {
        s.payloadKind = PayloadKind::PrivateStream1;
    } else {
        s.payloadKind = PayloadKind::SkipPacket; // program stream map, padding, private stream 2
    }
    s.lengthPhase = 2;
    s.packetAnnouncesPts = false;
    s.ownPtsValid = false;
    s.firstRunOfPacket = true;
}

void PesParser::endHeader() {
    State& s = m_state;
    if (s.payloadKind == PayloadKind::PrivateStream1)
        s.privateHeaderLeft = 4;
    else
        s.copyActive = true;
}

void PesParser::extensionId(std::uint8_t b, RunMode mode) {
    State& s = m_state;
    int e = b & 0x7F;
    if (ids::kVc1Video.holds(e)) {
        s.videoIndex = e - ids::kVc1Video.first;
        if (m_table[videoSlot(s.videoIndex)] == -1) {
            m_table[videoSlot(s.videoIndex)] = e;
            found(mode, ids::CodeKind::Vc1Video, s.videoIndex);
        }
        s.payloadKind = PayloadKind::Video;
    } else {
        s.payloadKind = PayloadKind::Discard;
    }
}

void PesParser::subpictureId(std::uint8_t b, RunMode mode, bool extended) {
    State& s = m_state;
    s.subpictureIndex = b & 0x1F;
    if (m_table[subpictureSlot(s.subpictureIndex)] == -1) {
        m_table[subpictureSlot(s.subpictureIndex)] = b;
        found(mode, extended ? ids::CodeKind::ExtendedSubpicture : ids::CodeKind::Subpicture,
              s.subpictureIndex);
    }
    if (mode == RunMode::Scan && !extended) s.pendingPts = 0;
    s.privateHeaderLeft = 0;
    s.payloadKind = PayloadKind::Subpicture;
    s.copyActive = true;
}

namespace {

// The audio sub-streams of private stream 1: their ids, the bits of the id
// that give the audio index, and their kind as a scan reports it.
struct AudioSubStream {
    ids::Range ids;
    int indexMask;
    AudioKind kind;
    ids::CodeKind code;
};
constexpr AudioSubStream kAudioSubStreams[] = {
    {ids::kDd, 7, AudioKind::DD, ids::CodeKind::Dd},
    {ids::kDtsHd, 7, AudioKind::DtsHd, ids::CodeKind::DtsHd},
    {ids::kDdPlus, 15, AudioKind::DDPlus, ids::CodeKind::DdPlus},
    {ids::kLpcm, 7, AudioKind::Lpcm, ids::CodeKind::Lpcm},
    {ids::kMlp, 7, AudioKind::Mlp, ids::CodeKind::Mlp},
};

} // namespace

void PesParser::audioStep(std::uint8_t id, RunMode mode) {
    State& s = m_state;
    s.audioIndex = id & 15;
    for (const AudioSubStream& kind : kAudioSubStreams) {
        if (!kind.ids.holds(id)) continue;
        s.audioIndex = id & kind.indexMask;
        s.audioKind = kind.kind;
        s.lastAudioId = id;
        if (m_table[audioSlot(s.audioIndex)] < 0) {
            m_table[audioSlot(s.audioIndex)] = id;
            found(mode, kind.code, s.audioIndex);
        }
        break;
    }

    if (s.audioKind == AudioKind::Mlp) {
        if (id == (s.audioIndex | ids::kMlp.first)) {
            s.mlpSkipLeft = 1;
        } else {
            s.payloadKind = PayloadKind::Discard;
            s.copyActive = true;
        }
    } else if (s.audioKind == AudioKind::Lpcm) {
        if (id == (s.audioIndex | ids::kLpcm.first)) {
            s.lpcmSkipLeft = 3;
        } else {
            s.payloadKind = PayloadKind::Discard;
            s.copyActive = true;
        }
    } else {
        s.payloadKind = id == (s.audioIndex | s.lastAudioId) ? PayloadKind::Audio : PayloadKind::Discard;
        s.copyActive = true;
    }
    s.pendingPts = 0;
}

namespace {

// Stream ids whose start code starts a packet the parser follows.
struct RecognisedIds {
    bool id[256] = {};
    constexpr RecognisedIds() {
        for (int v = ids::kVideo.first; v <= ids::kVideo.last; ++v) id[v] = true;
        for (int v = ids::kParsedMpegAudio.first; v <= ids::kParsedMpegAudio.last; ++v) id[v] = true;
        for (int v : {ids::kExtendedStream, ids::kPrivateStream1, ids::kProgramStreamMap, ids::kPadding,
                      ids::kPrivateStream2})
            id[v] = true;
    }
};
constexpr RecognisedIds kRecognised;

bool recognisedStartCode(std::uint32_t lastFour) {
    return (lastFour & 0xFFFFFF00u) == 0x00000100u && kRecognised.id[lastFour & 0xFF];
}

// lastFour after the bytes p[0..k-1] have entered it one by one.
std::uint32_t shiftIn(std::uint32_t lastFour, const std::uint8_t* p, std::size_t k) {
    if (k >= 4)
        return (static_cast<std::uint32_t>(p[k - 4]) << 24) | (static_cast<std::uint32_t>(p[k - 3]) << 16) |
               (static_cast<std::uint32_t>(p[k - 2]) << 8) | p[k - 1];
    for (std::size_t i = 0; i < k; ++i) lastFour = (lastFour << 8) | p[i];
    return lastFour;
}

} // namespace

std::size_t PesParser::betweenPackets(const std::uint8_t* block, std::size_t o, std::size_t n, RunMode mode) {
    State& s = m_state;
    // Between packets every byte only enters lastFour, until one completes a
    // recognised start code. The first three may complete one with bytes that
    // entered before; after them a start code lies wholly in the block.
    const std::size_t head = o + 3 < n ? o + 3 : n;
    for (; o < head; ++o) {
        s.lastFour = (s.lastFour << 8) | block[o];
        if (recognisedStartCode(s.lastFour)) {
            startCode(static_cast<std::uint8_t>(s.lastFour), mode);
            return o + 1;
        }
    }
    std::size_t k = o;
    while ((k = scan::nextAfterPrefix(block, k, n)) < n) {
        if (kRecognised.id[block[k]]) {
            s.lastFour = shiftIn(s.lastFour, block + k - 3, 4);
            startCode(block[k], mode);
            return k + 1;
        }
        ++k;
    }
    s.lastFour = shiftIn(s.lastFour, block + o, n - o);
    return n;
}

// The header steps run once per header byte inside the parse loop: they are
// compiled into it, as a call per byte costs a quarter of the parser's speed.
[[gnu::always_inline]] inline void PesParser::ptsByte(std::uint8_t b) {
    State& s = m_state;
    // The window shows the low 32 bits of the 33-bit time stamp.
    const auto part = static_cast<std::uint32_t>(ids::timeStampBits(4 - s.ptsLeft, b));
    s.ptsValue = s.ptsLeft == 4 ? part : s.ptsValue | part;
    if (s.ptsLeft == 0) {
        s.pendingPts = s.ptsValue;
        if (s.packetAnnouncesPts) {
            s.ownPts = s.ptsValue;
            s.ownPtsValid = true;
        }
        if (s.headerDataLeft == 0)
            endHeader();
        else if (s.payloadKind == PayloadKind::Video && (s.pesFlags & 0x01))
            s.extFlagsLeft = 1;
    }
}

[[gnu::always_inline]] inline bool PesParser::headerByte(std::uint8_t b, RunMode mode) {
    State& s = m_state;
    // PES_packet_length, high byte then low byte.
    if (s.lengthPhase == 2) {
        s.lengthPhase = 1;
    } else if (s.lengthPhase == 1) {
        s.lengthPhase = 0;
        s.packetLeft = static_cast<std::int32_t>(s.lastFour & 0xFFFF);
        if (s.payloadKind == PayloadKind::SkipPacket)
            s.skipLeft = s.packetLeft;
        else
            s.fixedHeaderLeft = 3;
    }
    // The three fixed header bytes: flags, flags, PES_header_data_length.
    else if (s.fixedHeaderLeft > 0) {
        --s.packetLeft;
        --s.fixedHeaderLeft;
        if (s.fixedHeaderLeft == 1) {
            s.pesFlags = b;
        } else if (s.fixedHeaderLeft == 0) {
            s.headerDataLeft = b;
            s.packetAnnouncesPts = (s.pesFlags & 0xC0) == 0x80;
            if ((s.pesFlags & 0xC0) == 0x80) s.ptsLeft = 5;
            if ((s.pesFlags & 0xC0) == 0xC0) s.ptsDtsLeft = 10;
            if ((s.pesFlags & 0xC1) == 0x01) s.extFlagsLeft = 1;
            if (s.headerDataLeft == 0) endHeader();
        }
    }
    // A PTS alone.
    else if (s.ptsLeft > 0) {
        --s.packetLeft;
        --s.headerDataLeft;
        --s.ptsLeft;
        ptsByte(b);
    }
    // A PTS and a DTS: consumed without a look.
    else if (s.ptsDtsLeft > 0) {
        --s.packetLeft;
        --s.headerDataLeft;
        --s.ptsDtsLeft;
        if (s.ptsDtsLeft == 0) {
            if (s.headerDataLeft == 0)
                endHeader();
            else if (s.payloadKind == PayloadKind::Video && (s.pesFlags & 0x01))
                s.extFlagsLeft = 1;
        }
    }
    // The PES extension flags.
    else if (s.extFlagsLeft > 0) {
        --s.packetLeft;
        --s.headerDataLeft;
        --s.extFlagsLeft;
        s.extFlags = b;
        if (s.extFlags & 0x10)
            s.pstdLeft = 2;
        else if (s.extFlags & 0x01)
            s.extFieldLeft = 2;
    }
    // The P-STD buffer bytes.
    else if (s.pstdLeft > 0) {
        --s.packetLeft;
        --s.headerDataLeft;
        --s.pstdLeft;
        if (s.pstdLeft == 0) {
            if (s.extFlags & 0x01)
                s.extFieldLeft = 2;
            else if (s.headerDataLeft == 0)
                s.copyActive = true;
        }
    }
    // PES_extension_field_length, then stream_id_extension.
    else if (s.extFieldLeft > 0) {
        --s.packetLeft;
        --s.headerDataLeft;
        --s.extFieldLeft;
        if (s.extFieldLeft == 0) {
            extensionId(b, mode);
            if (s.headerDataLeft == 0) s.copyActive = true;
        }
    }
    // The rest of the header data (stuffing, fields not interpreted).
    else if (s.headerDataLeft > 0) {
        --s.packetLeft;
        --s.headerDataLeft;
        if (s.headerDataLeft == 0) endHeader();
    }
    // The private-stream-1 sub-stream header: its id, then three more bytes.
    else if (s.privateHeaderLeft > 0) {
        --s.packetLeft;
        --s.privateHeaderLeft;
        if (s.privateHeaderLeft == 3) {
            if (ids::kSubpicture.holds(b))
                subpictureId(b, mode, false);
            else if (ids::kExtendedSubpicture.holds(b))
                subpictureId(b, mode, true);
        } else if (s.privateHeaderLeft == 0) {
            audioStep(static_cast<std::uint8_t>(s.lastFour >> 24), mode);
        }
    }
    // The LPCM header.
    else if (s.lpcmSkipLeft > 0) {
        --s.packetLeft;
        --s.lpcmSkipLeft;
        if (s.lpcmSkipLeft == 0) {
            s.payloadKind = PayloadKind::Audio;
            s.copyActive = true;
        }
    }
    // The MLP header byte.
    else if (s.mlpSkipLeft > 0) {
        --s.packetLeft;
        --s.mlpSkipLeft;
        if (s.mlpSkipLeft == 0) {
            s.payloadKind = PayloadKind::Audio;
            s.copyActive = true;
        }
    } else {
        return false;
    }
    return true;
}

void PesParser::parse(const std::uint8_t* block, std::size_t n, RunMode mode, PayloadHandler& handler) {
    State& s = m_state;
    std::size_t o = 0;
    while (o < n) {
        // Payload: the rest of the packet, as far as this block reaches.
        if (s.copyActive) {
            s.lastFour = (s.lastFour << 8) | block[o];
            s.copyActive = false;
            if (s.packetLeft < 0) continue; // a header ran past its packet: nothing to hand over
            std::size_t r = static_cast<std::size_t>(s.packetLeft);
            if (r > n - o) r = n - o;
            handler.payloadRun(o, r);
            s.firstRunOfPacket = false;
            s.packetLeft -= static_cast<std::int32_t>(r);
            o += r;
            if (s.packetLeft > 0) s.copyActive = true;
            continue; // an empty run examines this byte once more
        }

        // A packet that is skipped whole: all of it that lies in this block
        // at once; the last four bytes skipped stay in lastFour.
        if (s.skipLeft > 0) {
            std::size_t k = static_cast<std::size_t>(s.skipLeft);
            if (k > n - o) k = n - o;
            s.lastFour = shiftIn(s.lastFour, block + o, k);
            s.packetLeft -= static_cast<std::int32_t>(k);
            s.skipLeft -= static_cast<std::int32_t>(k);
            o += k;
            continue;
        }

        const std::uint8_t b = block[o];
        s.lastFour = (s.lastFour << 8) | b;
        if (recognisedStartCode(s.lastFour)) {
            startCode(b, mode);
            ++o;
        } else if (headerByte(b, mode)) {
            ++o;
        } else {
            // Between packets: the bytes up to the next start code are passed
            // over in one go.
            o = betweenPackets(block, o + 1, n, mode);
        }
    }
}

} // namespace vantrel
