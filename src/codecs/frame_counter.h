// Frame counting over one video payload run: a 32-bit register that starts at
// 0 for every run takes the run's bytes one by one, and every time it holds
// the frame start code (00 00 01 xx) one frame is counted. A code split across
// two runs is therefore matched only as far as the zero-filled register allows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantrel {

// Frames in run[0..length-1] for code (0x00000100, 0x00000109 or 0x0000010D:
// any 00 00 01 xx value).
std::uint32_t countFrameStarts(const std::uint8_t* run, std::size_t length, std::uint32_t code);

} // namespace vantrel
