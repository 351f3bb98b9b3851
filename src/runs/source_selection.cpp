#include "source_selection.h"
#include "files/path_parts.h"

#include <string>
#include <string_view>

namespace vantrel {

namespace {

constexpr std::string_view kDiscVideoFolder = "HVDVD_TS/";
constexpr std::string_view kDiscPlaylistFolder = "ADV_OBJ/";
constexpr std::string_view kPlaylistName = "VPLST000.XPL";

// Case-sensitive test of the last characters of a folder.
bool endsWith(const std::string& text, std::string_view tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

void EVOadj(Core& core) {
    const std::string path = core.window.fieldText(Field::EVOfile);
    core.window.setButtonEnabled(Button::Check, !path.empty());
    core.EVOname = fileNamePart(path);
    // Less its extension with the dot, whatever those four characters are.
    core.EVObase = core.EVOname.size() > 4 ? core.EVOname.substr(0, core.EVOname.size() - 4) : std::string();
    // The EVO dialog opens in EVOdir.
    core.EVOdir = folderPart(path);
    core.window.setFieldText(Field::XPLfile, std::string(kPlaylistName));
    if (endsWith(core.EVOdir, kDiscVideoFolder)) {
        // The disc keeps its playlist in the sibling folder; the playlist dialog opens there.
        core.XPLdir = core.EVOdir.substr(0, core.EVOdir.size() - kDiscVideoFolder.size()) +
                      std::string(kDiscPlaylistFolder);
        core.XPLname = std::string(kPlaylistName);
        core.xplDialogFileName = core.XPLname;
        core.window.setFieldText(Field::XPLfile, core.XPLdir + core.XPLname);
    }
    core.window.setButtonEnabled(Button::ReadXPL, !core.XPLname.empty());
}

void XPLadj(Core& core) {
    const std::string path = core.window.fieldText(Field::XPLfile);
    core.XPLname = fileNamePart(path);
    core.XPLdir = folderPart(path);
    core.window.setButtonEnabled(Button::ReadXPL, !core.XPLname.empty());
    if (endsWith(core.XPLdir, kDiscPlaylistFolder)) {
        // Points the EVO dialog at the disc's video folder; the EVO field keeps its text.
        core.EVOdir = core.XPLdir.substr(0, core.XPLdir.size() - kDiscPlaylistFolder.size()) +
                      std::string(kDiscVideoFolder);
    }
}

} // namespace vantrel
