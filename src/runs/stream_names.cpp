#include "runs.h"

#include "engine/stream_ids.h"

#include <string>

namespace vantrel {

std::string VideoStreamName(std::int32_t code) {
    if (ids::kVc1Video.holds(code)) return "VC-1.stream";
    if (ids::kMpeg2Video.holds(code)) return "MPEG-2.stream";
    if (ids::kH264Video.holds(code)) return "H.264.stream";
    return {};
}

std::string AudioStreamName(std::int32_t code) {
    if (ids::kDd.holds(code)) return "DD.stream";
    if (ids::kDtsHd.holds(code)) return "DTSHD.stream";
    if (ids::kLpcm.holds(code)) return "LPCM.stream";
    if (ids::kMlp.holds(code)) return "MLP.stream";
    if (ids::kDdPlus.holds(code)) return "DD+.stream";
    return {};
}

// Only the subpicture slots that have a box are ever named.
std::string SubpictureStreamName(std::int32_t code) {
    if (ids::kBoxedSubpicture.holds(code)) return "Subpicture";
    if (ids::kBoxedExtendedSubpicture.holds(code)) return "Ext.Subpicture";
    return {};
}

void ReportVideoFrames(Core& core) {
    constexpr double kFramesPerSecond = 23.976;
    constexpr double kSecondsPerDay = 86400;
    for (int i = 0; i < 2; ++i) {
        std::int32_t n = core.videoFrameCount[static_cast<std::size_t>(i)];
        if (n <= 0) continue;
        double duration = n / kFramesPerSecond / kSecondsPerDay;
        core.window.log(std::to_string(n) + " frames (" + core.window.formatLongTime(duration) +
                        " s) count in video stream " + std::to_string(i) + ".");
    }
}

} // namespace vantrel
