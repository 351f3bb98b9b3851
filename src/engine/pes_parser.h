// The PES parser: follows an MPEG-2 program stream one byte at a time, with
// counters instead of buffered headers, records every stream it meets in the
// stream table, and hands the payload of each packet back as payload runs.
// Its state survives block boundaries, so headers and payloads may span any
// number of blocks. Nothing is allocated while parsing.
#pragma once

#include "packets/stream_ids.h"
#include "stream_table.h"
#include "window_port.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vantrel {

// Scan: new streams are logged, and a subpicture sub-stream id clears
// PendingPts. Demux: neither (and the pack loop writes the ticked streams).
enum class RunMode { Scan, Demux };

// What the current packet carries. None behaves like Discard.
enum class PayloadKind { Video, Audio, MpegAudio, Subpicture, Discard, SkipPacket, PrivateStream1, None };

// Decides which start code the frame counting looks for.
enum class VideoKind { Mpeg2, H264, Vc1 };

// Kind of the last recognised private-stream-1 audio sub-stream.
enum class AudioKind { DD, DDPlus, DtsHd, Lpcm, Mlp };

// Receives the payload runs: offset and length within the block being parsed.
// While it runs, the parser's packet() describes the run's stream.
class PayloadHandler {
public:
    virtual ~PayloadHandler() = default;
    virtual void payloadRun(std::size_t offset, std::size_t length) = 0;
};

// Told of each stream a scan meets for the first time: its kind and its index
// within the kind.
class StreamReport {
public:
    virtual ~StreamReport() = default;
    virtual void streamFound(ids::CodeKind kind, int index) = 0;
};

// The line the window logs for a stream found: "MPEG-2 video stream 0 found!".
std::string streamFoundLine(ids::CodeKind kind, int index);

// Logs each stream found on the window.
class WindowStreamLog : public StreamReport {
public:
    explicit WindowStreamLog(WindowPort& window) : m_window(window) {}
    void streamFound(ids::CodeKind kind, int index) override { m_window.log(streamFoundLine(kind, index)); }

private:
    WindowPort& m_window;
};

class PesParser {
    struct State;

public:
    // What a payload handler sees of the packet whose payload it is handed:
    // the stream's identity, the PTS its own header carried, and PendingPts,
    // which the handler may clear.
    class PacketView {
    public:
        explicit PacketView(State& state) : m_state(state) {}
        PayloadKind payloadKind() const { return m_state.payloadKind; }
        VideoKind videoKind() const { return m_state.videoKind; }
        AudioKind audioKind() const { return m_state.audioKind; }
        std::int32_t videoIndex() const { return m_state.videoIndex; }
        std::int32_t audioIndex() const { return m_state.audioIndex; }
        std::int32_t subpictureIndex() const { return m_state.subpictureIndex; }
        // No payload run of the packet has been handed over before this one.
        bool firstRunOfPacket() const { return m_state.firstRunOfPacket; }
        // The packet's own header announced a PTS alone and it was read whole.
        bool ownPtsValid() const { return m_state.ownPtsValid; }
        std::uint32_t ownPts() const { return m_state.ownPts; }
        std::uint32_t pendingPts() const { return m_state.pendingPts; }
        void clearPendingPts() { m_state.pendingPts = 0; }

    private:
        State& m_state;
    };

    PesParser(StreamTable& table, StreamReport& report) : m_table(table), m_report(&report) {}
    // Reports the streams found as lines on the window.
    PesParser(StreamTable& table, WindowPort& window)
        : m_table(table), m_windowLog(std::in_place, window), m_report(&*m_windowLog) {}
    PesParser(const PesParser&) = delete;
    PesParser& operator=(const PesParser&) = delete;

    // Every field back to its initial value (once per pack-loop call).
    void reset() { m_state = State{}; }

    // Examines block[0..n-1].
    void parse(const std::uint8_t* block, std::size_t n, RunMode mode, PayloadHandler& handler);

    PacketView packet() { return PacketView(m_state); }
    // Inside a packet's payload: the next byte is handed over.
    bool inPayload() const { return m_state.copyActive; }

private:
    struct State {
        // The last four bytes that entered the parser, the newest lowest.
        std::uint32_t lastFour = 0;
        bool copyActive = false;
        PayloadKind payloadKind = PayloadKind::None;
        int lengthPhase = 0;
        std::int32_t packetLeft = 0;
        std::int32_t skipLeft = 0;
        int fixedHeaderLeft = 0;
        std::uint8_t pesFlags = 0;
        std::uint8_t headerDataLeft = 0;
        int ptsLeft = 0;
        int ptsDtsLeft = 0;
        int extFlagsLeft = 0;
        std::uint8_t extFlags = 0;
        int pstdLeft = 0;
        int extFieldLeft = 0;
        int privateHeaderLeft = 0;
        int lpcmSkipLeft = 0;
        int mlpSkipLeft = 0;
        std::uint32_t ptsValue = 0;
        std::uint32_t pendingPts = 0;
        std::int32_t videoIndex = -1;
        std::int32_t audioIndex = -1;
        std::int32_t subpictureIndex = -1;
        VideoKind videoKind = VideoKind::Mpeg2;
        AudioKind audioKind = AudioKind::DD;
        std::uint8_t lastAudioId = 0;

        // Per packet (since its start code): whether its own PES header
        // announced a PTS alone (PTS_DTS_flags 2), whether that PTS has been
        // read completely and its value, and whether no payload run of the
        // packet has been handed over yet.
        bool packetAnnouncesPts = false;
        bool ownPtsValid = false;
        std::uint32_t ownPts = 0;
        bool firstRunOfPacket = false;
    };

    void startCode(std::uint8_t streamId, RunMode mode);
    // One byte of a packet's headers; false when no header is open (the
    // parser is between packets).
    bool headerByte(std::uint8_t b, RunMode mode);
    void endHeader();
    void ptsByte(std::uint8_t b);
    void extensionId(std::uint8_t b, RunMode mode);
    void subpictureId(std::uint8_t b, RunMode mode, bool extended);
    void audioStep(std::uint8_t id, RunMode mode);
    // Passes over block[o..n-1] between packets up to and including the byte
    // that completes the next recognised start code; gives the next offset.
    std::size_t betweenPackets(const std::uint8_t* block, std::size_t o, std::size_t n, RunMode mode);

    void found(RunMode mode, ids::CodeKind kind, int index) {
        if (mode == RunMode::Scan) m_report->streamFound(kind, index);
    }

    State m_state;
    StreamTable& m_table;
    std::optional<WindowStreamLog> m_windowLog;
    StreamReport* m_report;
};

} // namespace vantrel
