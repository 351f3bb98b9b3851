#include "engine/pack_loop.h"
#include "run_files.h"
#include "runs.h"

#include <string_view>

namespace vantrel {

namespace {

bool endsWith(const std::string& text, std::string_view tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A caption names a file inside the output folder, never a path: every "/"
// becomes "_" in the name (the box keeps its caption).
std::string captionForFileName(std::string caption) {
    for (char& c : caption)
        if (c == '/') c = '_';
    return caption;
}

Field extensionField(int box) {
    if (box < StreamBoxes::kFirstAudio) return Field::VideoExt;
    if (box < StreamBoxes::kFirstSub) return Field::AudioExt;
    return Field::SubExt;
}

// Output base from the output folder and EVObase; an empty folder means the current one.
std::string outputBase(Core& core) {
    std::string folder = core.window.fieldText(Field::Workdir);
    if (folder.empty()) return core.EVObase;
    if (folder.back() != '/') folder += '/';
    return folder + core.EVObase;
}

} // namespace

void bDemuxClick(Core& core) {
    RunScope scope(core);
    if (!scope.acquired()) return;
    WindowPort& window = core.window;

    window.setButtonEnabled(Button::Demux, false);
    window.showPage(Page::Status);
    std::string base = outputBase(core);
    core.videoFrameCount = {0, 0};

    // Continuation decision: FEATURE_1.EVO is followed by FEATURE_2.EVO in the same folder.
    const std::string sourcePath = window.fieldText(Field::EVOfile);
    bool firstPart = false;
    std::string nextPartPath;
    if (window.optionTicked(Option::Continue)) {
        firstPart = endsWith(core.EVOname, "_1.EVO");
        nextPartPath =
            (sourcePath.size() > 5 ? sourcePath.substr(0, sourcePath.size() - 5) : std::string()) + "2.EVO";
        if (firstPart && fileExists(nextPartPath)) base += "_2";
    }

    window.log("Opening file " + core.EVOname);
    window.slog("Opening", 0);
    SourceFileScope source(core);
    OutputSetScope outputs(core);
    source.open(sourcePath);
    logFileSize(core);

    for (int box : StreamBoxes::tiedBoxes()) {
        if (!core.boxes.ticked(box)) continue;
        std::string name = base + "." + captionForFileName(core.boxes[box].caption) + "." +
                           window.fieldText(extensionField(box));
        outputs.create(StreamBoxes::outputOf(box), name);
        window.log("Creating " + name);
    }

    window.slog("Writing stream(s)", 0);
    demux(core, kDemuxMode);

    // Everything is tested again now: the box, a cancel, the file.
    if (window.optionTicked(Option::Continue) && core.stopRequested == 0 && firstPart &&
        fileExists(nextPartPath)) {
        source.close();
        source.open(nextPartPath);
        window.log("Continue on " + fileNamePart(nextPartPath));
        demux(core, kDemuxMode);
    }

    source.close();
    outputs.closeAll();
    window.log("Done.");
    window.slog("Ready", 0);
    window.slog("", 1);
    ReportVideoFrames(core);
    window.setButtonEnabled(Button::Demux, true);
}

} // namespace vantrel
