#include "disc_image.h"

#include "errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <udfread/blockinput.h>
#include <udfread/udfread.h>
}

namespace vantrel {

namespace {

constexpr std::int64_t kBlock = UDF_BLOCK_SIZE;

Error openFailure(const std::string& path, const std::string& why) {
    return Error::cannotOpen(absolutePath(path), why);
}

// An ISO 9660 or UDF volume recognition sequence at byte 32768.
bool recognitionAt(int fd) {
    char id[6] = {};
    if (::pread(fd, id, sizeof id, 32768) != static_cast<ssize_t>(sizeof id)) return false;
    const std::string tag(id + 1, 5);
    return tag == "CD001" || tag == "BEA01" || tag == "NSR02" || tag == "NSR03";
}

// The image file or device, read by blocks for libudfread. It remembers why a
// read came up short, so that the file reading through it can say so.
class ImageInput {
public:
    explicit ImageInput(const std::string& path) : m_path(path) {
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0) throw openFailure(path, std::strerror(errno));
        struct stat st {};
        if (::fstat(m_fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) {
            const int err = errno;
            ::close(m_fd);
            throw openFailure(path, S_ISDIR(st.st_mode) ? std::strerror(EISDIR)
                                    : err != 0          ? std::strerror(err)
                                                        : "Not a regular file");
        }
        m_identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
        // A device reports its size through its end, not through stat.
        const off_t end = ::lseek(m_fd, 0, SEEK_END);
        m_size = end > 0 ? static_cast<std::int64_t>(end) : 0;
        m_block.base.close = nullptr;
        m_block.base.read = &ImageInput::readBlocks;
        m_block.base.size = &ImageInput::sizeInBlocks;
        m_block.owner = this;
    }
    ~ImageInput() { ::close(m_fd); }
    ImageInput(const ImageInput&) = delete;
    ImageInput& operator=(const ImageInput&) = delete;

    udfread_block_input* input() { return &m_block.base; }
    int fd() const { return m_fd; }
    FileIdentity identity() const { return m_identity; }
    std::int64_t size() const { return m_size; }
    const std::string& path() const { return m_path; }
    // Why the last read came up short: an errno, or 0 when the image ended.
    int lastError() const { return m_lastError; }
    bool readPastEnd() const { return m_pastEnd; }
    void clearFailure() {
        m_lastError = 0;
        m_pastEnd = false;
    }

private:
    // libudfread hands back the block input it was given: the first member of a BlockInput.
    static ImageInput* self(udfread_block_input* in) { return reinterpret_cast<BlockInput*>(in)->owner; }
    static int readBlocks(udfread_block_input* in, uint32_t lba, void* buf, uint32_t blocks, int /*flags*/);
    static uint32_t sizeInBlocks(udfread_block_input* in) {
        return static_cast<uint32_t>(self(in)->m_size / kBlock);
    }

    struct BlockInput {
        udfread_block_input base;
        ImageInput* owner;
    };
    BlockInput m_block{};
    int m_fd = -1;
    std::int64_t m_size = 0;
    std::string m_path;
    FileIdentity m_identity;
    int m_lastError = 0;
    bool m_pastEnd = false;
};

int ImageInput::readBlocks(udfread_block_input* in, uint32_t lba, void* buf, uint32_t blocks, int) {
    ImageInput& image = *self(in);
    auto* out = static_cast<unsigned char*>(buf);
    const std::int64_t want = static_cast<std::int64_t>(blocks) * kBlock;
    const std::int64_t at = static_cast<std::int64_t>(lba) * kBlock;
    std::int64_t got = 0;
    while (got < want) {
        const ssize_t r = ::pread(image.m_fd, out + got, static_cast<std::size_t>(want - got), at + got);
        if (r > 0) {
            got += r;
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0)
            image.m_lastError = errno;
        else
            image.m_pastEnd = true;
        break;
    }
    const auto whole = static_cast<int>(got / kBlock);
    return whole > 0 ? whole : (got == want ? 0 : -1);
}

} // namespace

// One opened UDF file system; the files opened in it keep it alive.
class UdfVolume {
public:
    explicit UdfVolume(const std::string& image) : m_input(image) {
        if (m_input.size() == 0) throw openFailure(image, "An empty file (0 bytes), not a disc image");
        // Checked here first: libudfread prints its own complaint for any other file.
        if (!recognitionAt(m_input.fd())) throw openFailure(image, "Not a UDF disc image");
        m_udf = udfread_init();
        if (m_udf == nullptr) throw openFailure(image, std::strerror(ENOMEM));
        if (udfread_open_input(m_udf, m_input.input()) < 0) {
            udfread_close(m_udf);
            m_udf = nullptr;
            std::string why = "Not a UDF disc image";
            if (m_input.lastError() != 0)
                why = std::strerror(m_input.lastError());
            else if (m_input.readPastEnd())
                why = "The disc image is cut short: it ends at byte " + std::to_string(m_input.size()) +
                      ", before the end of its file system";
            throw openFailure(image, why);
        }
    }
    ~UdfVolume() {
        if (m_udf != nullptr) udfread_close(m_udf);
    }
    UdfVolume(const UdfVolume&) = delete;
    UdfVolume& operator=(const UdfVolume&) = delete;

    udfread* udf() { return m_udf; }
    ImageInput& input() { return m_input; }

private:
    ImageInput m_input;
    udfread* m_udf = nullptr;
};

namespace {

// The volumes that the innermost VolumeScope of this thread holds open.
thread_local std::vector<std::shared_ptr<UdfVolume>>* t_held = nullptr;

std::optional<FileIdentity> identityOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::shared_ptr<UdfVolume> heldVolume(const std::string& image) {
    if (t_held == nullptr) return nullptr;
    const std::optional<FileIdentity> id = identityOf(image);
    if (!id) return nullptr;
    for (const auto& v : *t_held)
        if (v->input().identity() == *id) return v;
    return nullptr;
}

// The image's volume: the one held when a scope holds it, else opened now
// (and held from now on when a scope is open).
std::shared_ptr<UdfVolume> volumeOf(const std::string& image) {
    if (auto held = heldVolume(image)) return held;
    auto volume = std::make_shared<UdfVolume>(image);
    if (t_held != nullptr) t_held->push_back(volume);
    return volume;
}

class ImageFile : public ByteSource {
public:
    ImageFile(std::shared_ptr<UdfVolume> volume, const ImagePath& at)
        : m_volume(std::move(volume)), m_path(at.image + at.inner) {
        m_file = udfread_file_open(m_volume->udf(), at.inner.c_str());
        if (m_file == nullptr) {
            UDFDIR* dir = udfread_opendir(m_volume->udf(), at.inner.c_str());
            if (dir != nullptr) udfread_closedir(dir);
            throw openFailure(m_path, std::strerror(dir != nullptr ? EISDIR : ENOENT));
        }
        m_size = udfread_file_size(m_file);
        if (m_size < 0) {
            udfread_file_close(m_file);
            throw openFailure(m_path, std::strerror(EIO));
        }
    }
    ~ImageFile() override { udfread_file_close(m_file); }
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    std::int64_t size() const override { return m_size; }
    std::int64_t position() const override { return m_position; }
    const std::string& path() const override { return m_path; }

    std::size_t read(void* buffer, std::size_t n) override {
        const auto left = static_cast<std::uint64_t>(m_size - m_position);
        if (n > left) n = static_cast<std::size_t>(left);
        auto* out = static_cast<unsigned char*>(buffer);
        std::size_t got = 0;
        ImageInput& input = m_volume->input();
        input.clearFailure();
        while (got < n) {
            const ssize_t r = udfread_file_read(m_file, out + got, n - got);
            if (r > 0) {
                got += static_cast<std::size_t>(r);
                continue;
            }
            // As for a file on disk: a failed read is never the end, and the
            // image ending inside the file is a cut file.
            m_position += static_cast<std::int64_t>(got);
            const int err = input.lastError();
            const std::string why = err != 0 ? std::strerror(err)
                                             : "The file ended at byte " + std::to_string(m_position) +
                                                   " of " + std::to_string(m_size);
            throw Error::cannotRead(absolutePath(m_path), why);
        }
        m_position += static_cast<std::int64_t>(got);
        return got;
    }

    void seek(std::int64_t offset) override {
        if (offset < 0 || offset > m_size || udfread_file_seek(m_file, offset, UDF_SEEK_SET) != offset)
            throw Error::cannotRead(absolutePath(m_path), std::strerror(EINVAL));
        m_position = offset;
    }

private:
    std::shared_ptr<UdfVolume> m_volume;
    UDFFILE* m_file = nullptr;
    std::int64_t m_size = 0;
    std::int64_t m_position = 0;
    std::string m_path;
};

bool isImageContainer(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode));
}

} // namespace

std::optional<ImagePath> splitImagePath(const std::string& path) {
    if (path.empty()) return std::nullopt;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISBLK(st.st_mode)) return ImagePath{path, "/"};
        return std::nullopt;
    }
    for (std::size_t cut = path.find('/', 1); cut != std::string::npos; cut = path.find('/', cut + 1)) {
        const std::string head = path.substr(0, cut);
        if (::stat(head.c_str(), &st) != 0) return std::nullopt;
        if (S_ISDIR(st.st_mode)) continue;
        if (!isImageContainer(head)) return std::nullopt;
        std::string inner = path.substr(cut);
        while (inner.size() > 1 && inner.back() == '/') inner.pop_back();
        return ImagePath{head, inner};
    }
    return std::nullopt;
}

bool isBlockDevice(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
}

bool hasVolumeRecognition(const std::string& path) {
    if (heldVolume(path) != nullptr) return true; // it opened as one
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    const bool found = recognitionAt(fd);
    ::close(fd);
    return found;
}

VolumeScope::VolumeScope() : m_outer(t_held) {
    t_held = &m_volumes;
}

VolumeScope::~VolumeScope() {
    t_held = m_outer;
}

std::unique_ptr<ByteSource> openImageFile(const ImagePath& at) {
    return std::make_unique<ImageFile>(volumeOf(at.image), at);
}

void requireUdfImage(const std::string& image) {
    volumeOf(image);
}

SourceKind sourceKind(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISBLK(st.st_mode))
        return S_ISDIR(st.st_mode)   ? SourceKind::Folder
               : S_ISREG(st.st_mode) ? SourceKind::File
                                     : SourceKind::Missing;
    const std::optional<ImagePath> at = splitImagePath(path);
    if (!at) return SourceKind::Missing;
    try {
        const std::shared_ptr<UdfVolume> volume = volumeOf(at->image);
        if (UDFDIR* dir = udfread_opendir(volume->udf(), at->inner.c_str())) {
            udfread_closedir(dir);
            return SourceKind::Folder;
        }
        if (UDFFILE* file = udfread_file_open(volume->udf(), at->inner.c_str())) {
            udfread_file_close(file);
            return SourceKind::File;
        }
    } catch (const Error&) {
        // An image that does not open holds nothing.
    }
    return SourceKind::Missing;
}

std::vector<std::string> sourceFolderNames(const std::string& folder) {
    std::vector<std::string> names;
    const std::optional<ImagePath> at = splitImagePath(folder);
    if (!at) {
        if (DIR* dir = ::opendir(folder.c_str())) {
            while (const dirent* e = ::readdir(dir)) {
                const std::string name = e->d_name;
                if (name != "." && name != "..") names.push_back(name);
            }
            ::closedir(dir);
        }
        return names;
    }
    try {
        const std::shared_ptr<UdfVolume> volume = volumeOf(at->image);
        if (UDFDIR* dir = udfread_opendir(volume->udf(), at->inner.c_str())) {
            udfread_dirent entry{};
            while (udfread_readdir(dir, &entry) != nullptr) {
                const std::string name = entry.d_name != nullptr ? entry.d_name : "";
                if (!name.empty() && name != "." && name != "..") names.push_back(name);
            }
            udfread_closedir(dir);
        }
    } catch (const Error&) {
        // An image that does not open lists nothing.
    }
    return names;
}

bool sameNameAnyCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

std::optional<FoundEntry> findEntry(const std::string& folder, const std::string& name, SourceKind kind) {
    std::string base = folder;
    if (!base.empty() && base.back() != '/') base += '/';
    if (sourceKind(base + name) == kind) return FoundEntry{base + name, false};
    std::vector<std::string> names = sourceFolderNames(base.empty() ? std::string(".") : base);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names)
        if (n != name && sameNameAnyCase(n, name) && sourceKind(base + n) == kind)
            return FoundEntry{base + n, true};
    return std::nullopt;
}

FoundEntry findPath(const std::string& path, SourceKind kind) {
    const std::size_t cut = path.find_last_of('/');
    const std::string folder = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
    const std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
    if (std::optional<FoundEntry> found = findEntry(folder, name, kind)) return *found;
    return FoundEntry{path, false};
}

} // namespace vantrel
