// The window's runs driven from the command line: one core with a terminal
// window, a source chosen as the window chooses it, a full "Read EVO", the
// stream boxes ticked by --tracks, then the run itself. Demux, rebuild (and
// the muxing commands) share it, so their files are the window's byte for byte.
#pragma once

#include "cli.h"
#include "disc/disc_model.h"
#include "engine/core.h"
#include "terminal_window.h"

#include <optional>
#include <string>
#include <vector>

namespace vantrel::cli {

// The EVO file a command over the source works on: PATH itself when it is a
// file, else the first file of the title --title names (the longest title
// without it); and the title, where the playlist has one for it. Fails with exit 2, 3 or 4.
struct CommandSource {
    std::string path;
    std::optional<disc::Title> title;
};
CommandSource sourceOfCommand(Context& ctx, const ParsedArgs& args, const std::string& command);

class CoreSession {
public:
    explicit CoreSession(Context& ctx);
    CoreSession(const CoreSession&) = delete;
    CoreSession& operator=(const CoreSession&) = delete;

    // Chooses the source as the window's file dialog does (its names, its playlist).
    void selectSource(const std::string& path);
    // The output folder; empty means the current folder, as in the window.
    void setOutputFolder(const std::string& folder);
    // "Read EVO"; with fastCheck the scan stops past 300 MB, as the window's default does.
    void scan(bool fastCheck);
    // Ticks exactly the boxes whose streams --tracks names (names/track_names.h;
    // "all": every box the scan enabled), with the playlist's names of the
    // title's streams; a name that fits no stream is a usage failure.
    void chooseTracks(const std::string& list, const std::optional<disc::Title>& title);
    // The boxes ticked now, by name.
    std::vector<std::string> tickedBoxes() const;
    // A warning for each box left unticked whose stream rebuild copies all the same.
    std::vector<std::string> keptInSpiteOfTracks() const;
    // The files the last run created ("Creating NAME" lines after `fromLine`).
    std::vector<std::string> createdFiles(std::size_t fromLine) const;

    TerminalWindow window;
    Core core;

private:
    Context& m_ctx;
};

// demux and rebuild: source, output folder, "Read EVO", --tracks, then the
// window's button handler `click`; with --json a report of the files made.
int runLikeTheWindow(Context& ctx, const std::string& command, void (*click)(Core&));

} // namespace vantrel::cli
