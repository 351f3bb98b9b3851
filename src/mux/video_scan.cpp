#include "video_scan.h"

#include "engine/start_code_scan.h"

#include <cmath>
#include <cstdio>

namespace vantrel::mux {

namespace {

constexpr std::size_t kHeaderBytes = 16;

class Bits {
public:
    explicit Bits(const std::vector<std::uint8_t>& d) : m_d(d) {}
    std::uint32_t get(int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            const std::size_t byte = m_bit / 8;
            const std::uint32_t b = byte < m_d.size() ? (m_d[byte] >> (7 - m_bit % 8)) & 1u : 0u;
            v = (v << 1) | b;
            ++m_bit;
        }
        return v;
    }

private:
    const std::vector<std::uint8_t>& m_d;
    std::size_t m_bit = 0;
};

} // namespace

double VideoFacts::unitRate() const {
    if (rateNum == 0) return 0.0;
    const double r = static_cast<double>(rateNum) / static_cast<double>(rateDen);
    return unitIsField ? 2.0 * r : r;
}

bool VideoFacts::pulldown() const {
    if (!pulldownFlagsAllowed || frames < 8 || repeatFlags == 0 || rateNum == 0) return false;
    const double content = unitRate() * static_cast<double>(frames) / static_cast<double>(displayUnits);
    return std::fabs(content - 24000.0 / 1001.0) < 0.024;
}

double VideoFacts::durationSeconds() const {
    const double r = unitRate();
    return r > 0 ? static_cast<double>(displayUnits) / r : 0.0;
}

std::string VideoFacts::describe() const {
    char text[200];
    const double perFrame =
        frames > 0 ? static_cast<double>(displayUnits) / static_cast<double>(frames) : 0.0;
    std::snprintf(text, sizeof text, "%lld frames, %lld with repeat flags, %.4f %s per frame at %u/%u",
                  static_cast<long long>(frames), static_cast<long long>(repeatFlags), perFrame,
                  unitIsField ? "fields" : "frames", rateNum, rateDen);
    return text;
}

void VideoScanner::feed(const std::uint8_t* data, std::size_t n) {
    if (n == 0) return;
    if (m_collecting) {
        const std::size_t take = std::min(m_need, n);
        m_collect.insert(m_collect.end(), data, data + take);
        m_need -= take;
        if (m_need == 0) headerComplete();
    }
    // Codes whose prefix began in the previous feed.
    std::uint8_t edge[6];
    const std::size_t head = std::min<std::size_t>(3, n);
    edge[0] = m_tail[0];
    edge[1] = m_tail[1];
    edge[2] = m_tail[2];
    for (std::size_t i = 0; i < head; ++i) edge[3 + i] = data[i];
    for (std::size_t k = 3; k < 3 + head; ++k) {
        if (edge[k - 3] == 0 && edge[k - 2] == 0 && edge[k - 1] == 1 && k - 3 < 3)
            startCode(edge[k], data + (k - 3) + 1, n - (k - 3) - 1);
    }
    std::size_t k = 3;
    while (k < n) {
        k = scan::nextAfterPrefix(data, k, n);
        if (k >= n) break;
        startCode(data[k], data + k + 1, n - k - 1);
        ++k;
    }
    // Keep the last three bytes (with earlier ones when this feed was short).
    if (n >= 3) {
        m_tail[0] = data[n - 3];
        m_tail[1] = data[n - 2];
        m_tail[2] = data[n - 1];
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            m_tail[0] = m_tail[1];
            m_tail[1] = m_tail[2];
            m_tail[2] = data[i];
        }
    }
}

void VideoScanner::finish() {
    if (m_collecting) headerComplete();
    if (m_facts.kind == EsKind::Mpeg2Video && !m_codingExtSeen) {
        m_facts.frames = m_pictures;
        m_facts.displayUnits = m_pictures;
    }
}

void VideoScanner::startCode(std::uint8_t code, const std::uint8_t* after, std::size_t avail) {
    bool wanted = false;
    switch (m_facts.kind) {
    case EsKind::Mpeg2Video: wanted = code == 0xB3 || code == 0xB5 || code == 0x00; break;
    case EsKind::Vc1: wanted = code == 0x0F || code == 0x0D; break;
    case EsKind::H264:
        if ((code & 0x9F) == 0x09) {
            ++m_facts.frames;
            ++m_facts.displayUnits;
        }
        return;
    default: return;
    }
    if (!wanted) return;
    if (m_collecting) headerComplete(); // a short header: what there is
    m_code = code;
    m_collect.clear();
    const std::size_t take = std::min(kHeaderBytes, avail);
    m_collect.insert(m_collect.end(), after, after + take);
    m_need = kHeaderBytes - take;
    m_collecting = true;
    if (m_need == 0) headerComplete();
}

void VideoScanner::headerComplete() {
    m_collecting = false;
    if (m_facts.kind == EsKind::Mpeg2Video)
        mpeg2Header();
    else
        vc1Header();
}

void VideoScanner::mpeg2Header() {
    const auto& h = m_collect;
    if (m_code == 0x00) {
        ++m_pictures;
        return;
    }
    if (m_code == 0xB3) {
        if (h.size() < 4) return;
        static constexpr std::uint32_t kNum[9] = {0, 24000, 24, 25, 30000, 30, 50, 60000, 60};
        static constexpr std::uint32_t kDen[9] = {1, 1001, 1, 1, 1001, 1, 1, 1001, 1};
        const int frc = h[3] & 0x0F;
        if (frc >= 1 && frc <= 8) {
            m_facts.rateNum = kNum[frc];
            m_facts.rateDen = kDen[frc];
        }
        m_facts.sequenceSeen = true;
        return;
    }
    if (h.empty()) return;
    const int id = h[0] >> 4;
    if (id == 1 && h.size() >= 2) {
        m_progressiveSequence = ((h[1] >> 3) & 1) != 0;
        m_facts.unitIsField = !m_progressiveSequence;
        m_facts.pulldownFlagsAllowed = !m_progressiveSequence;
    } else if (id == 8 && h.size() >= 5) {
        m_codingExtSeen = true;
        const int structure = h[2] & 3;
        const bool tff = (h[3] >> 7) & 1;
        const bool rff = (h[3] >> 1) & 1;
        if (structure != 3) {
            ++m_facts.displayUnits;
            if (++m_fieldHalf == 2) {
                m_fieldHalf = 0;
                ++m_facts.frames;
            }
            return;
        }
        m_fieldHalf = 0;
        ++m_facts.frames;
        if (rff) ++m_facts.repeatFlags;
        if (m_progressiveSequence)
            m_facts.displayUnits += 1 + (rff ? 1 : 0) + (rff && tff ? 1 : 0);
        else
            m_facts.displayUnits += 2 + (rff ? 1 : 0);
    }
}

void VideoScanner::vc1Header() {
    Bits b(m_collect);
    if (m_code == 0x0F) {
        if (b.get(2) != 3) return; // advanced profile only
        b.get(3 + 2 + 3 + 5 + 1 + 12 + 12);
        m_pulldownFlag = b.get(1) != 0;
        m_interlace = b.get(1) != 0;
        m_tfcntr = b.get(1) != 0;
        b.get(1 + 1);
        m_psf = b.get(1) != 0;
        m_facts.sequenceSeen = true;
        m_facts.pulldownFlagsAllowed = m_pulldownFlag;
        m_facts.unitIsField = m_interlace && !m_psf;
        if (b.get(1)) { // display extension
            b.get(14 + 14);
            if (b.get(1) && b.get(4) == 15) b.get(16);
            if (b.get(1)) {
                if (b.get(1) == 0) {
                    static constexpr std::uint32_t kNr[8] = {0,     24000, 25000, 30000,
                                                             50000, 60000, 48000, 72000};
                    const std::uint32_t nr = b.get(8);
                    const std::uint32_t dr = b.get(4);
                    if (nr >= 1 && nr <= 7 && (dr == 1 || dr == 2)) {
                        m_facts.rateNum = kNr[nr];
                        m_facts.rateDen = dr == 1 ? 1000 : 1001;
                    }
                } else {
                    m_facts.rateNum = b.get(16) + 1;
                    m_facts.rateDen = 32;
                }
            }
        }
        return;
    }
    if (!m_facts.sequenceSeen) return;
    bool field = false;
    if (m_interlace && b.get(1)) field = b.get(1) != 0;
    if (field) {
        b.get(3);
    } else {
        for (int i = 0; i < 4 && b.get(1); ++i) {
        }
    }
    if (m_tfcntr) b.get(8);
    ++m_facts.frames;
    if (!m_pulldownFlag) {
        m_facts.displayUnits += m_facts.unitIsField ? 2 : 1;
        return;
    }
    if (!m_interlace || m_psf) {
        const std::uint32_t rpt = b.get(2);
        if (rpt) ++m_facts.repeatFlags;
        m_facts.displayUnits += 1 + rpt;
    } else {
        b.get(1); // TFF
        const std::uint32_t rff = b.get(1);
        if (rff) ++m_facts.repeatFlags;
        m_facts.displayUnits += 2 + rff;
    }
}

} // namespace vantrel::mux
