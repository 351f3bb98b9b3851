#include "click_handlers.h"

namespace vantrel {

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

} // namespace vantrel
