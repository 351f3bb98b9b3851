#include "reference_parser.h"

#include "engine/audio_report.h"
#include "engine/pack_loop.h"
#include "engine/progress_text.h"
#include "engine/stream_numbering.h"
#include "files/path_parts.h"

#include <string>

namespace vantrel::test {

void ReferenceParser::reset() {
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

void ReferenceParser::startCode(std::uint8_t id, RunMode mode) {
    if (id >= 0xE0 && id <= 0xE3) {
        payloadKind = PayloadKind::Video;
        videoKind = id <= 0xE1 ? VideoKind::Mpeg2 : VideoKind::H264;
        videoIndex = id & 1;
        if (m_table[1 + videoIndex] == -1) {
            m_table[1 + videoIndex] = id;
            if (mode == RunMode::Scan)
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

void ReferenceParser::endHeader() {
    if (payloadKind == PayloadKind::PrivateStream1)
        privateHeaderLeft = 4;
    else
        copyActive = true;
}

void ReferenceParser::extensionId(std::uint8_t b, RunMode mode) {
    int e = b & 0x7F;
    if (e == 0x55 || e == 0x56) {
        videoIndex = e - 0x55;
        if (m_table[1 + videoIndex] == -1) {
            m_table[1 + videoIndex] = e;
            if (mode == RunMode::Scan)
                m_window.log("VC-1 video stream " + std::to_string(videoIndex) + " found!");
        }
        payloadKind = PayloadKind::Video;
    } else {
        payloadKind = PayloadKind::Discard;
    }
}

void ReferenceParser::subpictureId(std::uint8_t b, RunMode mode, bool extended) {
    subpictureIndex = b & 0x1F;
    if (m_table[33 + subpictureIndex] == -1) {
        m_table[33 + subpictureIndex] = b;
        if (mode == RunMode::Scan)
            m_window.log((extended ? "Extended subpicture stream " : "Subpicture stream ") +
                         std::to_string(subpictureIndex) + " found!");
    }
    if (mode == RunMode::Scan && !extended) pendingPts = 0;
    privateHeaderLeft = 0;
    payloadKind = PayloadKind::Subpicture;
    copyActive = true;
}

void ReferenceParser::audioStep(std::uint8_t id, RunMode mode) {
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
            if (mode == RunMode::Scan) m_window.log(name + std::to_string(audioIndex) + " found!");
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

// The reference is what the fuzzer measures against, not what it explores:
// under libFuzzer its loop carries no coverage hooks, which would otherwise
// cost more than the parsing itself on the multi-megabyte inputs.
#if defined(__clang__)
__attribute__((no_sanitize("coverage", "address", "undefined")))
#endif
void ReferenceParser::parse(const std::uint8_t* block, std::size_t n, RunMode mode, Handler& handler) {
    std::size_t o = 0;
    while (o < n) {
        const std::uint8_t b = block[o];
        window = (window << 8) | b;

        // 1. Payload: the rest of the packet, as far as this block reaches.
        if (copyActive) {
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

        // 2. A packet that is skipped whole.
        if (skipLeft > 0) {
            --packetLeft;
            --skipLeft;
            ++o;
            continue;
        }

        // 3. A recognised start code.
        if ((window & 0xFFFFFF00u) == 0x00000100u) {
            const std::uint8_t id = static_cast<std::uint8_t>(window);
            if ((id >= 0xE0 && id <= 0xE3) || id == 0xFD || (id >= 0xC0 && id <= 0xCF) || id == 0xBD ||
                id == 0xBC || id == 0xBE || id == 0xBF) {
                startCode(id, mode);
                ++o;
                continue;
            }
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
        // 16. Otherwise the byte only entered the window.
        ++o;
    }
}

// The reference pack loop.

namespace {

constexpr std::int64_t kProgressStep = 4 * 1048576;   // progress line and pending events
constexpr std::int64_t kRepaintStep = 64 * 1048576;   // whole-window repaint
constexpr std::int64_t kFastCheckLimit = 300000000;   // a fast scan stops above this position
constexpr std::int64_t kSystemHeaderPosition = 32768; // the first full block

// The start code the frame counting looks for, by video kind.
std::uint32_t frameStartCode(VideoKind kind) {
    switch (kind) {
    case VideoKind::H264: return 0x00000109; // access unit delimiter
    case VideoKind::Vc1: return 0x0000010D;  // frame start code
    default: return 0x00000100;              // picture start code
    }
}

// Receives the parser's payload runs: counts frames, reports the first DD+
// run of each audio index (scan), and appends ticked streams to their output
// files (demux).
class ReferenceRunHandler : public ReferenceParser::Handler {
public:
    ReferenceRunHandler(Core& core, ReferenceParser& parser, RunMode mode)
        : m_core(core), m_parser(parser), m_mode(mode) {}

    void payloadRun(std::size_t offset, std::size_t length) override {
        const std::uint8_t* run = m_core.packBuffer.data() + offset;
        switch (m_parser.payloadKind) {
        case PayloadKind::Video: video(run, length); break;
        case PayloadKind::Audio: audio(run, length); break;
        case PayloadKind::MpegAudio: break; // parsed, never written: it has no file of its own
        case PayloadKind::Subpicture: subpicture(run, length); break;
        default: break; // consumed only
        }
    }

private:
    // Appends to an output file; a box ticked after the files were created has none.
    void write(int output, const void* data, std::size_t length) {
        auto& file = m_core.outputFiles[static_cast<std::size_t>(output)];
        if (file) file->write(data, length);
    }

    void video(const std::uint8_t* run, std::size_t length) {
        const int index = m_parser.videoIndex;
        const bool countFrames = m_core.window.optionTicked(Option::CountFrames);
        if (index != 0 && index != 1) return;
        const bool ticked = m_mode == RunMode::Demux && m_core.boxes.ticked(StreamBoxes::videoBox(index));
        if (countFrames && (m_mode == RunMode::Scan || ticked)) countFrameStarts(run, length, index);
        if (ticked) write(videoOutput(index), run, length);
    }

    void countFrameStarts(const std::uint8_t* run, std::size_t length, int index) {
        const std::uint32_t code = frameStartCode(m_parser.videoKind);
        std::uint32_t reg = 0;
        std::uint32_t found = 0;
        for (std::size_t i = 0; i < length; ++i) {
            reg = (reg << 8) | run[i];
            if (reg == code) ++found;
        }
        auto& counter = m_core.videoFrameCount[static_cast<std::size_t>(index)];
        counter = static_cast<std::int32_t>(static_cast<std::uint32_t>(counter) + found);
    }

    void audio(const std::uint8_t* run, std::size_t length) {
        const int index = m_parser.audioIndex;
        if (index < 0 || index > 15) return;
        if (m_mode == RunMode::Scan) {
            auto& reported = m_core.audioReported[static_cast<std::size_t>(index)];
            if (m_parser.audioKind == AudioKind::DDPlus && reported == 0) {
                reported = 1;
                audioHeaderReport(m_core.window, run, length, index);
            }
            return;
        }
        if (m_core.boxes.ticked(StreamBoxes::audioBox(index))) write(audioOutput(index), run, length);
    }

    void subpicture(const std::uint8_t* run, std::size_t length) {
        const int index = m_parser.subpictureIndex;
        if (m_mode != RunMode::Demux || index < 0 || index > 15) return;
        if (!m_core.boxes.ticked(StreamBoxes::subBox(index))) return;
        // A record header goes ahead of the first run of a packet that carries
        // its own PTS, never into the middle of a subpicture unit.
        if (m_parser.firstRunOfPacket && m_parser.ownPtsValid) {
            const std::uint32_t pts = m_parser.ownPts;
            const std::uint8_t header[10] = {'S',
                                             'P',
                                             static_cast<std::uint8_t>(pts),
                                             static_cast<std::uint8_t>(pts >> 8),
                                             static_cast<std::uint8_t>(pts >> 16),
                                             static_cast<std::uint8_t>(pts >> 24),
                                             0,
                                             0,
                                             0,
                                             0};
            write(subOutput(index), header, sizeof header);
            m_parser.pendingPts = 0;
        }
        write(subOutput(index), run, length);
    }

    Core& m_core;
    ReferenceParser& m_parser;
    RunMode m_mode;
};

void systemHeaderLine(Core& core) {
    const auto& buf = core.packBuffer;
    if (buf[16] != 0x01 || buf[17] != 0xBB) return;
    const int videoBound = buf[24] & 0x1F;
    const int audioBound = buf[23] >> 2;
    core.window.log("It contains " + std::to_string(videoBound) + " video stream" +
                    (videoBound > 1 ? "s" : "") + " and " + std::to_string(audioBound) + " audio stream" +
                    (audioBound > 1 ? "s." : "."));
}

} // namespace

void referenceDemux(Core& core, RunMode mode) {
    WindowPort& window = core.window;
    window.setButtonEnabled(Button::Cancel, true);
    core.stopRequested = 0;
    core.demuxActive = mode == RunMode::Demux ? 1 : 0;

    ReferenceParser parser(core.streamTable, window);
    parser.reset();
    const double t0 = window.now();
    core.streamTable.clear();
    core.audioReported.fill(0);

    ByteSource& source = *core.sourceFile;
    const std::int64_t size = source.size();
    const std::string name = fileNamePart(source.path());
    const std::string verb = mode == RunMode::Demux ? "Demuxing " : "Reading ";
    ReferenceRunHandler handler(core, parser, mode);

    while (source.position() < size && core.stopRequested == 0) {
        const std::size_t n = source.read(core.packBuffer.data(), kPackBufferSize);
        if (n == 0) break; // the file became shorter than its size said
        const std::int64_t position = source.position();

        if (position % kProgressStep == 0) {
            window.slog(progressLine(core, verb, name, position, size, t0), 1);
            window.processEvents();
        }
        if (mode == RunMode::Scan && window.optionTicked(Option::FastCheck) && position > kFastCheckLimit)
            core.stopRequested = 1;
        if (position % kRepaintStep == 0) window.repaint();
        if (mode == RunMode::Scan && position == kSystemHeaderPosition) systemHeaderLine(core);

        parser.parse(core.packBuffer.data(), n, mode, handler);
    }

    if (core.stopRequested != 0) core.videoFrameCount.fill(0);
    window.setButtonEnabled(Button::Cancel, false);
}

} // namespace vantrel::test
