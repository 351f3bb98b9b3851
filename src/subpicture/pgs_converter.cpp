#include "pgs_converter.h"

#include "files/file_layer.h"

namespace vantrel::subpicture {

PgsConverter::PgsConverter(PgsSink sink, Warn warn, const DecodeOptions& options)
    : m_sink(std::move(sink)), m_warn(std::move(warn)), m_options(options),
      m_writer(options.frameWidth, options.frameHeight) {}

void PgsConverter::skip(std::uint32_t pts, const std::string& why) {
    ++m_figures.malformed;
    if (m_warn) m_warn("Subpicture unit at " + describePts(pts) + " skipped: " + why + ".");
}

void PgsConverter::flush() {
    if (m_sink && !m_out.empty()) m_sink(m_out);
    m_out.clear();
}

void PgsConverter::add(const UnitRecord& record) {
    if (record.stray) {
        m_figures.strayBytes += record.strayLength;
        if (m_warn)
            m_warn("Skipped " + std::to_string(record.strayLength) + " bytes at offset " +
                   std::to_string(record.offset) + " that belong to no subpicture unit.");
        return;
    }
    ++m_figures.units;
    const std::string problem = decodeUnit(record.unit, record.pts, m_current, m_options);
    if (!problem.empty()) {
        skip(record.pts, problem);
        return;
    }
    const std::uint32_t start = m_current.startTime();
    if (m_pending) {
        // Times are compared as distances on the 32-bit clock, so a stream
        // that runs across the clock's wrap keeps its order.
        const auto sinceLastStart = static_cast<std::int32_t>(start - m_figures.lastStart);
        if (sinceLastStart <= 0) {
            skip(record.pts, "it starts no later than the subpicture before it");
            return;
        }
        // A subpicture that starts before the one ahead of it stops replaces it
        // without a clear in between.
        if (static_cast<std::int32_t>(start - m_pendingStop) >= 0) m_writer.clear(m_pendingStop, m_out);
    }
    m_writer.show(m_current, start, m_out);
    flush();
    if (m_current.animated) ++m_figures.animated;
    if (m_current.forced) ++m_figures.forced;
    if (!m_figures.anyShown) m_figures.firstStart = start;
    m_figures.anyShown = true;
    ++m_figures.converted;
    m_figures.lastStart = start;
    m_figures.lastStop = m_current.stopTime();
    m_pending = true;
    m_pendingStop = m_current.stopTime();
}

void PgsConverter::finish() {
    if (!m_pending) return;
    m_writer.clear(m_pendingStop, m_out);
    flush();
    m_pending = false;
}

StreamFigures convertRecords(std::span<const std::uint8_t> records, std::vector<std::uint8_t>* pgs,
                             const Warn& warn, const DecodeOptions& options) {
    PgsSink sink;
    if (pgs)
        sink = [pgs](std::span<const std::uint8_t> bytes) {
            pgs->insert(pgs->end(), bytes.begin(), bytes.end());
        };
    PgsConverter converter(sink, warn, options);
    SupRecordReader reader(records);
    UnitRecord record;
    while (reader.next(record)) converter.add(record);
    converter.finish();
    return converter.figures();
}

std::vector<std::uint8_t> readWholeFile(const std::string& path) {
    InputFile in(path);
    std::vector<std::uint8_t> data(static_cast<std::size_t>(in.size()));
    std::size_t got = 0;
    while (got < data.size()) {
        const std::size_t n = in.read(data.data() + got, data.size() - got);
        if (n == 0) break;
        got += n;
    }
    data.resize(got);
    return data;
}

StreamFigures convertSupFile(const std::string& inPath, const std::string& outPath, const Warn& warn,
                             const DecodeOptions& options) {
    const std::vector<std::uint8_t> records = readWholeFile(inPath);
    OutputFile out(outPath);
    PgsConverter converter(
        [&out](std::span<const std::uint8_t> bytes) { out.write(bytes.data(), bytes.size()); }, warn,
        options);
    SupRecordReader reader(records);
    UnitRecord record;
    while (reader.next(record)) converter.add(record);
    converter.finish();
    out.close();
    return converter.figures();
}

} // namespace vantrel::subpicture
