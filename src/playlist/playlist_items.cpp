#include "playlist_items.h"

#include "tag_scanner.h"

namespace vantrel {

namespace {

bool contains(std::string_view text, std::string_view word) {
    return text.find(word) != std::string_view::npos;
}

// Table entry an item tag names, or nullptr when its index is not 1..8 (a
// closing tag has no index and so writes nothing).
std::string* itemEntry(std::string_view tag, AttrTable& table) {
    const std::int32_t index = GetAttrInt(tag, "index");
    if (index < 1 || index > 8) return nullptr;
    return &table[static_cast<std::size_t>(index)];
}

} // namespace

void applyItemRules(std::string_view tag, const ItemTargets& targets) {
    if (contains(tag, "Playlist") && contains(tag, "displayName"))
        targets.playlistName = GetAttr(tag, "displayName");
    if (contains(tag, "VideoAttributeItem"))
        if (std::string* entry = itemEntry(tag, targets.video)) *entry = GetAttr(tag, "codec");
    if (contains(tag, "AudioAttributeItem")) {
        if (std::string* entry = itemEntry(tag, targets.audio)) {
            std::string codec = GetAttr(tag, "codec");
            const std::string channels = GetAttr(tag, "channels");
            if (!channels.empty()) codec += "." + channels + "ch";
            *entry = std::move(codec);
        }
    }
    if (contains(tag, "SubpictureAttributeItem"))
        if (std::string* entry = itemEntry(tag, targets.subpicture)) *entry = GetAttr(tag, "codec");
}

const std::string& attrEntry(const AttrTable& table, int index) {
    static const std::string empty;
    if (index < 1 || index > 8) return empty;
    return table[static_cast<std::size_t>(index)];
}

std::optional<LineSpan> selectTitle(const std::vector<std::string>& lines, std::string_view evoBase) {
    if (evoBase.empty() || lines.empty()) return std::nullopt;
    const int count = static_cast<int>(lines.size());
    int anchor = -1;
    for (int i = 0; i < count && anchor < 0; ++i)
        if (contains(lines[static_cast<std::size_t>(i)], evoBase)) anchor = i;
    if (anchor < 0) return std::nullopt;

    LineSpan span{0, count - 1};
    for (int i = anchor - 1; i >= 0; --i) {
        if (contains(upperAscii(lines[static_cast<std::size_t>(i)]), "<TITLE ")) {
            span.first = i;
            break;
        }
    }
    for (int i = span.first; i < count; ++i) {
        if (contains(upperAscii(lines[static_cast<std::size_t>(i)]), "</TITLE")) {
            span.last = i;
            break;
        }
    }
    return span;
}

} // namespace vantrel
