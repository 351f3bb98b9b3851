#include "file_layer.h"

#include "errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {

namespace {
constexpr std::size_t kOutputBuffer = 256 * 1024;

std::string systemError(int err) {
    return std::strerror(err);
}
} // namespace

std::string absolutePath(const std::string& path) {
    std::error_code ec;
    auto abs = std::filesystem::absolute(std::filesystem::path(path), ec);
    if (ec) return path;
    return abs.lexically_normal().string();
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

InputFile::InputFile(const std::string& path) : m_path(path) {
    int err = 0;
    if (path.empty()) {
        err = ENOENT;
    } else {
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0) err = errno;
    }
    struct stat st {};
    if (m_fd >= 0 && ::fstat(m_fd, &st) != 0) err = errno;
    if (m_fd >= 0 && err == 0 && S_ISDIR(st.st_mode)) err = EISDIR;
    if (err != 0) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
        throw Error("Cannot open file \"" + absolutePath(path) + "\". " + systemError(err));
    }
    m_size = static_cast<std::int64_t>(st.st_size);
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
}

InputFile::~InputFile() {
    if (m_fd >= 0) ::close(m_fd);
}

std::size_t InputFile::read(void* buffer, std::size_t n) {
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t got = 0;
    while (got < n) {
        ssize_t r = ::read(m_fd, out + got, n - got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break; // reads return what they got
        got += static_cast<std::size_t>(r);
    }
    m_position += static_cast<std::int64_t>(got);
    return got;
}

OutputFile::OutputFile(const std::string& path) : m_path(path) {
    int err = 0;
    if (path.empty()) {
        err = ENOENT;
    } else {
        m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (m_fd < 0) err = errno;
    }
    if (err != 0) throw Error("Cannot create file \"" + absolutePath(path) + "\". " + systemError(err));
}

OutputFile::~OutputFile() {
    try {
        close();
    } catch (...) {
        // A failing run already carries its error; a quiet close keeps it.
    }
}

void OutputFile::writeThrough(const unsigned char* data, std::size_t n) {
    while (n > 0) {
        std::size_t chunk = n;
        if (m_limit >= 0) {
            std::int64_t room = m_limit - m_onDisk;
            if (room <= 0) {
                m_failed = true;
                throw Error("Stream write error");
            }
            chunk = static_cast<std::size_t>(std::min<std::int64_t>(room, static_cast<std::int64_t>(chunk)));
        }
        ssize_t w = ::write(m_fd, data, chunk);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            m_failed = true;
            throw Error("Stream write error");
        }
        data += w;
        n -= static_cast<std::size_t>(w);
        m_onDisk += w;
    }
}

void OutputFile::write(const void* data, std::size_t n) {
    if (m_fd < 0 || m_failed) throw Error("Stream write error");
    const auto* bytes = static_cast<const unsigned char*>(data);
    m_written += static_cast<std::int64_t>(n);
    if (m_used + n <= kOutputBuffer) {
        if (!m_buffer) m_buffer.reset(new unsigned char[kOutputBuffer]);
        std::memcpy(m_buffer.get() + m_used, bytes, n);
        m_used += n;
        return;
    }
    flush();
    if (n >= kOutputBuffer) {
        writeThrough(bytes, n);
    } else {
        if (!m_buffer) m_buffer.reset(new unsigned char[kOutputBuffer]);
        std::memcpy(m_buffer.get(), bytes, n);
        m_used = n;
    }
}

void OutputFile::flush() {
    if (m_used == 0) return;
    std::size_t used = m_used;
    m_used = 0;
    writeThrough(m_buffer.get(), used);
}

void OutputFile::close() {
    if (m_fd < 0) return;
    bool failed = m_failed;
    if (!failed) {
        try {
            flush();
        } catch (...) {
            failed = true;
        }
    }
    int rc = ::close(m_fd);
    m_fd = -1;
    if (failed || rc != 0) throw Error("Stream write error");
}

} // namespace vantrel
