#include "runs.h"
#include "source_selection.h"

#include "engine/errors.h"

namespace vantrel {

// Placeholders until the runs land (this file is removed then).
std::string VideoStreamName(std::int32_t) {
    return {};
}
std::string AudioStreamName(std::int32_t) {
    return {};
}
std::string SubpictureStreamName(std::int32_t) {
    return {};
}
void ReportVideoFrames(Core&) {}
void bCheckClick(Core&) {
    throw Error("Read EVO is not available yet");
}
void bDemuxClick(Core&) {
    throw Error("Demux is not available yet");
}
void EVOadj(Core&) {}
void XPLadj(Core&) {}

} // namespace vantrel
