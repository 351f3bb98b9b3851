// Looks at the headers of a video elementary stream as it streams in: counts
// frames and the display periods their repeat flags ask for, and decides from
// those flags whether 24000/1001 content is carried at 30000/1001 with
// pulldown (MPEG-2: repeat_first_field in the picture coding extension; VC-1
// advanced profile: the PULLDOWN sequence flag with RFF/RPTFRM per frame).
#pragma once

#include "es_kind.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

struct VideoFacts {
    EsKind kind = EsKind::Unknown;
    std::int64_t frames = 0;       // coded frames (a field pair counts once)
    std::int64_t displayUnits = 0; // fields (interlaced) or frames shown, repeats included
    std::int64_t repeatFlags = 0;  // frames with RFF / RPTFRM set
    bool unitIsField = false;
    std::uint32_t rateNum = 0; // coded frame rate, 0 when the headers give none
    std::uint32_t rateDen = 1;
    bool sequenceSeen = false;
    bool pulldownFlagsAllowed = false; // VC-1 PULLDOWN flag / MPEG-2 interlaced sequence

    // 24000/1001 content shown through repeat flags at a 30000/1001 (or 60000/1001) rate.
    bool pulldown() const;
    // Display periods per second (twice the frame rate for fields).
    double unitRate() const;
    // Seconds the frames are shown for, by their flags; 0 when the rate is unknown.
    double durationSeconds() const;
    // "1.25 display periods per frame over N frames ..." for the manifest.
    std::string describe() const;
};

// The frame rate an H.264 sequence parameter set's VUI timing gives:
// time_scale / (2 × num_units_in_tick), reduced; `fixed` is fixed_frame_rate_flag.
struct H264Timing {
    std::uint32_t rateNum = 0;
    std::uint32_t rateDen = 1;
    bool fixed = false;
    bool frameMbsOnly = true; // no field or frame/field adaptive coding
};
// Reads the SPS at sps[0..n) (after the NAL header byte, emulation prevention
// bytes still in); none when it carries no timing or ends before it.
std::optional<H264Timing> readH264Timing(const std::uint8_t* sps, std::size_t n);

class VideoScanner {
public:
    explicit VideoScanner(EsKind kind) { m_facts.kind = kind; }
    void feed(const std::uint8_t* data, std::size_t n);
    // Finishes a header still being collected.
    void finish();
    const VideoFacts& facts() const { return m_facts; }

private:
    void startCode(std::uint8_t code, const std::uint8_t* after, std::size_t avail);
    void headerComplete();
    void mpeg2Header();
    void vc1Header();
    void h264Sps();

    VideoFacts m_facts;
    std::uint8_t m_tail[3] = {0xFF, 0xFF, 0xFF};
    std::uint8_t m_code = 0;
    std::vector<std::uint8_t> m_collect;
    std::size_t m_need = 0;
    bool m_collecting = false;
    // MPEG-2
    bool m_progressiveSequence = false;
    bool m_codingExtSeen = false;
    std::int64_t m_pictures = 0;
    int m_fieldHalf = 0;
    // VC-1
    bool m_interlace = false, m_pulldownFlag = false, m_tfcntr = false, m_psf = false;
};

} // namespace vantrel
