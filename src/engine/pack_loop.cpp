#include "pack_loop.h"

#include "audio_report.h"
#include "frame_counter.h"
#include "pes_parser.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

namespace vantrel {

namespace {

constexpr std::int64_t kProgressStep = 4 * 1048576;   // progress line and pending events
constexpr std::int64_t kRepaintStep = 64 * 1048576;   // whole-window repaint
constexpr std::int64_t kFastCheckLimit = 300000000;   // a fast scan stops above this position
constexpr std::int64_t kSystemHeaderPosition = 32768; // the first full block
// The file is read four blocks at a time; the blocks are handed to the parser
// one by one, so every block, and every test between blocks, is that of
// reading one block per read. A multiple of the block size that divides 4 MiB,
// so reads end on every progress point.
constexpr std::size_t kReadSize = 4 * kPackBufferSize;

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
    RunHandler(Core& core, PesParser::PacketView packet, int mode)
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
        const bool ticked = m_mode == kDemuxMode && m_core.boxes.ticked(StreamBoxes::videoBox(index));
        if (counting && (m_mode == kScanMode || ticked)) countFrames(run, length, index);
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
        if (m_mode == kScanMode) {
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
        if (m_mode != kDemuxMode || index < 0 || index > 15) return;
        if (!m_core.boxes.ticked(StreamBoxes::subBox(index))) return;
        // A record header goes ahead of the first run of a packet that carries
        // its own PTS, never into the middle of a subpicture unit.
        if (m_packet.firstRunOfPacket() && m_packet.ownPtsValid()) {
            const std::uint32_t pts = m_packet.ownPts();
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
            m_packet.clearPendingPts();
        }
        write(subOutput(index), run, length);
    }

    Core& m_core;
    PesParser::PacketView m_packet;
    int m_mode;
    const std::uint8_t* m_block = nullptr;
};

// The read-ahead buffer, page-aligned.
class ReadBuffer {
public:
    ReadBuffer() : m_bytes(static_cast<std::uint8_t*>(::operator new(kReadSize, std::align_val_t(4096)))) {}
    ~ReadBuffer() { ::operator delete(m_bytes, std::align_val_t(4096)); }
    ReadBuffer(const ReadBuffer&) = delete;
    ReadBuffer& operator=(const ReadBuffer&) = delete;
    std::uint8_t* get() const { return m_bytes; }

private:
    std::uint8_t* m_bytes;
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

void demux(Core& core, int mode) {
    WindowPort& window = core.window;
    window.setButtonEnabled(Button::Cancel, true);
    core.stopRequested = 0;
    core.demuxActive = mode == kDemuxMode ? 1 : 0;

    PesParser parser(core.streamTable, window);
    parser.reset();
    const double t0 = window.now();
    core.streamTable.clear();
    core.audioReported.fill(0);

    InputFile& source = *core.sourceFile;
    const std::int64_t size = source.size();
    const std::string name = fileNamePart(source.path());
    const std::string verb = mode == kDemuxMode ? "Demuxing " : "Reading ";
    RunHandler handler(core, parser.packet(), mode);

    // Read ahead into one buffer for the call; position counts the bytes of the
    // blocks handed to the parser so far. The buffer is page-aligned: the
    // kernel's copy into a misaligned buffer runs at a fraction of the speed.
    const ReadBuffer readBuffer;
    std::size_t have = 0;
    std::size_t next = 0;
    std::int64_t position = source.position();

    while (position < size && core.stopRequested == 0) {
        if (next == have) {
            have = source.read(readBuffer.get(), kReadSize);
            next = 0;
            if (have == 0) break; // the file became shorter than its size said
        }
        const std::uint8_t* block = readBuffer.get() + next;
        const std::size_t n = std::min(kPackBufferSize, have - next);
        next += n;
        position += static_cast<std::int64_t>(n);

        if (position % kProgressStep == 0) {
            window.slog(progressLine(core, verb, name, position, size, t0), 1);
            window.processEvents();
        }
        if (mode == kScanMode && window.optionTicked(Option::FastCheck) && position > kFastCheckLimit)
            core.stopRequested = 1;
        if (position % kRepaintStep == 0) window.repaint();
        if (mode == kScanMode && position == kSystemHeaderPosition) systemHeaderLine(core, block);

        handler.setBlock(block);
        parser.parse(block, n, mode, handler);
    }

    if (core.stopRequested != 0) core.videoFrameCount.fill(0);
    window.setButtonEnabled(Button::Cancel, false);
}

} // namespace vantrel
