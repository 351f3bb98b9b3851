// Deriving names and folders from the two path fields after a choice or a drop.
#pragma once

#include "engine/core.h"

namespace vantrel {

// From the text of the EVO field: EVOname, EVObase, EVOdir, the playlist of a
// disc folder, and the enabled state of "Read EVO" and "Read XPL".
void EVOadj(Core& core);
// From the text of the XPL field: XPLname, XPLdir, "Read XPL", the EVO dialog's folder.
void XPLadj(Core& core);

} // namespace vantrel
