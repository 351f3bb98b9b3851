#include "evo_subpicture_pass.h"

#include "packets/packet_reader.h"
#include "packets/stream_ids.h"

#include <optional>

namespace vantrel::test {

void collectEvoSubpictures(const std::string& path, subpicture::EvoSubpictureCollector& collector) {
    PacketReader reader(path);
    Packet p;
    while (reader.next(p)) {
        if (!ids::isSubpicture(p.kind)) continue;
        std::optional<std::uint32_t> unitPts;
        if (p.hasPts && p.ptsDtsFlags == 2) unitPts = static_cast<std::uint32_t>(p.pts);
        collector.payload(ids::indexOfCode(p.code), unitPts, p.payload, p.payloadSize);
    }
    collector.finish();
}

} // namespace vantrel::test
