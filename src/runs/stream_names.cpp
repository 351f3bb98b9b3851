#include "runs.h"

#include <string>

namespace vantrel {

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
