// Dolby frame headers in an audio payload run: the AC-3 and E-AC-3 header
// fields, the bit rate and frame length they give, and the search for a frame
// that the next syncword confirms. No logging here (audio_report.h does that).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

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

} // namespace vantrel
