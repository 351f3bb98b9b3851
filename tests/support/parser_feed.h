// Feeds bytes to the PES parser the way the pack loop does, block by block,
// cut at any offsets, and records every payload run with the stream identity
// the parser showed while handing it over.
#pragma once

#include "engine/pes_parser.h"
#include "support/evo_builder.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrel::test {

struct RecordedRun {
    PayloadKind kind;
    VideoKind videoKind;
    AudioKind audioKind;
    int videoIndex;
    int audioIndex;
    int subpictureIndex;
    std::uint32_t pendingPts;
    bool firstRunOfPacket;
    bool ownPtsValid;
    std::uint32_t ownPts;
    std::size_t offset; // within the whole input
    Bytes bytes;
};

// Runs data through parser (not reset first) in the blocks that splitAt(data,
// cuts) gives, each copied to the start of a buffer as the pack loop's blocks are.
std::vector<RecordedRun> feedParser(PesParser& parser, const Bytes& data,
                                    const std::vector<std::size_t>& cuts, RunMode mode);

// Consecutive runs of one packet (split by block cuts) joined into one.
std::vector<RecordedRun> joinPacketRuns(const std::vector<RecordedRun>& runs);

} // namespace vantrel::test
