#include "video_scan.h"

#include "bit_reader.h"
#include "packets/start_code_scan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vantrel {

namespace {

constexpr std::size_t kHeaderBytes = 16;
// An H.264 SPS up to its VUI timing: scaling lists can make it long.
constexpr std::size_t kSpsBytes = 512;

using codec::BitReader;

// The bytes of an H.264 RBSP: its NAL unit without the emulation prevention
// bytes (the 03 of 00 00 03).
std::vector<std::uint8_t> rbspBytes(const std::uint8_t* d, std::size_t n) {
    std::vector<std::uint8_t> out;
    out.reserve(n);
    int zeros = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (zeros >= 2 && d[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = d[i] == 0 ? zeros + 1 : 0;
        out.push_back(d[i]);
    }
    return out;
}

void skipScalingList(BitReader& b, int size) {
    int last = 8, next = 8;
    for (int j = 0; j < size && !b.overrun(); ++j) {
        if (next != 0) next = (last + b.se() + 256) % 256;
        last = next == 0 ? last : next;
    }
}

std::uint32_t gcd(std::uint32_t a, std::uint32_t b) {
    while (b != 0) {
        const std::uint32_t t = a % b;
        a = b;
        b = t;
    }
    return a;
}

} // namespace

std::optional<H264Timing> readH264Timing(const std::uint8_t* sps, std::size_t n) {
    const std::vector<std::uint8_t> rbsp = rbspBytes(sps, n);
    BitReader b(rbsp.data(), rbsp.size());
    H264Timing t;
    const std::uint32_t profile = b.u(8);
    b.u(8 + 8); // constraint flags, level
    b.ue();     // seq_parameter_set_id
    static constexpr std::uint32_t kHighProfiles[] = {100, 110, 122, 244, 44,  83, 86,
                                                      118, 128, 138, 139, 134, 135};
    if (std::find(std::begin(kHighProfiles), std::end(kHighProfiles), profile) != std::end(kHighProfiles)) {
        const std::uint32_t chroma = b.ue();
        if (chroma == 3) b.u(1); // separate_colour_plane_flag
        b.ue();                  // bit depths
        b.ue();
        b.u(1); // qpprime_y_zero_transform_bypass_flag
        if (b.u(1)) {
            for (int i = 0; i < (chroma != 3 ? 8 : 12); ++i)
                if (b.u(1)) skipScalingList(b, i < 6 ? 16 : 64);
        }
    }
    b.ue(); // log2_max_frame_num_minus4
    const std::uint32_t pocType = b.ue();
    if (pocType == 0) {
        b.ue();
    } else if (pocType == 1) {
        b.u(1);
        b.se();
        b.se();
        const std::uint32_t cycle = b.ue();
        if (cycle > 255) return std::nullopt;
        for (std::uint32_t i = 0; i < cycle; ++i) b.se();
    }
    b.ue(); // max_num_ref_frames
    b.u(1); // gaps_in_frame_num_value_allowed_flag
    b.ue(); // pic_width_in_mbs_minus1
    b.ue(); // pic_height_in_map_units_minus1
    t.frameMbsOnly = b.u(1) != 0;
    if (!t.frameMbsOnly) b.u(1); // mb_adaptive_frame_field_flag
    b.u(1);                      // direct_8x8_inference_flag
    if (b.u(1)) {                // frame cropping
        for (int i = 0; i < 4; ++i) b.ue();
    }
    if (!b.u(1) || b.overrun()) return std::nullopt; // no VUI
    if (b.u(1) && b.u(8) == 255) b.u(16 + 16);       // aspect ratio, extended SAR
    if (b.u(1)) b.u(1);                              // overscan
    if (b.u(1)) {                                    // video signal type
        b.u(3 + 1);
        if (b.u(1)) b.u(8 + 8 + 8);
    }
    if (b.u(1)) { // chroma location
        b.ue();
        b.ue();
    }
    if (!b.u(1)) return std::nullopt; // no timing info
    const std::uint32_t units = b.u(32);
    const std::uint32_t scale = b.u(32);
    t.fixed = b.u(1) != 0;
    if (b.overrun() || units == 0 || scale == 0 || units > UINT32_MAX / 2) return std::nullopt;
    const std::uint32_t den = 2 * units;
    const std::uint32_t g = gcd(scale, den);
    t.rateNum = scale / g;
    t.rateDen = den / g;
    return t;
}

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
        wanted = (code & 0x9F) == 0x07 && !m_facts.sequenceSeen; // the first SPS
        break;
    default: return;
    }
    if (!wanted) return;
    if (m_collecting) headerComplete(); // a short header: what there is
    m_code = code;
    m_collect.clear();
    const std::size_t want = m_facts.kind == EsKind::H264 ? kSpsBytes : kHeaderBytes;
    const std::size_t take = std::min(want, avail);
    m_collect.insert(m_collect.end(), after, after + take);
    m_need = want - take;
    m_collecting = true;
    if (m_need == 0) headerComplete();
}

void VideoScanner::headerComplete() {
    m_collecting = false;
    if (m_facts.kind == EsKind::Mpeg2Video)
        mpeg2Header();
    else if (m_facts.kind == EsKind::H264)
        h264Sps();
    else
        vc1Header();
}

void VideoScanner::h264Sps() {
    m_facts.sequenceSeen = true;
    const std::optional<H264Timing> t = readH264Timing(m_collect.data(), m_collect.size());
    // With fixed_frame_rate_flag clear the timing is the rate's bound; players
    // (ffmpeg among them) take it as the rate all the same, and so does this.
    if (!t) return;
    m_facts.rateNum = t->rateNum;
    m_facts.rateDen = t->rateDen;
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
    BitReader b(m_collect.data(), m_collect.size());
    if (m_code == 0x0F) {
        if (b.u(2) != 3) return; // advanced profile only
        b.u(3 + 2 + 3 + 5 + 1 + 12 + 12);
        m_pulldownFlag = b.u(1) != 0;
        m_interlace = b.u(1) != 0;
        m_tfcntr = b.u(1) != 0;
        b.u(1 + 1);
        m_psf = b.u(1) != 0;
        m_facts.sequenceSeen = true;
        m_facts.pulldownFlagsAllowed = m_pulldownFlag;
        m_facts.unitIsField = m_interlace && !m_psf;
        if (b.u(1)) { // display extension
            b.u(14 + 14);
            if (b.u(1) && b.u(4) == 15) b.u(16);
            if (b.u(1)) {
                if (b.u(1) == 0) {
                    static constexpr std::uint32_t kNr[8] = {0,     24000, 25000, 30000,
                                                             50000, 60000, 48000, 72000};
                    const std::uint32_t nr = b.u(8);
                    const std::uint32_t dr = b.u(4);
                    if (nr >= 1 && nr <= 7 && (dr == 1 || dr == 2)) {
                        m_facts.rateNum = kNr[nr];
                        m_facts.rateDen = dr == 1 ? 1000 : 1001;
                    }
                } else {
                    m_facts.rateNum = b.u(16) + 1;
                    m_facts.rateDen = 32;
                }
            }
        }
        return;
    }
    if (!m_facts.sequenceSeen) return;
    bool field = false;
    if (m_interlace && b.u(1)) field = b.u(1) != 0;
    if (field) {
        b.u(3);
    } else {
        for (int i = 0; i < 4 && b.u(1); ++i) {
        }
    }
    if (m_tfcntr) b.u(8);
    ++m_facts.frames;
    if (!m_pulldownFlag) {
        m_facts.displayUnits += m_facts.unitIsField ? 2 : 1;
        return;
    }
    if (!m_interlace || m_psf) {
        const std::uint32_t rpt = b.u(2);
        if (rpt) ++m_facts.repeatFlags;
        m_facts.displayUnits += 1 + rpt;
    } else {
        b.u(1); // TFF
        const std::uint32_t rff = b.u(1);
        if (rff) ++m_facts.repeatFlags;
        m_facts.displayUnits += 2 + rff;
    }
}

} // namespace vantrel
