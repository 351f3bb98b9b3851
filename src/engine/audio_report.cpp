#include "audio_report.h"

#include <array>
#include <string>

namespace vantrel {

namespace {

constexpr std::array<std::uint32_t, 4> kSampleRates = {48000, 44100, 32000, 0};

// The nominal rates of the AC-3 frame size codes, by frmsizecod / 2. Codes 38
// to 63 lie past the table and read as 0, which drops the sync.
constexpr std::array<std::uint32_t, 19> kBitRates = {32000,  40000,  48000,  56000,  64000,  80000,  96000,
                                                     112000, 128000, 160000, 192000, 224000, 256000, 320000,
                                                     384000, 448000, 512000, 576000, 640000};

constexpr std::array<std::uint32_t, 4> kBlocks = {1, 2, 3, 6};

constexpr std::array<const char*, 8> kChannelModes = {"1+1", "1/0", "2/0", "3/0", "2/1", "3/1", "2/2", "3/2"};

std::uint32_t bitRateOf(std::uint32_t code) {
    return code < kBitRates.size() ? kBitRates[code] : 0;
}

} // namespace

void audioHeaderReport(WindowPort& window, const std::uint8_t* run, std::size_t length, int audioIndex) {
    std::uint16_t sync = 0;
    bool synced = false;
    bool done = false;
    int headerLeft = 0;
    std::int32_t frameLeft = 0;
    std::uint32_t frameSize = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t bitRate = 0;
    std::uint32_t blocks = 0;
    unsigned channelMode = 0;
    unsigned lfe = 0;
    unsigned bsid = 0;
    unsigned bsmod = 0;

    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t b = run[i];
        sync = static_cast<std::uint16_t>((sync << 8) | b);
        if (sync == 0x0B77) {
            if (!synced) {
                headerLeft = 5;
                synced = true;
            } else if (!done) {
                if (frameLeft == 5) {
                    done = true;
                    if (bsid > 10 && bsid <= 16) {
                        window.log("   Stream " + std::to_string(audioIndex) + " is Dolby Digital Plus");
                        window.log("   frame size = " + std::to_string((frameSize + 1) * 2) +
                                   ", number of blocks per frame = " + std::to_string(blocks));
                        window.log("   bitrate = " + std::to_string(bitRate) +
                                   ", sampling rate = " + std::to_string(sampleRate));
                        window.log(std::string("   mode = ") + kChannelModes[channelMode & 7] +
                                   ", bsid = " + std::to_string(bsid) + ", lfe on =" + std::to_string(lfe));
                    } else {
                        window.log("   Stream " + std::to_string(audioIndex) + " is Dolby Digital");
                        window.log("   bitrate = " + std::to_string(bitRate) +
                                   ", sampling rate = " + std::to_string(sampleRate));
                        window.log(std::string("   mode = ") + kChannelModes[channelMode & 7] +
                                   ", bsid = " + std::to_string(bsid) + ", bsmod =" + std::to_string(bsmod));
                    }
                } else {
                    window.log("no sync");
                    synced = false;
                }
            }
        } else if (headerLeft > 0) {
            --headerLeft;
            switch (headerLeft) {
            case 4: frameSize = static_cast<std::uint32_t>(b & 7) << 8; break;
            case 3: frameSize |= b; break;
            case 2:
                sampleRate = kSampleRates[b >> 6];
                bitRate = bitRateOf(static_cast<std::uint32_t>(b & 0x3F) >> 1);
                blocks = kBlocks[(b >> 4) & 3];
                channelMode = (b >> 1) & 7u;
                lfe = b & 1u;
                break;
            case 1:
                bsid = b >> 3;
                bsmod = b & 7u;
                break;
            default:
                if (bsid > 10 && bsid <= 16) {
                    if (sampleRate == 0) {
                        synced = false;
                    } else {
                        frameLeft = static_cast<std::int32_t>((frameSize + 1) * 2);
                        bitRate = ((750u / blocks) * ((frameSize + 1) * 16)) >> 2;
                    }
                } else {
                    channelMode = b >> 5;
                    if (sampleRate == 0 || bitRate == 0)
                        synced = false;
                    else
                        frameLeft = static_cast<std::int32_t>(bitRate * 192 / sampleRate);
                }
                break;
            }
        }
        if (synced && !done) --frameLeft;
    }
}

} // namespace vantrel
