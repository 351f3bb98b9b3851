// Decoding the logo picture: libjpeg called directly on a JPEG held in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb; // width * height * 3 bytes, rows top to bottom
};

// Decodes a baseline or progressive JPEG (grey or colour) to RGB. Returns false,
// with the library's message in *error when given, for data libjpeg rejects;
// a damaged file never ends the program.
bool decodeJpeg(const std::uint8_t* data, std::size_t size, RgbImage& out, std::string* error = nullptr);

} // namespace vantrel
