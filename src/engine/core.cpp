#include "core.h"

namespace vantrel {

Core::Core(WindowPort& w) : window(w) {
    boxes.onChanged = [this](int box) { window.boxChanged(box); };
    boxes.onTickChanged = [this](int) { cbVideoClick(*this); };
}

void Resetcbs(Core& core) {
    for (int box = 0; box < StreamBoxes::kCount; ++box) {
        core.boxes.setEnabled(box, false);
        core.boxes.setCaption(box, StreamBoxes::resetCaption(box));
    }
}

void cbVideoClick(Core& core) {
    core.window.setButtonEnabled(Button::Demux, core.boxes.anyTicked());
}

void bCancelClick(Core& core) {
    if (!core.demuxActive) {
        core.stopRequested = 1;
        return;
    }
    if (core.window.confirm("Confirm", "Are you sure to stop demuxing?")) core.stopRequested = 1;
}

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

std::string outputBase(Core& core) {
    std::string folder = core.window.fieldText(Field::Workdir);
    if (folder.empty()) return core.EVObase;
    if (folder.back() != '/') folder += '/';
    return folder + core.EVObase;
}

bool Continuation::secondPartAtStart() const {
    return firstPart && fileExists(nextPartPath);
}

bool Continuation::goOn(Core& core) const {
    return core.window.optionTicked(Option::Continue) && core.stopRequested == 0 && firstPart &&
           fileExists(nextPartPath);
}

Continuation decideContinuation(Core& core, const std::string& sourcePath) {
    Continuation c;
    if (!core.window.optionTicked(Option::Continue)) return c;
    const std::string& name = core.EVOname;
    c.firstPart = name.size() >= 6 && name.compare(name.size() - 6, 6, "_1.EVO") == 0;
    c.nextPartPath =
        (sourcePath.size() > 5 ? sourcePath.substr(0, sourcePath.size() - 5) : std::string()) + "2.EVO";
    return c;
}

std::string fileNamePart(const std::string& path) {
    auto pos = path.find_last_of('/');
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string folderPart(const std::string& path) {
    auto pos = path.find_last_of('/');
    return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

} // namespace vantrel
