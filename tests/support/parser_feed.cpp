#include "parser_feed.h"

namespace vantrel::test {

namespace {
class Recorder : public PayloadHandler {
public:
    Recorder(PesParser& parser, std::vector<RecordedRun>& runs) : m_parser(parser), m_runs(runs) {}
    void payloadRun(std::size_t offset, std::size_t length) override {
        const PesParser::PacketView p = m_parser.packet();
        m_runs.push_back({p.payloadKind(), p.videoKind(), p.audioKind(), p.videoIndex(), p.audioIndex(),
                          p.subpictureIndex(), p.pendingPts(), p.firstRunOfPacket(), p.ownPtsValid(),
                          p.ownPts(), base + offset, Bytes(block + offset, block + offset + length)});
    }
    const std::uint8_t* block = nullptr;
    std::size_t base = 0;

private:
    PesParser& m_parser;
    std::vector<RecordedRun>& m_runs;
};
} // namespace

std::vector<RecordedRun> feedParser(PesParser& parser, const Bytes& data,
                                    const std::vector<std::size_t>& cuts, RunMode mode) {
    std::vector<RecordedRun> runs;
    Recorder recorder(parser, runs);
    std::size_t base = 0;
    for (const Bytes& piece : splitAt(data, cuts)) {
        recorder.block = piece.data();
        recorder.base = base;
        parser.parse(piece.data(), piece.size(), mode, recorder);
        base += piece.size();
    }
    return runs;
}

std::vector<RecordedRun> joinPacketRuns(const std::vector<RecordedRun>& runs) {
    std::vector<RecordedRun> joined;
    for (const RecordedRun& run : runs) {
        if (!joined.empty() && !run.firstRunOfPacket &&
            joined.back().offset + joined.back().bytes.size() == run.offset) {
            joined.back().bytes.insert(joined.back().bytes.end(), run.bytes.begin(), run.bytes.end());
            continue;
        }
        joined.push_back(run);
    }
    return joined;
}

} // namespace vantrel::test
