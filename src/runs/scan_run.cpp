#include "engine/click_handlers.h"
#include "engine/pack_loop.h"
#include "engine/progress_text.h"
#include "engine/run_files.h"
#include "engine/run_scope.h"
#include "names/two_digits.h"
#include "runs.h"

namespace vantrel {

namespace {

// Kind name of a box's stream followed by the box's own suffix (".0", ".03").
std::string scanCaption(int box, std::int32_t code) {
    const int i = StreamBoxes::indexOf(box);
    switch (StreamBoxes::kindOf(box)) {
    case StreamKind::Video: return VideoStreamName(code) + "." + std::to_string(i);
    case StreamKind::Audio: return AudioStreamName(code) + "." + twoDigits(i);
    default: return SubpictureStreamName(code) + "." + twoDigits(i);
    }
}

// One box per slot of the table: enabled and ticked exactly when the slot holds
// a stream; a tick that changes runs the boxes' click handler.
void labelBoxes(Core& core) {
    for (int box : StreamBoxes::tiedBoxes()) {
        std::int32_t code = core.streamTable[StreamBoxes::slotOf(box)];
        bool found = code >= 0;
        core.boxes.setEnabled(box, found);
        core.boxes.setTicked(box, found);
        if (found) core.boxes.setCaption(box, scanCaption(box, code));
        core.scanCaptions[static_cast<std::size_t>(box)] = found ? scanCaption(box, code) : std::string();
    }
}

} // namespace

void bCheckClick(Core& core) {
    RunScope scope(core);
    if (!scope.acquired()) return;
    WindowPort& window = core.window;

    window.setButtonEnabled(Button::Check, false);
    Resetcbs(core);
    window.showPage(Page::Status);
    core.videoFrameCount = {0, 0};
    window.log("Opening file " + core.EVOname);
    window.slog("Opening", 0);
    {
        RunFiles files(core);
        files.openSource(window.fieldText(Field::EVOfile));
        window.slog("Reading", 0);
        logFileSize(core);
        demux(core, RunMode::Scan);
        files.closeAll();
    }
    labelBoxes(core);
    logRunDone(window);
    ReportVideoFrames(core);
    window.setButtonEnabled(Button::Check, true);
}

} // namespace vantrel
