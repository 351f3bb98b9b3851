#include "runs.h"

#include <string>

namespace vantrel {

std::string VideoStreamName(std::int32_t code) {
    if (code == 0x55 || code == 0x56) return "VC-1.stream";
    if (code == 0xE0 || code == 0xE1) return "MPEG-2.stream";
    if (code == 0xE2 || code == 0xE3) return "H.264.stream";
    return {};
}

std::string AudioStreamName(std::int32_t code) {
    if (code >= 0x80 && code <= 0x87) return "DD.stream";
    if (code >= 0x88 && code <= 0x8F) return "DTSHD.stream";
    if (code >= 0xA0 && code <= 0xA7) return "LPCM.stream";
    if (code >= 0xB0 && code <= 0xB7) return "MLP.stream";
    if (code >= 0xC0 && code <= 0xCF) return "DD+.stream";
    return {};
}

std::string SubpictureStreamName(std::int32_t code) {
    if (code >= 0x20 && code <= 0x2F) return "Subpicture";
    if (code >= 0x60 && code <= 0x6F) return "Ext.Subpicture";
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
