// The subpicture streams of an EVO (or VOB) read straight from its packets,
// without a demuxed file in between: the PES parser hands over the payload of
// every subpicture packet, a packet with its own PTS begins a unit, and each
// stream's units go through a converter of their own (figures only, or
// presentation graphics into a sink).
#pragma once

#include "pgs_converter.h"

#include "packets/packet_reader.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::subpicture {

constexpr int kSubpictureStreams = 32; // sub-stream ids 0x20-0x3F and 0x60-0x7F share indices 0..31

struct EvoSubpictureStream {
    bool present = false;
    int code = -1; // the first sub-stream id seen for the index
    StreamFigures figures;
};

class EvoSubpictureCollector {
public:
    // sinkFor(index) gives the sink of a stream's presentation graphics, or an
    // empty sink for figures only; warn receives the stream's warnings,
    // prefixed with "Subpicture stream N: ".
    EvoSubpictureCollector(Warn warn, std::function<PgsSink(int index)> sinkFor = {},
                           const DecodeOptions& options = {});

    // Payload of subpicture stream `index` (0..31); `unitPts` is set on the
    // first payload of a packet whose own header carries a PTS: a unit begins.
    void payload(int index, std::optional<std::uint32_t> unitPts, const std::uint8_t* data,
                 std::size_t length);
    // A packet of a pass over the source: a subpicture packet's payload goes to
    // its stream, a unit beginning where the packet's own header carries a PTS
    // alone (moved by `ptsShift` ticks, in the 32 bits the .sup records hold);
    // other packets are passed over.
    void packet(const Packet& p, std::uint32_t ptsShift = 0);
    // Converts the last unit of every stream and writes the closing display sets.
    void finish();

    const std::array<EvoSubpictureStream, kSubpictureStreams>& streams() const { return m_streams; }

private:
    struct Open {
        std::unique_ptr<PgsConverter> converter;
        std::vector<std::uint8_t> unit; // the unit being gathered
        std::uint32_t pts = 0;
        bool started = false;
    };
    void endUnit(int index);

    Warn m_warn;
    std::function<PgsSink(int)> m_sinkFor;
    DecodeOptions m_options;
    std::array<Open, kSubpictureStreams> m_open;
    std::array<EvoSubpictureStream, kSubpictureStreams> m_streams;
};

// One pass over a whole file through the packet reader, feeding `collector`
// the bytes and PTS that the demux writes to .sup files, each PTS moved by
// `ptsShift` ticks (the second part of a split title); the collector is not
// finished. Throws vantrel::Error when the file cannot be opened or read.
void feedEvoFile(const std::string& path, EvoSubpictureCollector& collector, std::uint32_t ptsShift = 0);

// feedEvoFile, then the collector's finish.
void collectEvoSubpictures(const std::string& path, EvoSubpictureCollector& collector);

} // namespace vantrel::subpicture
