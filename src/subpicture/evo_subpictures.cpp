#include "evo_subpictures.h"

#include "packets/stream_ids.h"

namespace vantrel::subpicture {

EvoSubpictureCollector::EvoSubpictureCollector(Warn warn, std::function<PgsSink(int)> sinkFor,
                                               const DecodeOptions& options)
    : m_warn(std::move(warn)), m_sinkFor(std::move(sinkFor)), m_options(options) {}

void EvoSubpictureCollector::payload(int index, std::optional<std::uint32_t> unitPts,
                                     const std::uint8_t* data, std::size_t length) {
    if (index < 0 || index >= kSubpictureStreams) return;
    Open& open = m_open[static_cast<std::size_t>(index)];
    EvoSubpictureStream& stream = m_streams[static_cast<std::size_t>(index)];
    if (!open.converter) {
        const PgsSink sink = m_sinkFor ? m_sinkFor(index) : PgsSink{};
        Warn warn;
        if (m_warn)
            warn = [this, index](const std::string& text) {
                m_warn("Subpicture stream " + std::to_string(index) + ": " + text);
            };
        open.converter = std::make_unique<PgsConverter>(sink, warn, m_options);
        stream.present = true;
    }
    if (unitPts) {
        endUnit(index);
        open.pts = *unitPts;
        open.started = true;
    }
    // Payload before the stream's first PTS belongs to a unit whose start is not in the file.
    if (open.started) open.unit.insert(open.unit.end(), data, data + length);
}

void EvoSubpictureCollector::endUnit(int index) {
    Open& open = m_open[static_cast<std::size_t>(index)];
    if (!open.started) return;
    // A unit normally fills its packets alone; a further unit that follows in
    // them without a PTS of its own goes through with the same PTS.
    std::span<const std::uint8_t> rest = open.unit;
    do {
        UnitRecord record;
        record.pts = open.pts;
        const std::uint32_t size = announcedUnitSize(rest);
        record.unit = size >= 10 && size < rest.size() ? rest.first(size) : rest;
        open.converter->add(record);
        rest = rest.subspan(record.unit.size());
    } while (SupRecordReader::isPlausibleUnit(rest));
    open.unit.clear();
    open.started = false;
    m_streams[static_cast<std::size_t>(index)].figures = open.converter->figures();
}

void EvoSubpictureCollector::finish() {
    for (int index = 0; index < kSubpictureStreams; ++index) {
        Open& open = m_open[static_cast<std::size_t>(index)];
        if (!open.converter) continue;
        endUnit(index);
        open.converter->finish();
        m_streams[static_cast<std::size_t>(index)].figures = open.converter->figures();
    }
}

} // namespace vantrel::subpicture
