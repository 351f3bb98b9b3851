#include "final_name.h"

#include "errors.h"
#include "file_layer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/file.h>
#include <unistd.h>

namespace vantrel {

namespace {
namespace fs = std::filesystem;

// ".NAME.tmp-": what every temporary of the output NAME begins with.
std::string temporaryPrefix(const std::string& output) {
    std::string prefix = ".";
    prefix += fs::path(output).filename().string();
    prefix += ".tmp-";
    return prefix;
}
} // namespace

std::string temporaryPattern(const std::string& output) {
    fs::path dir = fs::path(output).parent_path();
    if (dir.empty()) dir = ".";
    return (dir / (temporaryPrefix(output) + "XXXXXX")).string();
}

std::string createTemporaryFile(const std::string& output) {
    const std::string pattern = temporaryPattern(output);
    const std::string stem = pattern.substr(0, pattern.size() - 6);
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = stem;
        for (int i = 0; i < 6; ++i) path += kLetters[random() % (sizeof kLetters - 1)];
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST) throw Error::cannotCreate(absolutePath(path), std::strerror(errno));
    }
    throw Error::cannotCreate(absolutePath(pattern), std::strerror(EEXIST));
}

TemporaryLock::TemporaryLock(const std::string& path) {
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (m_fd < 0) return;
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        m_busy = errno == EWOULDBLOCK;
        ::close(m_fd);
        m_fd = -1;
    }
}

TemporaryLock::~TemporaryLock() {
    if (m_fd >= 0) ::close(m_fd);
}

TemporaryLock::TemporaryLock(TemporaryLock&& other) noexcept : m_fd(other.m_fd), m_busy(other.m_busy) {
    other.m_fd = -1;
}

TemporaryLock& TemporaryLock::operator=(TemporaryLock&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = other.m_fd;
        m_busy = other.m_busy;
        other.m_fd = -1;
    }
    return *this;
}

std::vector<LeftTemporary> temporariesOf(const std::string& output) {
    std::vector<LeftTemporary> found;
    fs::path dir = fs::path(output).parent_path();
    if (dir.empty()) dir = ".";
    const std::string prefix = temporaryPrefix(output);
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
        const std::string name = e.path().filename().string();
        // The prefix and mkdtemp's six characters, nothing else.
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
        LeftTemporary t;
        t.path = e.path().string();
        if (fs::exists(e.path() / kKeptMarker, ec)) continue;
        const int fd = ::open(t.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd >= 0) {
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
                t.state = LeftTemporary::State::Left;
            else if (errno == EWOULDBLOCK)
                t.state = LeftTemporary::State::InUse;
            ::close(fd);
        }
        found.push_back(t);
    }
    return found;
}

int renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    const int err = errno;
    if (err != EINVAL && err != ENOSYS && err != EOPNOTSUPP) return err;
    // A file system without that rename: a second name, which is refused where one exists.
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    if (::unlink(from.c_str()) != 0) {
        const int unlinkErr = errno;
        ::unlink(to.c_str());
        return unlinkErr;
    }
    return 0;
}

} // namespace vantrel
