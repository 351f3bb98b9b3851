// The reference: the straightforward byte-at-a-time PES parser and pack loop,
// rule by rule, kept unoptimised so that the production engine can be checked
// against it (the differential fuzz target, the benchmarks' sanity checks).
// It follows the same rules as the engine, including its three mends: MPEG
// audio payload is parsed but never written, a subpicture record header goes
// only ahead of the first run of a packet that carried its own PTS, and a
// header that runs past its packet hands nothing over.
#pragma once

#include "engine/core.h"
#include "engine/pes_parser.h"

#include <cstddef>
#include <cstdint>

namespace vantrel::test {

class ReferenceParser {
public:
    // Receives the payload runs (offset and length within the block); the
    // parser's fields describe the run's stream while it runs.
    class Handler {
    public:
        virtual ~Handler() = default;
        virtual void payloadRun(std::size_t offset, std::size_t length) = 0;
    };

    ReferenceParser(StreamTable& table, WindowPort& window) : m_table(table), m_window(window) {}

    void reset();
    void parse(const std::uint8_t* block, std::size_t n, RunMode mode, Handler& handler);

    std::uint32_t window = 0;
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

    bool packetAnnouncesPts = false;
    bool ownPtsValid = false;
    std::uint32_t ownPts = 0;
    bool firstRunOfPacket = false;

private:
    void startCode(std::uint8_t streamId, RunMode mode);
    void endHeader();
    void extensionId(std::uint8_t b, RunMode mode);
    void subpictureId(std::uint8_t b, RunMode mode, bool extended);
    void audioStep(std::uint8_t id, RunMode mode);

    StreamTable& m_table;
    WindowPort& m_window;
};

// The pack loop as written first: 32,768-byte reads into PackBuffer, every
// block through the reference parser, frames counted byte by byte.
void referenceDemux(Core& core, RunMode mode);

} // namespace vantrel::test
