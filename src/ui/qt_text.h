// The one conversion of the core's 8-bit texts into the window's strings.
#pragma once

#include <QString>

#include <string>

namespace vantrel {

inline QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace vantrel
