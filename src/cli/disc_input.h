// What a command's PATH and --title name: the disc location, its playlist when
// one is at hand, the chosen title and the EVO files to read. Failures are
// Errors of kind InputUnreadable (exit 3) or NotFound (playlist or title missing, exit 4).
#pragma once

#include "cli.h"
#include "disc/disc_model.h"

#include <optional>
#include <string>
#include <vector>

namespace vantrel::cli {

struct DiscInput {
    disc::DiscLocation at;
    std::optional<disc::Playlist> playlist;
    const disc::Title* title = nullptr; // the chosen title, when one was asked for or is implied
};

// Locates PATH and reads its playlist where there is one. A playlist that does
// not parse is a failure only when `playlistRequired` is set.
DiscInput openDiscInput(const std::string& path, bool playlistRequired);

// The title whose titleNumber (or position) is n; a failure with exit 4 when
// there is no playlist or no such title.
const disc::Title& requireTitle(const DiscInput& input, int number);

// The --title value of parsed arguments, if given.
std::optional<int> titleOption(const ParsedArgs& args);

// Fails with exit 3 unless the file starts with a pack header.
void requireProgramStream(const std::string& path);

// The first (lowest) PTS of an EVO file's main video, read from the file's
// start: where the video demux writes from it begins. None without video PTS.
std::optional<std::uint64_t> firstVideoPts(const std::string& evo);

// "0xC0"
std::string hexId(int code);

} // namespace vantrel::cli
