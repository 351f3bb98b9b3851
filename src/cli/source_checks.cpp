#include "source_checks.h"

#include "disc_input.h"
#include "engine/stream_boxes.h"
#include "files/file_layer.h"
#include "files/path_parts.h"
#include "packets/stream_ids.h"

#include <algorithm>
#include <array>
#include <memory>

namespace vantrel::cli {

namespace {

constexpr std::size_t kPack = 2048;

struct AudioRange {
    ids::Range ids;
    int indexMask;
    const char* name;
};
// As the window's parser routes private stream 1 audio.
constexpr AudioRange kAudioRanges[] = {
    {ids::kDd, 7, "AC-3"},   {ids::kDtsHd, 7, "DTS"}, {ids::kDdPlus, 15, "E-AC-3"},
    {ids::kLpcm, 7, "LPCM"}, {ids::kMlp, 7, "MLP"},
};

const AudioRange* rangeOf(int id) {
    for (const AudioRange& r : kAudioRanges)
        if (r.ids.holds(id)) return &r;
    return nullptr;
}

// The private stream 1 sub-stream ids of one pack.
template <typename Found> void subStreamIds(const std::uint8_t* pack, std::size_t n, Found found) {
    if (n < 14 || pack[0] != 0 || pack[1] != 0 || pack[2] != 1 || pack[3] != ids::kPackStart) return;
    std::size_t p = 14 + (pack[13] & 7);
    while (p + 9 <= n && pack[p] == 0 && pack[p + 1] == 0 && pack[p + 2] == 1) {
        const int id = pack[p + 3];
        const std::size_t length = 6 + ((static_cast<std::size_t>(pack[p + 4]) << 8) | pack[p + 5]);
        if (id == ids::kPrivateStream1) {
            const std::size_t at = p + 9 + pack[p + 8];
            if (at < n && at < p + length) found(pack[at]);
        }
        if (id == ids::kPackStart || length <= 6) break;
        p += length;
    }
}

} // namespace

std::vector<SharedAudioBox> sharedAudioBoxes(const std::string& path, std::int64_t limit) {
    std::array<std::vector<int>, 16> byIndex;
    try {
        const std::unique_ptr<ByteSource> source = openSource(path); // on disk or inside a disc image
        ByteSource& file = *source;
        auto buffer = std::make_unique<std::uint8_t[]>(kPack * 64);
        std::int64_t read = 0;
        while (read < limit && file.position() < file.size()) {
            const std::size_t got = file.read(buffer.get(), kPack * 64);
            if (got == 0) break;
            read += static_cast<std::int64_t>(got);
            for (std::size_t at = 0; at + kPack <= got; at += kPack)
                subStreamIds(buffer.get() + at, kPack, [&](int id) {
                    const AudioRange* r = rangeOf(id);
                    if (r == nullptr) return;
                    std::vector<int>& codes = byIndex[static_cast<std::size_t>(id & r->indexMask)];
                    if (std::find(codes.begin(), codes.end(), id) == codes.end()) codes.push_back(id);
                });
        }
    } catch (const std::exception&) {
        // What was read so far counts; the run reads the file next and reports the failure.
    }
    std::vector<SharedAudioBox> shared;
    for (std::size_t i = 0; i < byIndex.size(); ++i)
        if (byIndex[i].size() > 1) shared.push_back({static_cast<int>(i), byIndex[i]});
    return shared;
}

std::string sharedAudioBoxWarning(const SharedAudioBox& box) {
    std::string names;
    for (std::size_t i = 0; i < box.codes.size(); ++i) {
        if (i > 0) names += i + 1 == box.codes.size() ? " and " : ", ";
        names += hexId(box.codes[i]) + " (" + rangeOf(box.codes[i])->name + ")";
    }
    return "streams " + names + " share the stream box " +
           StreamBoxes::name(StreamBoxes::audioBox(box.index)) +
           ": demux writes them into one file; mux-prep and mkv keep them apart";
}

std::optional<std::string> cutPackWarning(const std::string& path) {
    std::uintmax_t size = 0;
    try {
        size = static_cast<std::uintmax_t>(openSource(path)->size()); // on disk or inside a disc image
    } catch (const Error&) {
        return std::nullopt; // the run opens it next and says why it cannot
    }
    if (size % kPack == 0) return std::nullopt;
    const std::uintmax_t lastPack = size - size % kPack;
    return fileNamePart(path) + " ends inside a pack at byte " + std::to_string(size) +
           " (its last pack, from byte " + std::to_string(lastPack) + ", has " +
           std::to_string(size - lastPack) +
           " of 2048 bytes): the file was cut short; copy it again from the disc";
}

std::vector<std::string> sourceWarnings(const std::string& path) {
    std::vector<std::string> warnings;
    if (auto cut = cutPackWarning(path)) warnings.push_back(*cut);
    for (const SharedAudioBox& box : sharedAudioBoxes(path))
        warnings.push_back(fileNamePart(path) + ": " + sharedAudioBoxWarning(box));
    return warnings;
}

} // namespace vantrel::cli
