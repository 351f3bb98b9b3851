#include "track_flags.h"

#include "files/errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>
#include <vector>

namespace vantrel::matroska {

namespace {

constexpr std::uint32_t kSegment = 0x18538067;
constexpr std::uint32_t kTracks = 0x1654AE6B;
constexpr std::uint32_t kTrackEntry = 0xAE;
constexpr std::uint32_t kTrackNumber = 0xD7;
constexpr std::uint32_t kFlagForced = 0x55AA;
constexpr std::uint32_t kCluster = 0x1F43B675;
// The header libavformat writes (EBML header, seek head, info, tracks with
// their codec private data) lies well within this.
constexpr std::size_t kHeadBytes = 1 << 20;

struct Element {
    std::uint32_t id = 0;
    std::size_t data = 0;            // where its data begins
    std::optional<std::size_t> size; // none: of unknown size (a segment being written)
};

// An EBML element's id and size at `at`; none where the bytes do not hold one.
std::optional<Element> elementAt(std::span<const std::uint8_t> b, std::size_t at) {
    if (at >= b.size()) return std::nullopt;
    const std::uint8_t first = b[at];
    int idLen = 1;
    while (idLen <= 4 && !(first & (0x80 >> (idLen - 1)))) ++idLen;
    if (idLen > 4 || at + static_cast<std::size_t>(idLen) >= b.size()) return std::nullopt;
    Element e;
    for (int i = 0; i < idLen; ++i) e.id = e.id << 8 | b[at + static_cast<std::size_t>(i)];
    std::size_t p = at + static_cast<std::size_t>(idLen);
    const std::uint8_t s0 = b[p];
    int sizeLen = 1;
    while (sizeLen <= 8 && !(s0 & (0x80 >> (sizeLen - 1)))) ++sizeLen;
    if (sizeLen > 8 || p + static_cast<std::size_t>(sizeLen) > b.size()) return std::nullopt;
    std::uint64_t size = s0 & (0xFF >> sizeLen);
    bool allOnes = size == (0xFFu >> sizeLen);
    for (int i = 1; i < sizeLen; ++i) {
        const std::uint8_t v = b[p + static_cast<std::size_t>(i)];
        size = size << 8 | v;
        allOnes = allOnes && v == 0xFF;
    }
    e.data = p + static_cast<std::size_t>(sizeLen);
    if (!allOnes) {
        if (size > b.size()) size = b.size(); // past the bytes at hand: cut to them
        e.size = static_cast<std::size_t>(size);
    }
    return e;
}

std::size_t endOf(const Element& e, std::span<const std::uint8_t> b) {
    if (!e.size) return b.size();
    return e.data + std::min(*e.size, b.size() - std::min(e.data, b.size()));
}

std::uint64_t unsignedValue(std::span<const std::uint8_t> b, const Element& e) {
    std::uint64_t v = 0;
    const std::size_t end = endOf(e, b);
    for (std::size_t i = e.data; i < end && i < e.data + 8; ++i) v = v << 8 | b[i];
    return v;
}

// The offset of FlagForced's value in one TrackEntry, when the entry is the
// track asked for.
std::int64_t inTrackEntry(std::span<const std::uint8_t> b, const Element& entry, std::uint64_t number) {
    std::optional<std::uint64_t> found;
    std::int64_t flag = -1;
    const std::size_t end = endOf(entry, b);
    for (std::size_t at = entry.data; at < end;) {
        const std::optional<Element> e = elementAt(b.first(end), at);
        if (!e || !e->size) return -1;
        if (e->id == kTrackNumber) found = unsignedValue(b, *e);
        if (e->id == kFlagForced && *e->size == 1) flag = static_cast<std::int64_t>(e->data);
        at = endOf(*e, b.first(end));
    }
    return found && *found == number ? flag : -1;
}

} // namespace

std::int64_t forcedFlagOffset(std::span<const std::uint8_t> head, std::uint64_t trackNumber) {
    const std::span<const std::uint8_t> b = head;
    std::size_t at = 0;
    // The top level: the EBML header, then the segment.
    while (at < b.size()) {
        const std::optional<Element> e = elementAt(b, at);
        if (!e) return -1;
        if (e->id != kSegment) {
            if (!e->size) return -1;
            at = endOf(*e, b);
            continue;
        }
        const std::size_t segmentEnd = endOf(*e, b);
        for (std::size_t in = e->data; in < segmentEnd;) {
            const std::optional<Element> child = elementAt(b.first(segmentEnd), in);
            if (!child || !child->size || child->id == kCluster) return -1;
            if (child->id == kTracks) {
                const std::size_t tracksEnd = endOf(*child, b);
                for (std::size_t t = child->data; t < tracksEnd;) {
                    const std::optional<Element> entry = elementAt(b.first(tracksEnd), t);
                    if (!entry || !entry->size) return -1;
                    if (entry->id == kTrackEntry) {
                        const std::int64_t flag = inTrackEntry(b, *entry, trackNumber);
                        if (flag >= 0) return flag;
                    }
                    t = endOf(*entry, b.first(tracksEnd));
                }
                return -1;
            }
            in = endOf(*child, b.first(segmentEnd));
        }
        return -1;
    }
    return -1;
}

void clearForcedFlag(const std::string& path, std::uint64_t trackNumber) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) throw Error::cannotOpen(path, std::strerror(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    std::vector<std::uint8_t> head(kHeadBytes);
    std::size_t got = 0;
    while (got < head.size()) {
        const ssize_t n = ::pread(fd, head.data() + got, head.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            throw Error(ErrorKind::Output, "Cannot read \"" + path + "\". " + std::strerror(errno), path);
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    head.resize(got);
    const std::int64_t at = forcedFlagOffset(head, trackNumber);
    if (at < 0)
        throw Error(ErrorKind::Output,
                    "no forced flag of track " + std::to_string(trackNumber) + " in the header of " + path,
                    path);
    const std::uint8_t zero = 0;
    if (::pwrite(fd, &zero, 1, static_cast<off_t>(at)) != 1)
        throw Error(ErrorKind::Output, "Cannot write \"" + path + "\". " + std::strerror(errno), path);
}

} // namespace vantrel::matroska
