#include "core.h"

#include "click_handlers.h"

namespace vantrel {

Core::Core(WindowPort& w) : window(w) {
    boxes.onChanged = [this](int box) { window.boxChanged(box); };
    boxes.onTickChanged = [this](int) { cbVideoClick(*this); };
}

} // namespace vantrel
