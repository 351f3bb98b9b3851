// Warnings that come once per unit (a subpicture stream whose every unit is
// skipped gives thousands) summed up to one line per stream:
// "subpicture stream 0: 360 of 360 units skipped (first at 0:00:01.100: not a
// unit with 32-bit offsets)". Other warnings pass through untouched.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vantrel::cli {

class WarningSummary {
public:
    // Takes a per-unit warning into its stream's count; false for any other text.
    bool add(const std::string& text);
    // One line per stream, by stream index; `units` gives a stream's unit count
    // ("N of M units"), or 0 where it is not known ("N units").
    std::vector<std::string> lines(const std::function<int(int index)>& units = {}) const;
    bool empty() const { return m_streams.empty(); }
    void clear() { m_streams.clear(); }

private:
    struct Stream {
        int skipped = 0;
        std::string first; // "0:00:01.100: not a unit with 32-bit offsets"
    };
    std::map<int, Stream> m_streams;
};

// The warnings as stderr gives them: per-unit ones summed to a line per stream
// after the others (the JSON `warnings` of a run).
std::vector<std::string> summedWarnings(const std::vector<std::string>& warnings);

} // namespace vantrel::cli
