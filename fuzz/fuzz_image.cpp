// Arbitrary bytes as a disc image: the UDF volume opened through the image
// layer, every folder listed and every file read to its end, as the commands
// look into an image. libudfread parses the volume on our behalf; nothing it
// hands back may take a read past the image or a crash.
#include "files/disc_image.h"
#include "files/errors.h"
#include "files/file_layer.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

using namespace vantrel;

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

// Lists a folder inside the image and reads what it holds, to a depth.
void walk(const std::string& folder, int depth, int& budget) {
    for (const std::string& name : sourceFolderNames(folder)) {
        if (--budget < 0) return;
        check(!name.empty() && name != "." && name != "..");
        const std::string path = folder + "/" + name;
        const SourceKind kind = sourceKind(path);
        if (kind == SourceKind::Folder && depth < 4) {
            walk(path, depth + 1, budget);
        } else if (kind == SourceKind::File) {
            try {
                const std::unique_ptr<ByteSource> file = openSource(path);
                check(file->size() >= 0);
                char buffer[65536];
                std::int64_t total = 0;
                while (file->position() < file->size() && total < (std::int64_t{4} << 20)) {
                    const std::size_t got = file->read(buffer, sizeof buffer);
                    check(got > 0 && got <= sizeof buffer);
                    total += static_cast<std::int64_t>(got);
                }
                check(file->position() <= file->size());
            } catch (const Error&) {
                // A file whose extents run past the image fails as a cut file does.
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int fd = memfd_create("image", 0);
    if (fd < 0) return 0;
    if (ftruncate(fd, 0) != 0) return 0;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t w = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (w <= 0) return 0;
        done += static_cast<std::size_t>(w);
    }
    const std::string image = "/proc/self/fd/" + std::to_string(fd);
    const VolumeScope volumes; // one volume for the whole walk, as one command has
    try {
        requireUdfImage(image);
    } catch (const Error&) {
        return 0;
    }
    int budget = 256;
    walk(image, 0, budget);
    // Names that are not there, and case-blind lookups, on the same volume.
    (void)findEntry(image, "hvdvd_ts", SourceKind::Folder);
    (void)sourceKind(image + "/NO/SUCH/FILE");
    return 0;
}
