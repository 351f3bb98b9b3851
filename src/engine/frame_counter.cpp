#include "frame_counter.h"

#include "start_code_scan.h"

namespace vantrel {

std::uint32_t countFrameStarts(const std::uint8_t* run, std::size_t length, std::uint32_t code) {
    if ((code & 0xFFFFFF00u) != 0x00000100u) {
        // Not a start code: the register, byte by byte.
        std::uint32_t reg = 0;
        std::uint32_t found = 0;
        for (std::size_t i = 0; i < length; ++i) {
            reg = (reg << 8) | run[i];
            if (reg == code) ++found;
        }
        return found;
    }
    // The register starts at zero, so the run's first bytes complete the code
    // with the zeros in front of them: 01 xx at the start, or 00 01 xx.
    const auto last = static_cast<std::uint8_t>(code);
    std::uint32_t found = 0;
    if (length >= 2 && run[0] == 1 && run[1] == last) ++found;
    if (length >= 3 && run[0] == 0 && run[1] == 1 && run[2] == last) ++found;
    if (length > 3) found += scan::countCodes(run, length, last);
    return found;
}

} // namespace vantrel
