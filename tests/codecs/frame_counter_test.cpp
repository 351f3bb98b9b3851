#include "codecs/frame_counter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace vantrel;

namespace {

// The register as the frame counting defines it.
std::uint32_t registerCount(const std::vector<std::uint8_t>& run, std::size_t from, std::size_t length,
                            std::uint32_t code) {
    std::uint32_t reg = 0, found = 0;
    for (std::size_t i = from; i < from + length; ++i) {
        reg = (reg << 8) | run[i];
        if (reg == code) ++found;
    }
    return found;
}

} // namespace

TEST(FrameCounter, RunStartCompletesCodesWithTheZeroFilledRegister) {
    const std::vector<std::uint8_t> twoBytes{0x01, 0x00};
    EXPECT_EQ(countFrameStarts(twoBytes.data(), 2, 0x100), 1u);
    const std::vector<std::uint8_t> threeBytes{0x00, 0x01, 0x09, 0x00};
    EXPECT_EQ(countFrameStarts(threeBytes.data(), 4, 0x109), 1u);
    EXPECT_EQ(countFrameStarts(threeBytes.data() + 1, 3, 0x109), 1u);
    EXPECT_EQ(countFrameStarts(threeBytes.data() + 2, 2, 0x109), 0u) << "09 00 alone is no code";
    EXPECT_EQ(countFrameStarts(twoBytes.data(), 1, 0x100), 0u);
}

TEST(FrameCounter, AgreesWithTheRegisterAtEveryOffsetAndLength) {
    // Codes of every kind at every alignment, among zeros, ones and noise, so
    // that every vector lane and every tail length meets a code or half of one.
    std::vector<std::uint8_t> data;
    std::uint32_t s = 12345;
    for (int i = 0; i < 3000; ++i) {
        s = s * 1103515245u + 12345u;
        const std::uint32_t pick = (s >> 16) % 10;
        if (pick < 3) {
            const std::uint8_t codes[] = {0x00, 0x09, 0x0D, 0xB3};
            data.insert(data.end(), {0x00, 0x00, 0x01, codes[(s >> 8) % 4]});
        } else if (pick < 5) {
            data.push_back(0x00);
        } else if (pick < 6) {
            data.push_back(0x01);
        } else {
            data.push_back(static_cast<std::uint8_t>(s >> 24));
        }
    }
    for (std::uint32_t code : {0x100u, 0x109u, 0x10Du, 0x1B3u, 0x12345678u}) {
        for (std::size_t from = 0; from < 70; ++from)
            for (std::size_t length : {0u,  1u,  2u,  3u,  4u,  15u, 16u, 17u,  31u,   32u,
                                       33u, 63u, 64u, 65u, 66u, 67u, 68u, 130u, 1000u, 5000u})
                if (from + length <= data.size()) {
                    ASSERT_EQ(countFrameStarts(data.data() + from, length, code),
                              registerCount(data, from, length, code))
                        << "code " << code << " from " << from << " length " << length;
                }
    }
}
