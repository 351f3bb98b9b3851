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

// The start of the run's file names: "_2" for a first part that goes on.
std::string demuxBase(Core& core, const Continuation& continuation) {
    const std::string base = outputBase(core);
    return continuation.secondPartAtStart() ? continuedBase(base) : base;
}

// A box's file: BASE.CAPTION.EXT. A ticked box that a playlist read reset
// (its stream is not listed) shows the empty box's caption; its file takes
// the stream's own caption from the scan instead.
std::string demuxFileName(const Core& core, const std::string& base, int box) {
    std::string caption = core.boxes[box].caption;
    const std::string& scanned = core.scanCaptions[static_cast<std::size_t>(box)];
    if (caption == StreamBoxes::resetCaption(box) && !scanned.empty()) caption = scanned;
    return base + "." + captionForFileName(caption) + "." + core.window.fieldText(extensionField(box));
}

} // namespace

std::vector<std::string> demuxOutputNames(Core& core) {
    const Continuation continuation = decideContinuation(core, core.window.fieldText(Field::EVOfile));
    const std::string base = demuxBase(core, continuation);
    std::vector<std::string> names;
    for (int box : StreamBoxes::tiedBoxes())
        if (core.boxes.ticked(box)) names.push_back(demuxFileName(core, base, box));
    return names;
}

void bDemuxClick(Core& core) {
    RunScope scope(core);
    if (!scope.acquired()) return;
    WindowPort& window = core.window;

    window.setButtonEnabled(Button::Demux, false);
    window.showPage(Page::Status);
    core.videoFrameCount = {0, 0};

    const std::string sourcePath = window.fieldText(Field::EVOfile);
    const Continuation continuation = decideContinuation(core, sourcePath);
    const std::string base = demuxBase(core, continuation);

    window.log("Opening file " + core.EVOname);
    window.slog("Opening", 0);
    RunFiles files(core);
    if (continuation.firstPart) files.alsoReads(continuation.nextPartPath);
    files.openSource(sourcePath);
    logFileSize(core);

    for (int box : StreamBoxes::tiedBoxes()) {
        if (!core.boxes.ticked(box)) continue;
        const std::string name = demuxFileName(core, base, box);
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
