// A playlist file may come inside a protection wrapper: "AACS", a type byte,
// the length of the XML as a big-endian 32-bit number at offset 7 and the XML
// itself from offset 0x11B. The reader takes the XML out of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel::disc {

struct PlaylistWrapper {
    std::uint8_t type = 0;       // the byte at offset 4 (0x02, 0x12 and 0x21 are known)
    std::uint32_t xmlLength = 0; // as the wrapper gives it
    static constexpr std::size_t kXmlOffset = 0x11B;
};

// The wrapper's header when the bytes start with "AACS", none otherwise.
// Throws MalformedPlaylist when the header is cut short or its length runs
// past the end of the bytes.
std::optional<PlaylistWrapper> readPlaylistWrapper(std::string_view bytes);

// The playlist's XML: the bytes themselves, or the XML inside the wrapper.
std::string_view unwrapPlaylist(std::string_view bytes);

} // namespace vantrel::disc
