#include "disc_input.h"

#include "files/disc_image.h"
#include "files/errors.h"

#include <cstdio>

namespace vantrel::cli {

namespace {
// A folder, on disk or inside a disc image, with at least one .EVO or .VOB file (any case).
bool holdsEvoFiles(const std::string& folder) {
    for (std::string name : sourceFolderNames(folder)) {
        for (char& c : name)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (name.ends_with(".EVO") || name.ends_with(".VOB")) return true;
    }
    return false;
}
} // namespace

DiscInput openDiscInput(const std::string& path, bool playlistRequired) {
    DiscInput input;
    try {
        input.at = disc::locateDisc(path);
    } catch (const Error& e) {
        throw e.as(ErrorKind::InputUnreadable);
    }
    if (input.at.playlistPath.empty()) {
        if (input.at.kind != disc::DiscLocation::Kind::EvoFile && !holdsEvoFiles(input.at.evoFolder))
            throw Error(ErrorKind::InputUnreadable,
                        path + ": no HVDVD_TS or VIDEO_TS folder, EVO or VOB file here; name a disc, "
                               "its HVDVD_TS folder, an EVO file or a VPLST000.XPL");
        if (playlistRequired)
            throw Error(ErrorKind::NotFound, "no playlist (ADV_OBJ/VPLST000.XPL) found for " + path);
        return input;
    }
    try {
        input.playlist = disc::readPlaylist(input.at.playlistPath);
    } catch (const disc::MalformedPlaylist& e) {
        // A playlist that is there but broken is never passed over as if there were none.
        throw Error(ErrorKind::NotFound, std::string(e.what()) + " (" + input.at.playlistPath + ")");
    } catch (const Error& e) {
        if (e.kind() == ErrorKind::InputUnreadable) throw;
        if (playlistRequired || input.at.kind == disc::DiscLocation::Kind::PlaylistFile)
            throw Error(ErrorKind::NotFound, std::string(e.what()) + " (" + input.at.playlistPath + ")");
    }
    return input;
}

const disc::Title& requireTitle(const DiscInput& input, int number) {
    if (!input.playlist) throw Error(ErrorKind::NotFound, "--title needs a playlist, and none was found");
    if (const disc::Title* t = input.playlist->findTitle(number)) return *t;
    std::string known;
    for (const disc::Title& t : input.playlist->titles)
        known += (known.empty() ? "" : ", ") + std::to_string(t.number);
    throw Error(ErrorKind::NotFound,
                "title " + std::to_string(number) + " not found; the playlist has title" +
                    (input.playlist->titles.size() == 1 ? " " : "s ") + (known.empty() ? "none" : known));
}

std::optional<int> titleOption(const ParsedArgs& args) {
    if (!args.has("--title")) return std::nullopt;
    return positiveNumber("--title", args.value("--title"));
}

void requireProgramStream(const std::string& path) {
    bool ok = false;
    try {
        ok = disc::looksLikeProgramStream(path);
    } catch (const Error& e) {
        throw e.as(ErrorKind::InputUnreadable);
    }
    if (!ok)
        throw Error(ErrorKind::InputUnreadable,
                    path + " is not a program stream (no pack header at its start)");
}

std::optional<std::uint64_t> firstVideoPts(const std::string& evo) {
    // Its first PTS lies near the file's start: both ends are read, the middle is not.
    constexpr std::int64_t kWindow = std::int64_t{4} * 1024 * 1024;
    disc::FileSurvey survey;
    try {
        survey = disc::surveyFileEnds(evo, kWindow);
    } catch (const Error& e) {
        throw e.as(ErrorKind::InputUnreadable);
    }
    const disc::StreamSurvey* video = survey.mainVideo();
    if (video == nullptr || !video->hasPts) return std::nullopt;
    return video->firstPts;
}

std::string hexId(int code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X", code & 0xFF);
    return text;
}

} // namespace vantrel::cli
