// One run at a time: the guard a run handler takes first.
#pragma once

#include "core.h"

namespace vantrel {

// Guards a run handler: false when another run is active (the click does nothing).
class RunScope {
public:
    explicit RunScope(Core& core) : m_core(core), m_owner(!core.runActive) {
        if (m_owner) core.runActive = true;
    }
    ~RunScope() {
        if (m_owner) m_core.runActive = false;
    }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;
    bool acquired() const { return m_owner; }

private:
    Core& m_core;
    bool m_owner;
};

} // namespace vantrel
