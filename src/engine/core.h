// The program-wide state every run shares, and the few operations on it that
// belong to no single run. One Core lives as long as the program; the window
// (or a test, or the headless driver) owns it together with its WindowPort.
#pragma once

#include "file_layer.h"
#include "stream_boxes.h"
#include "stream_numbering.h"
#include "stream_table.h"
#include "window_port.h"

#include <array>
#include <cstdint>
#include <memory>
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
    std::unique_ptr<InputFile> sourceFile;
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

    // One run at a time: set while a run handler is active.
    bool runActive = false;
};

// Guards a run handler: false when another run is active (the click does nothing).
class RunScope {
public:
    explicit RunScope(Core& core) : m_core(core), m_owner(!core.runActive) {
        if (m_owner) core.runActive = true;
    }
    ~RunScope() {
        if (m_owner) m_core.runActive = false;
    }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;
    bool acquired() const { return m_owner; }

private:
    Core& m_core;
    bool m_owner;
};

// Every stream box disabled and captioned with its page's reset caption; ticks stay.
void Resetcbs(Core& core);
// Demux is enabled exactly when at least one of the 40 boxes is ticked.
void cbVideoClick(Core& core);
// Stop request: at once during a scan, after the question during a demux or rebuild.
void bCancelClick(Core& core);

// Whole mebibytes of a byte count, as the log shows sizes.
inline std::int64_t wholeMebibytes(std::int64_t bytes) {
    return bytes / 1048576;
}

// "Reading NAME P/S Mbytes, Remaining time: T" style progress text; the remaining
// time is estimated from the start time t0 and the position.
std::string progressLine(Core& core, const std::string& verb, const std::string& name, std::int64_t position,
                         std::int64_t size, double t0);

// "File size: N Mbytes." for the open source.
void logFileSize(Core& core);

// The start of every output name of a run over the source: EVObase inside the
// output folder ("/" appended unless the folder ends with one), or bare EVObase
// (the current folder) when the folder is empty.
std::string outputBase(Core& core);

// A feature split over two files: FEATURE_1.EVO goes on in FEATURE_2.EVO of the
// same folder. Decided when a run starts, only while "Continue" is ticked.
struct Continuation {
    bool firstPart = false;   // EVOname ends exactly in "_1.EVO"
    std::string nextPartPath; // the source path less five characters, then "2.EVO"
    // The second part exists at the start: output names carry "_2".
    bool secondPartAtStart() const;
    // Tested again after the first pass: still ticked, not cancelled, the file is there.
    bool goOn(Core& core) const;
};
Continuation decideContinuation(Core& core, const std::string& sourcePath);

// The file-name part of a path (after the last "/").
std::string fileNamePart(const std::string& path);
// The folder part of a path, with its trailing "/" (empty when there is none).
std::string folderPart(const std::string& path);

} // namespace vantrel
