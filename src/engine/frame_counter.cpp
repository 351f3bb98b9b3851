#include "frame_counter.h"

namespace vantrel {

std::uint32_t countFrameStarts(const std::uint8_t* run, std::size_t length, std::uint32_t code) {
    std::uint32_t reg = 0;
    std::uint32_t found = 0;
    for (std::size_t i = 0; i < length; ++i) {
        reg = (reg << 8) | run[i];
        if (reg == code) ++found;
    }
    return found;
}

} // namespace vantrel
