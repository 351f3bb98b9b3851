// Shared by the offscreen input tests and the tests under a window manager.
#pragma once

#include "support/sample_disc.h"
#include "ui/main_window.h"

namespace vantrel::uitest {

// Drops the disc's FEATURE_1.EVO on the log, the playlist memo, a box page, an
// edit and a path field, each time through Qt's own drop routing at a point
// inside that control: every drop loads the source, no memo or edit takes text.
void checkDropsOnEveryControl(TfMain& w, const test::SampleDisc& disc);

} // namespace vantrel::uitest
