// Core: the program-wide state every run shares. One Core lives as long as the
// program; the window (or a test, or the headless driver) owns it together
// with its WindowPort.
#pragma once

#include "files/file_layer.h"
#include "stream_boxes.h"
#include "stream_numbering.h"
#include "stream_table.h"
#include "window_port.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vantrel {

constexpr std::size_t kPackBufferSize = 32768;

struct Core {
    explicit Core(WindowPort& window);
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;

    WindowPort& window;
    StreamBoxes boxes;

    StreamTable streamTable;
    std::array<unsigned char, kPackBufferSize> packBuffer{};
    // A file on disk, or (readsImages) a file inside a disc image.
    std::unique_ptr<ByteSource> sourceFile;
    std::optional<FileIdentity> sourceIdentity; // of a file on disk
    // The command line reads sources inside disc images (IMAGE/HVDVD_TS/NAME.EVO)
    // and continues a copy's feature_1.evo into its feature_2.evo; the window
    // opens files on disk only and keeps its own names rule.
    bool readsImages = false;
    std::array<std::unique_ptr<OutputFile>, kOutputFileCount> outputFiles;

    std::uint8_t stopRequested = 0;
    std::uint8_t demuxActive = 0;
    std::array<std::int32_t, 2> videoFrameCount{};
    std::array<std::uint8_t, 16> audioReported{};

    // Names derived from the chosen files.
    std::string EVOdir, EVOname, EVObase, XPLdir, XPLname;
    // The file name the playlist dialog opens with (preset when a disc folder is recognised).
    std::string xplDialogFileName;

    // The playlist reader's attribute tables, entries 1..8 (index 0 unused),
    // kept for the life of the program.
    std::array<std::string, 9> videoAttr, audioAttr, subpictureAttr;
    // The caption each box got from the last "Read EVO", empty where it found
    // no stream: the stream's own name once a playlist read after it has reset
    // the box (a stream the playlist does not list).
    std::array<std::string, StreamBoxes::kCount> scanCaptions;

    // One run at a time: set while a run handler is active.
    bool runActive = false;
};

} // namespace vantrel
