#include "wav_writer.h"

#include "files/errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace vantrel::mux {

namespace {

constexpr std::uint32_t kJunkPayload = 28; // the size of a ds64 chunk without a table
constexpr std::uint64_t kRiffLimit = 0xFFFFFFFFull;

void put16(std::vector<std::uint8_t>& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void put64(std::vector<std::uint8_t>& b, std::uint64_t v) {
    put32(b, static_cast<std::uint32_t>(v));
    put32(b, static_cast<std::uint32_t>(v >> 32));
}
void putTag(std::vector<std::uint8_t>& b, const char* tag) {
    // Byte by byte: GCC 12 misreads a 4-byte range insert as an overflow (-Wstringop-overflow).
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(tag[i]));
}

bool extensible(const WavFormat& f) {
    return f.channels > 2 || f.containerBits > 16;
}

} // namespace

std::uint32_t defaultChannelMask(int channels) {
    static constexpr std::uint32_t kMasks[9] = {0, 0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x13F, 0x63F};
    return channels >= 1 && channels <= 8 ? kMasks[channels] : 0;
}

std::vector<std::uint8_t> wavHeader(const WavFormat& f, std::uint64_t dataBytes, bool rf64) {
    const bool ext = extensible(f);
    const std::uint32_t fmtSize = ext ? 40 : 16;
    const std::uint32_t blockAlign = static_cast<std::uint32_t>(f.channels * f.containerBits / 8);
    const std::uint64_t pad = dataBytes & 1;
    const std::uint64_t riffSize = 4 + (8 + kJunkPayload) + (8 + fmtSize) + 8 + dataBytes + pad;

    std::vector<std::uint8_t> b;
    putTag(b, rf64 ? "RF64" : "RIFF");
    put32(b, rf64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(riffSize));
    putTag(b, "WAVE");
    putTag(b, rf64 ? "ds64" : "JUNK");
    put32(b, kJunkPayload);
    if (rf64) {
        put64(b, riffSize);
        put64(b, dataBytes);
        put64(b, blockAlign ? dataBytes / blockAlign : 0);
        put32(b, 0); // no table
    } else {
        b.insert(b.end(), kJunkPayload, 0);
    }
    putTag(b, "fmt ");
    put32(b, fmtSize);
    put16(b, ext ? 0xFFFE : 1);
    put16(b, static_cast<std::uint32_t>(f.channels));
    put32(b, static_cast<std::uint32_t>(f.sampleRate));
    put32(b, static_cast<std::uint32_t>(f.sampleRate) * blockAlign);
    put16(b, blockAlign);
    put16(b, static_cast<std::uint32_t>(f.containerBits));
    if (ext) {
        put16(b, 22);
        put16(b, static_cast<std::uint32_t>(f.validBits));
        put32(b, defaultChannelMask(f.channels));
        // KSDATAFORMAT_SUBTYPE_PCM
        static constexpr std::uint8_t kPcmGuid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                      0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        b.insert(b.end(), kPcmGuid, kPcmGuid + 16);
    }
    putTag(b, "data");
    put32(b, rf64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(dataBytes));
    return b;
}

WavWriter::WavWriter(const std::string& path, const WavFormat& format)
    : m_path(path), m_format(format), m_file(std::make_unique<OutputFile>(path)) {
    const auto header = wavHeader(m_format, 0, false);
    m_file->write(header.data(), header.size());
}

WavWriter::~WavWriter() = default;

void WavWriter::write(const std::uint8_t* data, std::size_t n) {
    m_file->write(data, n);
    m_dataBytes += n;
}

void WavWriter::finish(bool forceRf64) {
    if (m_dataBytes & 1) {
        const std::uint8_t zero = 0;
        m_file->write(&zero, 1);
    }
    m_file->close();
    const auto plain = wavHeader(m_format, 0, false);
    const bool rf64 = forceRf64 || m_dataBytes + plain.size() + 1 > kRiffLimit;
    const auto header = wavHeader(m_format, m_dataBytes, rf64);
    const int fd = ::open(m_path.c_str(), O_WRONLY | O_CLOEXEC);
    // The file is an output being finished: failing to open it again is an output failure.
    if (fd < 0)
        throw Error(ErrorKind::Output, "Cannot open file \"" + m_path + "\". " + std::strerror(errno),
                    m_path);
    const ssize_t w = ::pwrite(fd, header.data(), header.size(), 0);
    int err = w < 0 ? errno : w == static_cast<ssize_t>(header.size()) ? 0 : ENOSPC;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err != 0) throw Error::writeFailed(absolutePath(m_path), std::strerror(err));
}

} // namespace vantrel::mux
