// Turns the units of one subpicture stream into presentation graphics: one
// display set per subpicture at its start time (the unit's PTS plus its start
// delay) and an empty one at its stop time, both absolute. Malformed units
// are skipped with a warning that names their PTS.
#pragma once

#include "pgs_writer.h"
#include "subpicture_unit.h"
#include "sup_records.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace vantrel::subpicture {

// What a stream held.
struct StreamFigures {
    int units = 0;     // records with a PTS, converted or not
    int converted = 0; // subpictures written
    int malformed = 0; // units skipped
    int animated = 0;  // converted units whose later display-control sequences were left out
    int forced = 0;    // converted units started with the forced start command
    std::size_t strayBytes = 0;
    bool anyShown = false;
    std::uint32_t firstStart = 0; // display time of the first subpicture converted (90 kHz)
    std::uint32_t lastStart = 0;  // display time of the last one
    std::uint32_t lastStop = 0;
};

using Warn = std::function<void(const std::string&)>;
// Receives the bytes of each finished display set (may be empty: figures only).
using PgsSink = std::function<void(std::span<const std::uint8_t>)>;

class PgsConverter {
public:
    PgsConverter(PgsSink sink, Warn warn, const DecodeOptions& options = {});

    void add(const UnitRecord& record);
    // Writes the display set that clears the last subpicture.
    void finish();
    const StreamFigures& figures() const { return m_figures; }

private:
    void skip(std::uint32_t pts, const std::string& why);
    void flush();

    PgsSink m_sink;
    Warn m_warn;
    DecodeOptions m_options;
    PgsWriter m_writer;
    StreamFigures m_figures;
    Subpicture m_current;
    bool m_pending = false; // a subpicture is shown and its clear is not written yet
    std::uint32_t m_pendingStop = 0;
    std::vector<std::uint8_t> m_out; // reused for every display set
};

// Converts a whole record stream held in memory; the figures only when pgs is null.
StreamFigures convertRecords(std::span<const std::uint8_t> records, std::vector<std::uint8_t>* pgs,
                             const Warn& warn, const DecodeOptions& options = {});

// Reads a subpicture file and writes its presentation graphics file. Throws
// vantrel::Error when a file cannot be opened, created or written.
StreamFigures convertSupFile(const std::string& inPath, const std::string& outPath, const Warn& warn,
                             const DecodeOptions& options = {});

// The whole contents of a file (throws vantrel::Error when it cannot be opened).
std::vector<std::uint8_t> readWholeFile(const std::string& path);

} // namespace vantrel::subpicture
