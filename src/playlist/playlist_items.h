// What the playlist reader takes from the tags: the playlist's name and the
// codec texts of the attribute items while scanning, and afterwards the title
// that plays the chosen source file.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// Codec texts by attribute-item index 1..8 (entry 0 unused).
using AttrTable = std::array<std::string, 9>;

struct ItemTargets {
    std::string& playlistName;
    AttrTable& video;
    AttrTable& audio;
    AttrTable& subpicture;
};

// The item rules for one finished tag line, each rule by itself: the
// playlist's display name, and the video, audio and subpicture attribute items.
// An item whose "index" is absent, not a number or outside 1..8 writes nothing.
void applyItemRules(std::string_view tag, const ItemTargets& targets);

// The entry of a table for an index, empty outside 1..8.
const std::string& attrEntry(const AttrTable& table, int index);

// Memo lines first..last (inclusive) of the title element that plays evoBase:
// the anchor is the first line containing evoBase; the title runs from the
// nearest "<TITLE " line before the anchor (or the first line) to the first
// "</TITLE" line after that (or the last line). None when no line names evoBase.
struct LineSpan {
    int first;
    int last;
};
std::optional<LineSpan> selectTitle(const std::vector<std::string>& lines, std::string_view evoBase);

} // namespace vantrel
