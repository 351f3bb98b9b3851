// What the audio codecs' own headers say: AC-3 and E-AC-3 frame headers (the
// fields, the bit rate and frame length they give, and the window's search for
// a frame that the next syncword confirms), the DTS core frame header, the
// MLP/TrueHD major sync and the LPCM header. The disc survey, the mux and the
// window's audio report all read them here. No logging (audio_report.h does that).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vantrel {

// The fields of a frame header, read from the five bytes after the syncword
// 0x0B77, and the figures derived from them. Both formats are read at the same
// positions; each uses the fields that mean something in it.
struct DolbyFrame {
    std::uint32_t frmsiz = 0;     // E-AC-3: frame size in 16-bit words, less one (11 bits)
    std::uint32_t sampleRate = 0; // by fscod; 0 for the reserved code
    std::uint32_t bitRate = 0;    // AC-3: by frmsizecod; E-AC-3: computed (eac3BitRate)
    std::uint32_t blocks = 0;     // E-AC-3: audio blocks per frame, by numblkscod
    unsigned acmod = 0;           // channel mode
    unsigned lfeon = 0;           // E-AC-3: the LFE channel is on
    unsigned bsid = 0;            // bit stream id: 11..16 E-AC-3, otherwise AC-3
    unsigned bsmod = 0;           // AC-3: bit stream mode

    bool isEac3() const { return bsid > 10 && bsid <= 16; }
    // E-AC-3 frame length in bytes.
    std::uint32_t eac3FrameBytes() const { return (frmsiz + 1) * 2; }
};

// AC-3 nominal bit rate of a frame size code (frmsizecod, 6 bits); codes 38 to
// 63 lie past the table and give 0.
std::uint32_t ac3BitRate(std::uint32_t frmsizecod);
// AC-3 frame length in bytes: a frame holds 1536 samples, so bit rate / 8 ×
// 1536 / sample rate, in integer arithmetic (a 44.1 kHz frame comes out short).
std::uint32_t ac3FrameBytes(std::uint32_t bitRate, std::uint32_t sampleRate);
// E-AC-3 bit rate: the frame's bits, (frmsiz + 1) × 16, times frames per
// second at 48 kHz, 48000 / (256 × blocks) = (750 / blocks) / 4.
std::uint32_t eac3BitRate(std::uint32_t frmsiz, std::uint32_t blocks);
// The name of a channel mode ("1+1", "1/0", ... "3/2"), by acmod's low 3 bits.
const char* channelModeName(unsigned acmod);

// What the search through one run found: how many syncwords stood at the wrong
// distance from the one before ("no sync"), then the first confirmed frame.
struct DolbySearch {
    int wrongDistances = 0;
    std::optional<DolbyFrame> frame;
};

// Looks through run[0..length-1] for a frame whose next syncword follows at
// exactly its frame length. A sync is dropped without a word when the sample
// rate (or, for AC-3, the bit rate) is 0.
DolbySearch findDolbyFrame(const std::uint8_t* run, std::size_t length);

namespace codec {

// One frame of a compressed audio stream as its header gives it.
struct FrameHeader {
    std::size_t bytes = 0; // the whole frame
    int samples = 0;       // samples the frame adds to the stream's duration (0: a dependent part)
    int sampleRate = 0;
    int channels = 0; // 0 where the header does not tell it plainly
};

// Bytes a header below needs.
constexpr std::size_t kDolbyHeaderBytes = 7;
constexpr std::size_t kDtsHeaderBytes = 11;

// An AC-3 or E-AC-3 frame header at p (syncword 0x0B77); none when a field
// holds a reserved code. E-AC-3 frames add samples only when independent and
// of sub-stream 0; the others belong to that frame.
std::optional<FrameHeader> dolbyHeader(const std::uint8_t* p, std::size_t n);

// A DTS core frame header at p (sync 7F FE 80 01).
std::optional<FrameHeader> dtsCoreHeader(const std::uint8_t* p, std::size_t n);

// The MLP/TrueHD major sync: F8 72 6F BA (TrueHD) or BB (MLP), four bytes into
// an access unit.
enum class MajorSync { None, TrueHd, Mlp };
MajorSync majorSyncAt(const std::uint8_t* p, std::size_t n);
// The sample rate an access unit starting at `unit` gives when it carries a
// major sync; 0 when it has none or a reserved rate code.
int majorSyncSampleRate(const std::uint8_t* unit, std::size_t n);
// The 16-bit words of an access unit, from its first two bytes.
inline std::size_t accessUnitBytes(const std::uint8_t* unit) {
    return static_cast<std::size_t>((unit[0] & 0x0F) << 8 | unit[1]) * 2;
}
// Access units per second: 1200 in the 48 kHz family, 1102.5 in the 44.1 kHz one.
inline double accessUnitsPerSecond(int sampleRate) {
    return sampleRate % 48000 == 0 ? 1200.0 : 1102.5;
}

// LPCM as a private-stream-1 packet's header describes it.
struct LpcmFormat {
    int bits = 16; // 16, 20 or 24
    int sampleRate = 48000;
    int channels = 2;      // 1..8
    std::uint8_t code = 0; // the header byte the three fields come from

    // Bytes of one group: four samples for 20/24 bits, one sample frame for 16 bits.
    std::size_t groupBytes() const;
    // Samples in one group.
    int samplesPerGroup() const { return bits == 16 ? channels : 4; }
    // Bytes per sample in the little-endian output (2 or 3).
    int outputBytesPerSample() const { return bits == 16 ? 2 : 3; }
    // Bytes per second of the packed samples.
    double bytesPerSecond() const { return static_cast<double>(sampleRate) * channels * bits / 8.0; }
    bool operator==(const LpcmFormat& o) const {
        return bits == o.bits && sampleRate == o.sampleRate && channels == o.channels;
    }
};

// Reads the three header bytes after the frame count and first access unit
// pointer (emphasis/mute/frame number, the format byte, dynamic range). The
// format byte: bits 7-6 quantisation (0: 16, 1: 20, 2: 24 bits), bits 5-4 rate
// (48000, 96000, 44100, 32000), bit 3 must be clear (a set bit widens the rate
// field into codes no source describes), bits 2-0 channels - 1. Unknown codes
// give no format and a reason in `error`.
std::optional<LpcmFormat> parseLpcmHeader(const std::uint8_t* header, std::string& error);

} // namespace codec

} // namespace vantrel
