#include "dolby_frame.h"

#include <array>

namespace vantrel {

namespace {

constexpr std::uint16_t kSyncword = 0x0B77;

// By fscod.
constexpr std::array<std::uint32_t, 4> kSampleRates = {48000, 44100, 32000, 0};

// The nominal rates of the AC-3 frame size codes, by frmsizecod / 2.
constexpr std::array<std::uint32_t, 19> kAc3BitRates = {
    32000,  40000,  48000,  56000,  64000,  80000,  96000,  112000, 128000, 160000,
    192000, 224000, 256000, 320000, 384000, 448000, 512000, 576000, 640000};

// By numblkscod.
constexpr std::array<std::uint32_t, 4> kBlocksPerFrame = {1, 2, 3, 6};

constexpr std::array<const char*, 8> kChannelModes = {"1+1", "1/0", "2/0", "3/0", "2/1", "3/1", "2/2", "3/2"};

} // namespace

std::uint32_t ac3BitRate(std::uint32_t frmsizecod) {
    const std::uint32_t i = frmsizecod >> 1;
    return i < kAc3BitRates.size() ? kAc3BitRates[i] : 0;
}

std::uint32_t ac3FrameBytes(std::uint32_t bitRate, std::uint32_t sampleRate) {
    return bitRate * 192 / sampleRate;
}

std::uint32_t eac3BitRate(std::uint32_t frmsiz, std::uint32_t blocks) {
    return ((750u / blocks) * ((frmsiz + 1) * 16)) >> 2;
}

const char* channelModeName(unsigned acmod) {
    return kChannelModes[acmod & 7];
}

DolbySearch findDolbyFrame(const std::uint8_t* run, std::size_t length) {
    DolbySearch result;
    DolbyFrame f;
    std::uint16_t lastTwo = 0;
    bool synced = false;        // a syncword has been seen and its frame length is under test
    int headerLeft = 0;         // header bytes still to read after the syncword
    std::int32_t frameLeft = 0; // countdown to where the next syncword must stand

    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t b = run[i];
        lastTwo = static_cast<std::uint16_t>((lastTwo << 8) | b);
        if (lastTwo == kSyncword) {
            if (!synced) {
                headerLeft = 5;
                synced = true;
            } else if (frameLeft == 5) {
                // At the second byte of a syncword that starts one frame length on.
                result.frame = f;
                return result;
            } else {
                ++result.wrongDistances;
                synced = false;
            }
        } else if (headerLeft > 0) {
            --headerLeft;
            switch (headerLeft) {
            case 4: f.frmsiz = static_cast<std::uint32_t>(b & 7) << 8; break;
            case 3: f.frmsiz |= b; break;
            case 2:
                f.sampleRate = kSampleRates[b >> 6];                          // fscod
                f.bitRate = ac3BitRate(static_cast<std::uint32_t>(b & 0x3F)); // frmsizecod
                f.blocks = kBlocksPerFrame[(b >> 4) & 3];                     // numblkscod
                f.acmod = (b >> 1) & 7u;
                f.lfeon = b & 1u;
                break;
            case 1:
                f.bsid = b >> 3;
                f.bsmod = b & 7u;
                break;
            default:
                if (f.isEac3()) {
                    if (f.sampleRate == 0) {
                        synced = false;
                    } else {
                        frameLeft = static_cast<std::int32_t>(f.eac3FrameBytes());
                        f.bitRate = eac3BitRate(f.frmsiz, f.blocks);
                    }
                } else {
                    f.acmod = b >> 5;
                    if (f.sampleRate == 0 || f.bitRate == 0)
                        synced = false;
                    else
                        frameLeft = static_cast<std::int32_t>(ac3FrameBytes(f.bitRate, f.sampleRate));
                }
                break;
            }
        }
        if (synced) --frameLeft;
    }
    return result;
}

} // namespace vantrel
