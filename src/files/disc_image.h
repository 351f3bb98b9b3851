// Disc images read in place: a UDF file system (2.01, 2.50 with its metadata
// partition, 2.60; ISO 9660 bridge images included) held in an image file or
// on a block device such as an HD DVD drive. Nothing is mounted and nothing is
// copied out: a file inside an image is a ByteSource that reads its extents
// straight from the image.
//
// Path form: a file inside an image is named by the image's path, then the
// file's path inside it, as if the image were a folder:
//     /backups/DISC.iso/HVDVD_TS/FEATURE_1.EVO
//     /dev/sr0/ADV_OBJ/VPLST000.XPL
// No real file system has a name below a regular file or a device, so the
// form cannot name anything else. The image is the longest leading part of
// the path that is a regular file or a block device.
#pragma once

#include "file_layer.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

struct ImagePath {
    std::string image; // the image file or device, as given
    std::string inner; // inside it, starting with "/" ("/" for its root)
};

// The image and inner path that a path names, when a leading part of it is a
// regular file or a block device and the whole path is not an entry of the
// real file system. A path that is an image itself gives inner "/".
std::optional<ImagePath> splitImagePath(const std::string& path);

// True when the path is a block device (an optical drive).
bool isBlockDevice(const std::string& path);

// True when the file looks like a disc image by its start: an ISO 9660 or UDF
// volume recognition sequence at byte 32768. False when unreadable.
bool hasVolumeRecognition(const std::string& path);

// Opens a file inside an image. Throws Error("Cannot open file \"IMAGE/INNER\". ...")
// when the image is no UDF image (or is cut before its file system) or holds
// no such file.
std::unique_ptr<ByteSource> openImageFile(const ImagePath& at);

// Throws the same errors as openImageFile when the image cannot be read as UDF.
void requireUdfImage(const std::string& image);

// While a scope is open, an image's UDF volume is read once: every open,
// kind and listing inside that image on this thread shares the first one
// opened (one command, or one run, opens a disc once). Scopes nest; the
// volumes close with the scope that opened them, or with the last file open
// in them.
class UdfVolume;
class VolumeScope {
public:
    VolumeScope();
    ~VolumeScope();
    VolumeScope(const VolumeScope&) = delete;
    VolumeScope& operator=(const VolumeScope&) = delete;

private:
    std::vector<std::shared_ptr<UdfVolume>> m_volumes;
    std::vector<std::shared_ptr<UdfVolume>>* m_outer;
};

// What a path names, for paths on disk and inside images alike.
enum class SourceKind { Missing, File, Folder };
SourceKind sourceKind(const std::string& path);

// Names in a folder on disk or inside an image (no "." or ".."), unsorted;
// empty when it is no folder.
std::vector<std::string> sourceFolderNames(const std::string& folder);

// A folder's entry found by its name without regard to ASCII case, as copies
// made by some tools (or an image read through its ISO 9660 bridge) name
// HVDVD_TS/FEATURE_1.EVO "hvdvd_ts/feature_1.evo". The exact name wins; else
// the first entry, in name order, that differs from it by case alone.
// Two names that differ at most in ASCII case.
bool sameNameAnyCase(const std::string& a, const std::string& b);

struct FoundEntry {
    std::string path;         // folder + the entry's own name
    bool byCaseAlone = false; // its name differs from the one asked for
};
std::optional<FoundEntry> findEntry(const std::string& folder, const std::string& name, SourceKind kind);

// A path whose last part is found as findEntry finds it; the path as given
// when nothing matches.
FoundEntry findPath(const std::string& path, SourceKind kind);

} // namespace vantrel
