#include "playlist_guard.h"

#include "errors.h"

#include <cstdint>

namespace vantrel {

namespace {
constexpr std::int64_t kLargestPlaylist = std::int64_t{64} * 1048576;
} // namespace

void refuseOversizedPlaylist(const ByteSource& file) {
    if (file.size() > kLargestPlaylist)
        throw Error::cannotOpen(absolutePath(file.path()), "Not a playlist (larger than 64 MiB)");
}

} // namespace vantrel
