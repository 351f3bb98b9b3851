#include "pack_loop.h"

#include "packets/subpicture_record.h"

#include "audio_report.h"
#include "block_reader.h"
#include "codecs/frame_counter.h"
#include "pes_parser.h"
#include "stream_numbering.h"

#include <string>

namespace vantrel {

namespace {

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
class RunHandler : public PayloadHandler {
public:
    RunHandler(Core& core, PesParser::PacketView packet, RunMode mode)
        : m_core(core), m_packet(packet), m_mode(mode) {}

    // The block the parser is working on; run offsets are relative to it.
    void setBlock(const std::uint8_t* block) { m_block = block; }

    void payloadRun(std::size_t offset, std::size_t length) override {
        const std::uint8_t* run = m_block + offset;
        switch (m_packet.payloadKind()) {
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
        const int index = m_packet.videoIndex();
        const bool counting = m_core.window.optionTicked(Option::CountFrames);
        if (index != 0 && index != 1) return;
        const bool ticked = m_mode == RunMode::Demux && m_core.boxes.ticked(StreamBoxes::videoBox(index));
        if (counting && (m_mode == RunMode::Scan || ticked)) countFrames(run, length, index);
        if (ticked) write(videoOutput(index), run, length);
    }

    void countFrames(const std::uint8_t* run, std::size_t length, int index) {
        const std::uint32_t found = countFrameStarts(run, length, frameStartCode(m_packet.videoKind()));
        auto& counter = m_core.videoFrameCount[static_cast<std::size_t>(index)];
        counter = static_cast<std::int32_t>(static_cast<std::uint32_t>(counter) + found);
    }

    void audio(const std::uint8_t* run, std::size_t length) {
        const int index = m_packet.audioIndex();
        if (index < 0 || index > 15) return;
        if (m_mode == RunMode::Scan) {
            auto& reported = m_core.audioReported[static_cast<std::size_t>(index)];
            if (m_packet.audioKind() == AudioKind::DDPlus && reported == 0) {
                reported = 1;
                audioHeaderReport(m_core.window, run, length, index);
            }
            return;
        }
        if (m_core.boxes.ticked(StreamBoxes::audioBox(index))) write(audioOutput(index), run, length);
    }

    void subpicture(const std::uint8_t* run, std::size_t length) {
        const int index = m_packet.subpictureIndex();
        if (m_mode != RunMode::Demux || index < 0 || index > 15) return;
        if (!m_core.boxes.ticked(StreamBoxes::subBox(index))) return;
        // A record header goes ahead of the first run of a packet that carries
        // its own PTS, never into the middle of a subpicture unit.
        if (m_packet.firstRunOfPacket() && m_packet.ownPtsValid()) {
            const auto header = subpictureRecordHeader(m_packet.ownPts());
            write(subOutput(index), header.data(), header.size());
            m_packet.clearPendingPts();
        }
        write(subOutput(index), run, length);
    }

    Core& m_core;
    PesParser::PacketView m_packet;
    RunMode m_mode;
    const std::uint8_t* m_block = nullptr;
};

void systemHeaderLine(Core& core, const std::uint8_t* buf) {
    if (buf[16] != 0x01 || buf[17] != 0xBB) return;
    const int videoBound = buf[24] & 0x1F;
    const int audioBound = buf[23] >> 2;
    core.window.log("It contains " + std::to_string(videoBound) + " video stream" +
                    (videoBound > 1 ? "s" : "") + " and " + std::to_string(audioBound) + " audio stream" +
                    (audioBound > 1 ? "s." : "."));
}

} // namespace

void demux(Core& core, RunMode mode) {
    WindowPort& window = core.window;
    window.setButtonEnabled(Button::Cancel, true);
    core.stopRequested = 0;
    core.demuxActive = mode == RunMode::Demux ? 1 : 0;

    WindowStreamLog streamLog(window); // a scan logs each new stream
    PesParser parser(core.streamTable, streamLog);
    parser.reset();
    const bool fastScan = mode == RunMode::Scan && window.optionTicked(Option::FastCheck);
    BlockReader reader(core, kPackBufferSize, mode == RunMode::Demux ? "Demuxing " : "Reading ",
                       fastScan ? kFastCheckLimit : -1);
    core.streamTable.clear();
    core.audioReported.fill(0);
    RunHandler handler(core, parser.packet(), mode);

    while (reader.next()) {
        const std::int64_t position = reader.position();
        if (mode == RunMode::Scan && window.optionTicked(Option::FastCheck) && position > kFastCheckLimit)
            core.stopRequested = 1;
        std::uint8_t* block = reader.data();
        if (mode == RunMode::Scan && position == kSystemHeaderPosition) systemHeaderLine(core, block);

        handler.setBlock(block);
        parser.parse(block, reader.size(), mode, handler);
    }

    if (core.stopRequested != 0) core.videoFrameCount.fill(0);
    window.setButtonEnabled(Button::Cancel, false);
}

} // namespace vantrel
