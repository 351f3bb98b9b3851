#include "time_map.h"

#include "files/disc_image.h"
#include "files/errors.h"
#include "files/file_layer.h"
#include "files/path_parts.h"

#include <algorithm>
#include <memory>

namespace vantrel::disc {

std::optional<TimeMapHeader> parseTimeMap(std::string_view bytes) {
    if (bytes.size() < TimeMapHeader::kSize ||
        bytes.substr(0, TimeMapHeader::kMagic.size()) != TimeMapHeader::kMagic)
        return std::nullopt;
    auto byte = [&bytes](std::size_t at) { return static_cast<std::uint8_t>(bytes[at]); };
    TimeMapHeader h;
    h.type = static_cast<std::uint16_t>(byte(TimeMapHeader::kTypeOffset) << 8 |
                                        byte(TimeMapHeader::kTypeOffset + 1));
    h.tableCount = byte(TimeMapHeader::kTableCountOffset);
    return h;
}

std::string timeMapPath(const std::string& evoPath) {
    const std::size_t dot = evoPath.rfind('.');
    if (dot == std::string::npos || evoPath.find('/', dot) != std::string::npos) return {};
    const std::string stem = evoPath.substr(0, dot);
    // The case of the EVO file's extension first, as copies keep one case throughout.
    const bool lower = dot + 1 < evoPath.size() && evoPath[dot + 1] >= 'a' && evoPath[dot + 1] <= 'z';
    const char* const kinds[2] = {lower ? ".map" : ".MAP", lower ? ".MAP" : ".map"};
    for (const char* ext : kinds) {
        std::string path = stem + ext;
        if (sourceKind(path) == SourceKind::File) return path;
    }
    return {};
}

std::optional<TimeMapHeader> timeMapOf(const std::string& evoPath) {
    const std::string path = timeMapPath(evoPath);
    if (path.empty()) return std::nullopt;
    try {
        const std::unique_ptr<ByteSource> file = openSource(path);
        std::string head(TimeMapHeader::kSize, '\0');
        std::size_t got = 0;
        while (got < head.size()) {
            const std::size_t n = file->read(head.data() + got, head.size() - got);
            if (n == 0) break;
            got += n;
        }
        head.resize(got);
        return parseTimeMap(head);
    } catch (const Error&) {
        return std::nullopt; // an unreadable map tells nothing; the EVO file is read as it is
    }
}

std::optional<int> interleavedAngles(const std::string& evoPath) {
    const std::optional<TimeMapHeader> h = timeMapOf(evoPath);
    if (!h || !h->interleaved()) return std::nullopt;
    return std::max(h->tableCount, 2);
}

std::string interleavedAnglesNote(const std::string& evoPath, int angles) {
    return fileNamePart(evoPath) + " holds " + std::to_string(angles) +
           " interleaved angles (its time map says so): read from front to back it alternates between "
           "them and its times jump back";
}

void refuseInterleavedAngles(const std::string& evoPath) {
    const std::optional<int> angles = interleavedAngles(evoPath);
    if (!angles) return;
    throw Error(ErrorKind::InputUnreadable,
                interleavedAnglesNote(evoPath, *angles) +
                    "; one angle cannot be taken out of it yet, so it is not read",
                evoPath);
}

} // namespace vantrel::disc
