#include "pes_parser.h"

#include "pack_loop.h"
#include "start_code_scan.h"

#include <string>

namespace vantrel {

void PesParser::reset() {
    window = 0;
    copyActive = false;
    payloadKind = PayloadKind::None;
    lengthPhase = 0;
    packetLeft = 0;
    skipLeft = 0;
    fixedHeaderLeft = 0;
    pesFlags = 0;
    headerDataLeft = 0;
    ptsLeft = 0;
    ptsDtsLeft = 0;
    extFlagsLeft = 0;
    extFlags = 0;
    pstdLeft = 0;
    extFieldLeft = 0;
    privateHeaderLeft = 0;
    lpcmSkipLeft = 0;
    mlpSkipLeft = 0;
    ptsValue = 0;
    pendingPts = 0;
    videoIndex = -1;
    audioIndex = -1;
    subpictureIndex = -1;
    videoKind = VideoKind::Mpeg2;
    audioKind = AudioKind::DD;
    lastAudioId = 0;
    packetAnnouncesPts = false;
    ownPtsValid = false;
    ownPts = 0;
    firstRunOfPacket = false;
}

void PesParser::startCode(std::uint8_t id, int mode) {
    if (id >= 0xE0 && id <= 0xE3) {
        payloadKind = PayloadKind::Video;
        videoKind = id <= 0xE1 ? VideoKind::Mpeg2 : VideoKind::H264;
        videoIndex = id & 1;
        if (m_table[1 + videoIndex] == -1) {
            m_table[1 + videoIndex] = id;
            if (mode == kScanMode)
                m_window.log(
                    (videoKind == VideoKind::Mpeg2 ? "MPEG-2 video stream " : "H.264 video stream ") +
                    std::to_string(videoIndex) + " found!");
        }
    } else if (id == 0xFD) {
        payloadKind = PayloadKind::Video;
        videoKind = VideoKind::Vc1;
    } else if (id >= 0xC0 && id <= 0xCF) {
        payloadKind = PayloadKind::MpegAudio;
    } else if (id == 0xBD) {
        payloadKind = PayloadKind::PrivateStream1;
    } else {
        payloadKind = PayloadKind::SkipPacket; // 0xBC, 0xBE, 0xBF
    }
    lengthPhase = 2;
    packetAnnouncesPts = false;
    ownPtsValid = false;
    firstRunOfPacket = true;
}

void PesParser::endHeader() {
    if (payloadKind == PayloadKind::PrivateStream1)
        privateHeaderLeft = 4;
    else
        copyActive = true;
}

void PesParser::extensionId(std::uint8_t b, int mode) {
    int e = b & 0x7F;
    if (e == 0x55 || e == 0x56) {
        videoIndex = e - 0x55;
        if (m_table[1 + videoIndex] == -1) {
            m_table[1 + videoIndex] = e;
            if (mode == kScanMode)
                m_window.log("VC-1 video stream " + std::to_string(videoIndex) + " found!");
        }
        payloadKind = PayloadKind::Video;
    } else {
        payloadKind = PayloadKind::Discard;
    }
}

void PesParser::subpictureId(std::uint8_t b, int mode, bool extended) {
    subpictureIndex = b & 0x1F;
    if (m_table[33 + subpictureIndex] == -1) {
        m_table[33 + subpictureIndex] = b;
        if (mode == kScanMode)
            m_window.log((extended ? "Extended subpicture stream " : "Subpicture stream ") +
                         std::to_string(subpictureIndex) + " found!");
    }
    if (mode == kScanMode && !extended) pendingPts = 0;
    privateHeaderLeft = 0;
    payloadKind = PayloadKind::Subpicture;
    copyActive = true;
}

void PesParser::audioStep(std::uint8_t id, int mode) {
    audioIndex = id & 15;

    const char* name = nullptr;
    if ((id & 0xF8) == 0x80) {
        audioIndex = id & 7;
        audioKind = AudioKind::DD;
        name = "DD audio stream ";
    } else if ((id & 0xF8) == 0x88) {
        audioIndex = id & 7;
        audioKind = AudioKind::DtsHd;
        name = "DTS HD audio stream ";
    } else if ((id & 0xF0) == 0xC0) {
        audioIndex = id & 15;
        audioKind = AudioKind::DDPlus;
        name = "DD+ audio stream ";
    } else if ((id & 0xF8) == 0xA0) {
        audioIndex = id & 15;
        audioKind = AudioKind::Lpcm;
        name = "LPCM audio stream ";
    } else if ((id & 0xF8) == 0xB0) {
        audioIndex = id & 7;
        audioKind = AudioKind::Mlp;
        name = "MLP audio stream ";
    }
    if (name) {
        lastAudioId = id;
        if (m_table[17 + audioIndex] < 0) {
            m_table[17 + audioIndex] = id;
            if (mode == kScanMode) m_window.log(name + std::to_string(audioIndex) + " found!");
        }
        pendingPts = 0;
    }

    if (audioKind == AudioKind::Mlp) {
        if (id == (audioIndex | 0xB0)) {
            mlpSkipLeft = 1;
        } else {
            payloadKind = PayloadKind::Discard;
            copyActive = true;
        }
    } else if (audioKind == AudioKind::Lpcm) {
        if (id == (audioIndex | 0xA0)) {
            lpcmSkipLeft = 3;
        } else {
            payloadKind = PayloadKind::Discard;
            copyActive = true;
        }
    } else {
        payloadKind = id == (audioIndex | lastAudioId) ? PayloadKind::Audio : PayloadKind::Discard;
        copyActive = true;
    }
    pendingPts = 0;
}

namespace {

// Stream ids whose start code starts a packet the parser follows.
struct RecognisedIds {
    bool id[256] = {};
    constexpr RecognisedIds() {
        for (int v = 0xE0; v <= 0xE3; ++v) id[v] = true;
        for (int v = 0xC0; v <= 0xCF; ++v) id[v] = true;
        for (int v : {0xFD, 0xBD, 0xBC, 0xBE, 0xBF}) id[v] = true;
    }
};
constexpr RecognisedIds kRecognised;

bool recognisedStartCode(std::uint32_t window) {
    return (window & 0xFFFFFF00u) == 0x00000100u && kRecognised.id[window & 0xFF];
}

// The window after the bytes p[0..k-1] have entered it one by one.
std::uint32_t shiftIn(std::uint32_t window, const std::uint8_t* p, std::size_t k) {
    if (k >= 4)
        return (static_cast<std::uint32_t>(p[k - 4]) << 24) | (static_cast<std::uint32_t>(p[k - 3]) << 16) |
               (static_cast<std::uint32_t>(p[k - 2]) << 8) | p[k - 1];
    for (std::size_t i = 0; i < k; ++i) window = (window << 8) | p[i];
    return window;
}

} // namespace

std::size_t PesParser::betweenPackets(const std::uint8_t* block, std::size_t o, std::size_t n, int mode) {
    // Between packets every byte only enters the window, until one completes a
    // recognised start code. The first three may complete one with bytes that
    // entered before; after them a start code lies wholly in the block.
    const std::size_t head = o + 3 < n ? o + 3 : n;
    for (; o < head; ++o) {
        window = (window << 8) | block[o];
        if (recognisedStartCode(window)) {
            startCode(static_cast<std::uint8_t>(window), mode);
            return o + 1;
        }
    }
    std::size_t k = o;
    while ((k = scan::nextAfterPrefix(block, k, n)) < n) {
        if (kRecognised.id[block[k]]) {
            window = shiftIn(window, block + k - 3, 4);
            startCode(block[k], mode);
            return k + 1;
        }
        ++k;
    }
    window = shiftIn(window, block + o, n - o);
    return n;
}

void PesParser::parse(const std::uint8_t* block, std::size_t n, int mode, PayloadHandler& handler) {
    std::size_t o = 0;
    while (o < n) {
        // 1. Payload: the rest of the packet, as far as this block reaches.
        if (copyActive) {
            window = (window << 8) | block[o];
            copyActive = false;
            if (packetLeft < 0) continue; // a header ran past its packet: nothing to hand over
            std::size_t r = static_cast<std::size_t>(packetLeft);
            if (r > n - o) r = n - o;
            handler.payloadRun(o, r);
            firstRunOfPacket = false;
            packetLeft -= static_cast<std::int32_t>(r);
            o += r;
            if (packetLeft > 0) copyActive = true;
            continue; // an empty run examines this byte once more
        }

        // 2. A packet that is skipped whole: all of it that lies in this block
        // at once; the window keeps the last four bytes skipped.
        if (skipLeft > 0) {
            std::size_t k = static_cast<std::size_t>(skipLeft);
            if (k > n - o) k = n - o;
            window = shiftIn(window, block + o, k);
            packetLeft -= static_cast<std::int32_t>(k);
            skipLeft -= static_cast<std::int32_t>(k);
            o += k;
            continue;
        }

        const std::uint8_t b = block[o];
        window = (window << 8) | b;

        // 3. A recognised start code.
        if (recognisedStartCode(window)) {
            startCode(b, mode);
            ++o;
            continue;
        }
        // 4, 5. PES_packet_length.
        if (lengthPhase == 2) {
            lengthPhase = 1;
        } else if (lengthPhase == 1) {
            lengthPhase = 0;
            packetLeft = static_cast<std::int32_t>(window & 0xFFFF);
            if (payloadKind == PayloadKind::SkipPacket)
                skipLeft = packetLeft;
            else
                fixedHeaderLeft = 3;
        }
        // 6. The three fixed header bytes.
        else if (fixedHeaderLeft > 0) {
            --packetLeft;
            --fixedHeaderLeft;
            if (fixedHeaderLeft == 1) {
                pesFlags = b;
            } else if (fixedHeaderLeft == 0) {
                headerDataLeft = b;
                packetAnnouncesPts = (pesFlags & 0xC0) == 0x80;
                if ((pesFlags & 0xC0) == 0x80) ptsLeft = 5;
                if ((pesFlags & 0xC0) == 0xC0) ptsDtsLeft = 10;
                if ((pesFlags & 0xC1) == 0x01) extFlagsLeft = 1;
                if (headerDataLeft == 0) endHeader();
            }
        }
        // 7. PTS alone.
        else if (ptsLeft > 0) {
            --packetLeft;
            --headerDataLeft;
            --ptsLeft;
            switch (ptsLeft) {
            case 4: ptsValue = static_cast<std::uint32_t>(b & 0x06) << 29; break;
            case 3: ptsValue |= static_cast<std::uint32_t>(b) << 22; break;
            case 2: ptsValue |= static_cast<std::uint32_t>(b & 0xFE) << 14; break;
            case 1: ptsValue |= static_cast<std::uint32_t>(b) << 7; break;
            default:
                ptsValue |= static_cast<std::uint32_t>(b & 0xFE) >> 1;
                pendingPts = ptsValue;
                if (packetAnnouncesPts) {
                    ownPts = ptsValue;
                    ownPtsValid = true;
                }
                if (headerDataLeft == 0)
                    endHeader();
                else if (payloadKind == PayloadKind::Video && (pesFlags & 0x01))
                    extFlagsLeft = 1;
                break;
            }
        }
        // 8. PTS and DTS: consumed without a look.
        else if (ptsDtsLeft > 0) {
            --packetLeft;
            --headerDataLeft;
            --ptsDtsLeft;
            if (ptsDtsLeft == 0) {
                if (headerDataLeft == 0)
                    endHeader();
                else if (payloadKind == PayloadKind::Video && (pesFlags & 0x01))
                    extFlagsLeft = 1;
            }
        }
        // 9. PES extension flags.
        else if (extFlagsLeft > 0) {
            --packetLeft;
            --headerDataLeft;
            --extFlagsLeft;
            extFlags = b;
            if (extFlags & 0x10)
                pstdLeft = 2;
            else if (extFlags & 0x01)
                extFieldLeft = 2;
        }
        // 10. P-STD buffer bytes.
        else if (pstdLeft > 0) {
            --packetLeft;
            --headerDataLeft;
            --pstdLeft;
            if (pstdLeft == 0) {
                if (extFlags & 0x01)
                    extFieldLeft = 2;
                else if (headerDataLeft == 0)
                    copyActive = true;
            }
        }
        // 11. PES_extension_field_length, then stream_id_extension.
        else if (extFieldLeft > 0) {
            --packetLeft;
            --headerDataLeft;
            --extFieldLeft;
            if (extFieldLeft == 0) {
                extensionId(b, mode);
                if (headerDataLeft == 0) copyActive = true;
            }
        }
        // 12. Remaining header data (stuffing, fields not interpreted).
        else if (headerDataLeft > 0) {
            --packetLeft;
            --headerDataLeft;
            if (headerDataLeft == 0) endHeader();
        }
        // 13. The private-stream-1 sub-stream header.
        else if (privateHeaderLeft > 0) {
            --packetLeft;
            --privateHeaderLeft;
            if (privateHeaderLeft == 3) {
                if ((b & 0xE0) == 0x20)
                    subpictureId(b, mode, false);
                else if ((b & 0xE0) == 0x60)
                    subpictureId(b, mode, true);
            } else if (privateHeaderLeft == 0) {
                audioStep(static_cast<std::uint8_t>(window >> 24), mode);
            }
        }
        // 14. The LPCM header.
        else if (lpcmSkipLeft > 0) {
            --packetLeft;
            --lpcmSkipLeft;
            if (lpcmSkipLeft == 0) {
                payloadKind = PayloadKind::Audio;
                copyActive = true;
            }
        }
        // 15. The MLP header byte.
        else if (mlpSkipLeft > 0) {
            --packetLeft;
            --mlpSkipLeft;
            if (mlpSkipLeft == 0) {
                payloadKind = PayloadKind::Audio;
                copyActive = true;
            }
        }
        // 16. Otherwise the byte only entered the window: the parser is
        // between packets, and the bytes up to the next start code are passed
        // over in one go.
        else {
            o = betweenPackets(block, o + 1, n, mode);
            continue;
        }
        ++o;
    }
}

} // namespace vantrel
