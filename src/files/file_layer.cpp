#include "file_layer.h"

#include "disc_image.h"
#include "errors.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {

namespace {
constexpr std::size_t kOutputBuffer = std::size_t{256} * 1024;

std::string systemError(int err) {
    return std::strerror(err);
}

FileIdentity identityOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

bool isBusy(std::span<const FileIdentity> busy, const FileIdentity& id) {
    return std::find(busy.begin(), busy.end(), id) != busy.end();
}

// Opened without blocking so that a FIFO cannot hold the open for ever; once
// the file is known to be regular, its reads and writes block as usual.
bool clearNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}
} // namespace

std::string absolutePath(const std::string& path) {
    std::error_code ec;
    auto abs = std::filesystem::absolute(std::filesystem::path(path), ec);
    if (ec) return path;
    return abs.lexically_normal().string();
}

bool fileExists(const std::string& path) {
    return regularFileIdentity(path).has_value();
}

void setUpFileLayer() {
    std::signal(SIGXFSZ, SIG_IGN);
}

std::optional<FileIdentity> regularFileIdentity(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return identityOf(st);
}

InputFile::InputFile(const std::string& path, std::span<const FileIdentity> busy) : m_path(path) {
    auto fail = [&](const std::string& why) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
        throw Error::cannotOpen(absolutePath(path), why);
    };
    if (path.empty()) fail(systemError(ENOENT));
    m_fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) fail(systemError(errno));
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) fail(systemError(errno));
    if (S_ISDIR(st.st_mode)) fail(systemError(EISDIR));
    if (!S_ISREG(st.st_mode)) fail("Not a regular file");
    m_identity = identityOf(st);
    if (isBusy(busy, m_identity)) fail(systemError(EBUSY));
    if (!clearNonBlocking(m_fd)) fail(systemError(errno));
    m_size = static_cast<std::int64_t>(st.st_size);
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
}

InputFile::~InputFile() {
    if (m_fd >= 0) ::close(m_fd);
}

std::size_t InputFile::read(void* buffer, std::size_t n) {
    const auto left = static_cast<std::uint64_t>(m_size - m_position);
    if (n > left) n = static_cast<std::size_t>(left);
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::read(m_fd, out + got, n - got);
        if (r > 0) {
            got += static_cast<std::size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        // A failed read is never taken for the end of the file, and neither is
        // an end that comes before the size the file had at the open.
        const int err = r < 0 ? errno : 0;
        m_position += static_cast<std::int64_t>(got);
        const std::string why = err != 0 ? systemError(err)
                                         : "The file ended at byte " + std::to_string(m_position) + " of " +
                                               std::to_string(m_size);
        throw Error::cannotRead(absolutePath(m_path), why);
    }
    m_position += static_cast<std::int64_t>(got);
    return got;
}

void ByteSource::seek(std::int64_t /*offset*/) {
    throw Error::cannotRead(absolutePath(path()), systemError(ESPIPE));
}

void InputFile::seek(std::int64_t offset) {
    if (offset < 0 || offset > m_size || ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) != offset)
        throw Error::cannotRead(absolutePath(m_path), systemError(EINVAL));
    m_position = offset;
}

OutputFile::OutputFile(const std::string& path, std::span<const FileIdentity> busy) : m_path(path) {
    auto fail = [&](const std::string& why) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
        throw Error::cannotCreate(absolutePath(path), why);
    };
    if (path.empty()) fail(systemError(ENOENT));
    // Not cut to length 0 yet: the name may lead to a file that this run reads
    // or writes, which must not lose a byte.
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (m_fd < 0) fail(systemError(errno));
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) fail(systemError(errno));
    if (S_ISREG(st.st_mode)) {
        m_identity = identityOf(st);
        m_linked = st.st_nlink > 0;
        if (isBusy(busy, *m_identity)) fail(systemError(EBUSY));
        // Only a file with bytes is cut: cutting an empty one would make some
        // file systems (ext4) flush the whole file at its close.
        if (st.st_size > 0 && ::ftruncate(m_fd, 0) != 0) fail(systemError(errno));
        if (!clearNonBlocking(m_fd)) fail(systemError(errno));
    } else if (!S_ISCHR(st.st_mode)) {
        // A device (/dev/null) takes writes as they come; a FIFO or a block
        // device is never written to.
        fail("Not a regular file");
    }
}

OutputFile::~OutputFile() {
    try {
        close();
    } catch (...) {
        // A failing run already carries its error; a quiet close keeps it.
    }
}

Error OutputFile::writeError() const {
    return Error::writeFailed(absolutePath(m_path), m_error != 0 ? systemError(m_error) : std::string());
}

void OutputFile::writeFailed(int err) {
    m_failed = true;
    m_error = err;
    throw writeError();
}

void OutputFile::writeThrough(const unsigned char* data, std::size_t n) {
    while (n > 0) {
        std::size_t chunk = n;
        if (m_limit >= 0) {
            std::int64_t room = m_limit - m_onDisk;
            if (room <= 0) writeFailed(ENOSPC);
            chunk = static_cast<std::size_t>(std::min<std::int64_t>(room, static_cast<std::int64_t>(chunk)));
        }
        ssize_t w = ::write(m_fd, data, chunk);
        if (w < 0 && errno == EINTR) continue;
        // A write that takes no byte without an error: the device is full.
        if (w <= 0) writeFailed(w < 0 ? errno : ENOSPC);
        data += w;
        n -= static_cast<std::size_t>(w);
        m_onDisk += w;
    }
}

void OutputFile::write(const void* data, std::size_t n) {
    if (m_fd < 0 || m_failed) throw writeError();
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
    // A file that had a name at the open and has none now (its folder was
    // removed while it was written) keeps none of its bytes.
    if (!failed && m_linked) {
        struct stat st {};
        failed = ::fstat(m_fd, &st) != 0 || st.st_nlink == 0;
    }
    int rc = ::close(m_fd);
    m_fd = -1;
    if (failed || rc != 0) throw writeError();
}

std::unique_ptr<ByteSource> openSource(const std::string& path) {
    if (const std::optional<ImagePath> inImage = splitImagePath(path); inImage && inImage->inner != "/")
        return openImageFile(*inImage);
    return std::make_unique<InputFile>(path);
}

} // namespace vantrel
