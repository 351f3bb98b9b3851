#include "codec_facts.h"

#include "bit_reader.h"

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

namespace codec {

namespace {

// Full-bandwidth channels by acmod.
constexpr std::array<int, 8> kChannels = {2, 1, 2, 3, 3, 4, 4, 5};

} // namespace

std::optional<FrameHeader> dolbyHeader(const std::uint8_t* p, std::size_t n) {
    if (n < kDolbyHeaderBytes || p[0] != 0x0B || p[1] != 0x77) return std::nullopt;
    FrameHeader f;
    const unsigned bsid = p[5] >> 3;
    const unsigned fscod = p[4] >> 6;
    if (bsid <= 10) {
        const unsigned code = p[4] & 0x3F;
        const std::uint32_t kbps = ac3BitRate(code) / 1000;
        if (fscod == 3 || kbps == 0) return std::nullopt;
        // 16-bit words: 48 kHz 2 per kbit/s, 32 kHz 3, 44.1 kHz 320/147 and the odd code's extra word.
        std::size_t words = fscod == 0 ? kbps * 2 : fscod == 2 ? kbps * 3 : kbps * 320 / 147 + (code & 1);
        f.bytes = words * 2;
        f.samples = 1536;
        f.sampleRate = static_cast<int>(kSampleRates[fscod]);
        // After bsid and bsmod: acmod, the 2-bit mix levels and surround mode it calls for, the LFE bit.
        BitReader bits(p + 6, n - 6);
        const unsigned acmod = bits.u(3);
        if ((acmod & 1) != 0 && acmod != 1) bits.u(2); // cmixlev
        if ((acmod & 4) != 0) bits.u(2);               // surmixlev
        if (acmod == 2) bits.u(2);                     // dsurmod
        f.channels = kChannels[acmod] + static_cast<int>(bits.u(1));
        return f;
    }
    if (bsid > 16) return std::nullopt;
    const unsigned strmtyp = p[2] >> 6;
    const unsigned substream = (p[2] >> 3) & 7;
    if (strmtyp == 3) return std::nullopt;
    std::uint32_t blocks = 6;
    if (fscod == 3) {
        const unsigned fscod2 = (p[4] >> 4) & 3; // the reduced rates: half of each
        if (fscod2 == 3) return std::nullopt;
        f.sampleRate = static_cast<int>(kSampleRates[fscod2] / 2);
    } else {
        blocks = kBlocksPerFrame[(p[4] >> 4) & 3];
        f.sampleRate = static_cast<int>(kSampleRates[fscod]);
    }
    f.bytes = ((static_cast<std::size_t>(p[2] & 7) << 8 | p[3]) + 1) * 2;
    f.samples = strmtyp != 1 && substream == 0 ? static_cast<int>(blocks) * 256 : 0;
    f.channels = kChannels[(p[4] >> 1) & 7] + (p[4] & 1);
    return f;
}

std::optional<FrameHeader> dtsCoreHeader(const std::uint8_t* p, std::size_t n) {
    static constexpr std::array<int, 16> kRates = {0,     8000, 16000, 32000, 0,     0,     11025, 22050,
                                                   44100, 0,    0,     12000, 24000, 48000, 0,     0};
    // Channels by AMODE, for the codes that name a layout (16 and above are user
    // defined and tell nothing).
    static constexpr std::array<int, 16> kChannels = {1, 2, 2, 2, 2, 3, 3, 4, 4, 5, 6, 6, 6, 7, 8, 8};
    if (n < kDtsHeaderBytes || p[0] != 0x7F || p[1] != 0xFE || p[2] != 0x80 || p[3] != 0x01)
        return std::nullopt;
    // After the sync: frame type (1), deficit samples (5), CRC flag (1), NBLKS (7),
    // FSIZE (14), AMODE (6), SFREQ (4), RATE (5), a fixed bit and four flags; then
    // the extension id (3), its flag, ASPF and LFF (2): 1 or 2 is an LFE channel.
    BitReader bits(p + 4, kDtsHeaderBytes - 4);
    bits.u(1 + 5 + 1);
    const auto nblks = static_cast<int>(bits.u(7));
    const std::size_t fsize = bits.u(14) + 1;
    const unsigned amode = bits.u(6);
    const int rate = kRates[bits.u(4)];
    bits.u(5 + 5 + 3 + 1 + 1);
    const unsigned lff = bits.u(2);
    if (nblks < 5 || fsize < 96 || rate == 0) return std::nullopt;
    FrameHeader f;
    f.bytes = fsize;
    f.samples = (nblks + 1) * 32;
    f.sampleRate = rate;
    if (amode < kChannels.size() && lff != 3) f.channels = kChannels[amode] + (lff != 0 ? 1 : 0);
    return f;
}

MajorSync majorSyncAt(const std::uint8_t* p, std::size_t n) {
    if (n < 4 || p[0] != 0xF8 || p[1] != 0x72 || p[2] != 0x6F) return MajorSync::None;
    return p[3] == 0xBA ? MajorSync::TrueHd : p[3] == 0xBB ? MajorSync::Mlp : MajorSync::None;
}

int majorSyncSampleRate(const std::uint8_t* unit, std::size_t n) {
    static constexpr std::array<int, 16> kRates = {48000, 96000, 192000, 0, 0, 0, 0, 0,
                                                   44100, 88200, 176400, 0, 0, 0, 0, 0};
    if (n < 10) return 0;
    const MajorSync sync = majorSyncAt(unit + 4, n - 4);
    if (sync == MajorSync::None) return 0;
    // TrueHD: the rate code leads the byte after the sync; MLP: after the two bit depths.
    return kRates[(sync == MajorSync::TrueHd ? unit[8] : unit[9]) >> 4];
}

std::size_t LpcmFormat::groupBytes() const {
    const auto ch = static_cast<std::size_t>(channels);
    switch (bits) {
    case 16: return 2 * ch;
    case 20: return 4 * 2 + 2; // four high words, then two bytes of nibble pairs
    default: return 4 * 2 + 4; // 24: four high words, then one low byte per sample
    }
}

std::optional<LpcmFormat> parseLpcmHeader(const std::uint8_t* header, std::string& error) {
    // The rate codes as the DVD LPCM decoders of ffmpeg (pcm_dvd) and mkvmerge read them.
    static constexpr std::array<int, 4> kRates = {48000, 96000, 44100, 32000};
    const std::uint8_t b = header[1];
    const int quant = (b >> 6) & 3;
    if (quant == 3) {
        error = "unknown LPCM quantisation code 3";
        return std::nullopt;
    }
    if (b & 0x08) {
        error = "unknown LPCM sample rate code " + std::to_string((b >> 3) & 7);
        return std::nullopt;
    }
    LpcmFormat f;
    f.bits = 16 + 4 * quant;
    f.sampleRate = kRates[(b >> 4) & 3];
    f.channels = (b & 7) + 1;
    f.code = b;
    return f;
}

} // namespace codec

} // namespace vantrel
