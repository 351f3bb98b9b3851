#include "playlist_wrapper.h"

#include "title_model.h"

namespace vantrel::disc {

std::optional<PlaylistWrapper> readPlaylistWrapper(std::string_view bytes) {
    if (bytes.substr(0, 4) != "AACS") return std::nullopt;
    if (bytes.size() < PlaylistWrapper::kXmlOffset)
        throw MalformedPlaylist("not a well-formed playlist: a wrapped playlist of " +
                                std::to_string(bytes.size()) + " bytes, cut before its XML starts at byte " +
                                std::to_string(PlaylistWrapper::kXmlOffset));
    PlaylistWrapper w;
    w.type = static_cast<std::uint8_t>(bytes[4]);
    for (std::size_t i = 7; i < 11; ++i)
        w.xmlLength = (w.xmlLength << 8) | static_cast<std::uint8_t>(bytes[i]);
    const std::size_t room = bytes.size() - PlaylistWrapper::kXmlOffset;
    if (w.xmlLength > room)
        throw MalformedPlaylist("not a well-formed playlist: the wrapper gives its XML " +
                                std::to_string(w.xmlLength) + " bytes, but the file ends " +
                                std::to_string(room) + " bytes after the XML's start");
    return w;
}

std::string_view unwrapPlaylist(std::string_view bytes) {
    const std::optional<PlaylistWrapper> w = readPlaylistWrapper(bytes);
    if (!w) return bytes;
    return bytes.substr(PlaylistWrapper::kXmlOffset, w->xmlLength);
}

} // namespace vantrel::disc
