// Writes PCM as a WAV file while it streams in: the header is written with
// room to spare and filled in when the file is finished. A file whose data
// passes the 32-bit RIFF sizes is turned into RF64 then (the reserved JUNK
// chunk becomes the ds64 chunk), so the samples never have to be copied.
#pragma once

#include "files/file_layer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vantrel::mux {

struct WavFormat {
    int sampleRate = 48000;
    int channels = 2;
    int containerBits = 16; // 16 or 24: bytes per sample in the file times 8
    int validBits = 16;     // 16, 20 or 24
};

// The speaker mask for a channel count (1..8) in the usual WAV order.
std::uint32_t defaultChannelMask(int channels);

// The header bytes for a given data size: plain PCM for up to two channels of
// whole bytes, WAVE_FORMAT_EXTENSIBLE with the channel mask otherwise; RF64
// when `rf64` is set.
std::vector<std::uint8_t> wavHeader(const WavFormat& format, std::uint64_t dataBytes, bool rf64);

class WavWriter {
public:
    // Creates the file (Error "Cannot create file ..." when it cannot).
    WavWriter(const std::string& path, const WavFormat& format);
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    void write(const std::uint8_t* data, std::size_t n);
    // Writes the pad byte and the final header; RF64 when the sizes need it or
    // when forced (tests use that to try the RF64 header on small files).
    void finish(bool forceRf64 = false);
    std::uint64_t dataBytes() const { return m_dataBytes; }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    WavFormat m_format;
    std::unique_ptr<OutputFile> m_file;
    std::uint64_t m_dataBytes = 0;
};

} // namespace vantrel::mux
