// The time map beside an EVO file (NAME.MAP for NAME.EVO): what its header
// says of how the EVO file is laid out. Most maps describe one contiguous
// stream; a map whose type has the interleaved bit describes a file that holds
// several camera angles cut into interleaved units that cycle through the
// angles, so that the file read from front to back alternates between them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel::disc {

struct TimeMapHeader {
    static constexpr std::string_view kMagic = "HDDVD_TMAP00";
    static constexpr std::size_t kTypeOffset = 20; // 16-bit big-endian
    static constexpr std::size_t kTableCountOffset = 0x37;
    static constexpr std::uint16_t kInterleavedBit = 0x0200;
    static constexpr std::size_t kSize = kTableCountOffset + 1; // the bytes the header needs

    std::uint16_t type = 0; // 0x2000 for a contiguous stream, 0x2202 seen for interleaved angles
    int tableCount = 0;     // one table per angle where the units are interleaved
    bool interleaved() const { return (type & kInterleavedBit) != 0; }
};

// The header of a time map's bytes; none for bytes that are not a time map
// (another magic) or that end before the header does.
std::optional<TimeMapHeader> parseTimeMap(std::string_view bytes);

// The time map file beside an EVO file (NAME.MAP, or name.map beside
// name.evo); empty when there is none.
std::string timeMapPath(const std::string& evoPath);

// The header of the time map beside an EVO file; none when there is no time
// map there or it cannot be read as one (a missing map is no fault).
std::optional<TimeMapHeader> timeMapOf(const std::string& evoPath);

// The number of interleaved angles the time map beside an EVO file gives
// (its table count, at least 2); none for a contiguous file or without a map.
std::optional<int> interleavedAngles(const std::string& evoPath);

// What info says of such a file: "NAME.EVO holds N interleaved angles ...".
std::string interleavedAnglesNote(const std::string& evoPath, int angles);

// Throws Error(InputUnreadable) naming the file when it holds interleaved
// angles: read through, its packets would mix the angles.
void refuseInterleavedAngles(const std::string& evoPath);

} // namespace vantrel::disc
