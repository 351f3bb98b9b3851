#include "evo_subpictures.h"

#include "engine/core.h"
#include "engine/file_layer.h"
#include "engine/pack_loop.h"
#include "engine/pes_parser.h"
#include "engine/stream_table.h"

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

namespace {

// The parser reads the window only to log in scan mode; this pass runs in
// demux mode, so nothing here is ever called.
class NoWindow final : public WindowPort {
public:
    void log(const std::string&) override {}
    void slog(const std::string&, int) override {}
    bool optionTicked(Option) override { return false; }
    std::string fieldText(Field) override { return {}; }
    void setFieldText(Field, const std::string&) override {}
    void setButtonEnabled(Button, bool) override {}
    void showPage(Page) override {}
    void boxChanged(int) override {}
    void processEvents() override {}
    void repaint() override {}
    bool confirm(const std::string&, const std::string&) override { return false; }
    double now() override { return 0; }
    std::string formatLongTime(double) override { return {}; }
    void memoClear() override {}
    void memoAdd(const std::string&) override {}
    void memoSetVisible(bool) override {}
    std::vector<std::string> memoLines() override { return {}; }
    void memoKeep(int, int) override {}
    void treeClear() override {}
    int treeAddRoot(const std::string&) override { return 0; }
    int treeAddChild(int, const std::string&) override { return 0; }
};

class Handler final : public PayloadHandler {
public:
    Handler(PesParser& parser, EvoSubpictureCollector& collector, std::uint32_t ptsShift)
        : m_parser(parser), m_collector(collector), m_ptsShift(ptsShift) {}
    void setBlock(const std::uint8_t* block) { m_block = block; }
    void payloadRun(std::size_t offset, std::size_t length) override {
        const PesParser::PacketView packet = m_parser.packet();
        if (packet.payloadKind() != PayloadKind::Subpicture) return;
        std::optional<std::uint32_t> unitPts;
        if (packet.firstRunOfPacket() && packet.ownPtsValid()) unitPts = packet.ownPts() + m_ptsShift;
        m_collector.payload(packet.subpictureIndex(), unitPts, m_block + offset, length);
    }

private:
    PesParser& m_parser;
    EvoSubpictureCollector& m_collector;
    std::uint32_t m_ptsShift;
    const std::uint8_t* m_block = nullptr;
};

} // namespace

void feedEvoFile(const std::string& path, EvoSubpictureCollector& collector, std::uint32_t ptsShift) {
    const std::unique_ptr<ByteSource> source = openSource(path); // on disk or inside a disc image
    ByteSource& in = *source;
    NoWindow window;
    StreamTable table;
    table.clear();
    PesParser parser(table, window);
    parser.reset();
    Handler handler(parser, collector, ptsShift);
    std::vector<std::uint8_t> block(kPackBufferSize);
    for (;;) {
        const std::size_t n = in.read(block.data(), block.size());
        if (n == 0) break;
        handler.setBlock(block.data());
        parser.parse(block.data(), n, RunMode::Demux, handler);
    }
}

void collectEvoSubpictures(const std::string& path, EvoSubpictureCollector& collector) {
    feedEvoFile(path, collector);
    collector.finish();
}

} // namespace vantrel::subpicture
