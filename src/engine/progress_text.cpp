#include "progress_text.h"

namespace vantrel {

std::string progressLine(Core& core, const std::string& verb, const std::string& name, std::int64_t position,
                         std::int64_t size, double t0) {
    std::string line = verb + name + " " + std::to_string(wholeMebibytes(position)) + "/" +
                       std::to_string(wholeMebibytes(size)) + " Mbytes, Remaining time: ";
    long double total = 0;
    if (position > 0)
        total = static_cast<long double>(core.window.now() - t0) * static_cast<long double>(size) /
                static_cast<long double>(position);
    long double remaining = total - static_cast<long double>(core.window.now() - t0) + 1.0L / 86400.0L;
    return line + core.window.formatLongTime(static_cast<double>(remaining));
}

void logFileSize(Core& core) {
    core.window.log("File size: " + std::to_string(wholeMebibytes(core.sourceFile->size())) + " Mbytes.");
}

void logRunDone(WindowPort& window) {
    window.log("Done.");
    window.slog("Ready", 0);
    window.slog("", 1);
}

} // namespace vantrel
