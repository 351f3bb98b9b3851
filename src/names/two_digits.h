// Whole numbers with at least two digits ("03", "15", "120"), as the box names,
// the box captions and the clock times show them.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace vantrel {

inline std::string twoDigits(int n) {
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%02d", n);
    return std::string(text, static_cast<std::size_t>(length));
}

} // namespace vantrel
