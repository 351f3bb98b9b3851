#include "engine/continuation.h"
#include "engine/output_base.h"
#include "engine/pack_loop.h"
#include "engine/progress_text.h"
#include "engine/run_files.h"
#include "engine/run_scope.h"
#include "runs.h"

namespace vantrel {

namespace {

// A caption names a file inside the output folder, never a path: every "/"
// becomes "_" in the name (the box keeps its caption).
std::string captionForFileName(std::string caption) {
    for (char& c : caption)
        if (c == '/') c = '_';
    return caption;
}

Field extensionField(int box) {
    switch (StreamBoxes::kindOf(box)) {
    case StreamKind::Video: return Field::VideoExt;
    case StreamKind::Audio: return Field::AudioExt;
    default: return Field::SubExt;
    }
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

    const std::string sourcePath = window.fieldText(Field::EVOfile);
    const Continuation continuation = decideContinuation(core, sourcePath);
    if (continuation.secondPartAtStart()) base = continuedBase(base);

    window.log("Opening file " + core.EVOname);
    window.slog("Opening", 0);
    RunFiles files(core);
    if (continuation.firstPart) files.alsoReads(continuation.nextPartPath);
    files.openSource(sourcePath);
    logFileSize(core);

    for (int box : StreamBoxes::tiedBoxes()) {
        if (!core.boxes.ticked(box)) continue;
        std::string name = base + "." + captionForFileName(core.boxes[box].caption) + "." +
                           window.fieldText(extensionField(box));
        files.createOutput(StreamBoxes::outputOf(box), name);
        window.log("Creating " + name);
    }

    window.slog("Writing stream(s)", 0);
    demux(core, RunMode::Demux);

    // Everything is tested again now: the box, a cancel, the file.
    if (continuation.continueOn(core, files)) demux(core, RunMode::Demux);

    files.closeAll();
    logRunDone(window);
    ReportVideoFrames(core);
    window.setButtonEnabled(Button::Demux, true);
}

} // namespace vantrel
