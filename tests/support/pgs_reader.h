// Test-side reader of presentation graphics streams: splits them into display
// sets and decodes their objects, strictly (any inconsistency is an error), so
// tests and the fuzz target can compare what the converter wrote with what it read.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vantrel::test {

struct PgsEntry {
    bool set = false;
    std::uint8_t y = 0, cr = 0, cb = 0, alpha = 0;
};

struct PgsDisplaySet {
    std::uint32_t pts = 0;
    int frameWidth = 0, frameHeight = 0;
    std::uint8_t state = 0;
    bool shows = false; // one composition object; otherwise the set clears
    bool forced = false;
    int x = 0, y = 0, width = 0, height = 0;
    int objectSegments = 0;
    std::vector<std::uint8_t> pixels;
    std::array<PgsEntry, 256> palette{};
};

// Reads the whole stream; returns an empty string or the first problem found.
std::string readPgs(std::span<const std::uint8_t> data, std::vector<PgsDisplaySet>& sets);

} // namespace vantrel::test
