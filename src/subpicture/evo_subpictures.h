// The subpicture streams of an EVO (or VOB) read straight from its packets,
// without a demuxed file in between: the PES parser hands over the payload of
// every subpicture packet, a packet with its own PTS begins a unit, and each
// stream's units go through a converter of their own (figures only, or
// presentation graphics into a sink).
#pragma once

#include "pgs_converter.h"

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

} // namespace vantrel::subpicture
