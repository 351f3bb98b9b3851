#include "warning_summary.h"

namespace vantrel::cli {

namespace {
constexpr std::string_view kStream = "Subpicture stream ";
constexpr std::string_view kUnit = "Subpicture unit at PTS ";
constexpr std::string_view kSkipped = ") skipped: ";
} // namespace

bool WarningSummary::add(const std::string& text) {
    // "Subpicture stream N: Subpicture unit at PTS P (H:MM:SS.mmm) skipped: WHY."
    if (text.rfind(kStream, 0) != 0) return false;
    std::size_t at = kStream.size();
    int index = 0;
    bool digits = false;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        index = index * 10 + (text[at++] - '0');
        digits = true;
        if (index > 1000) return false;
    }
    if (!digits || text.compare(at, 2, ": ") != 0 || text.compare(at + 2, kUnit.size(), kUnit) != 0)
        return false;
    const std::size_t open = text.find('(', at + 2 + kUnit.size());
    const std::size_t close = open == std::string::npos ? open : text.find(kSkipped, open);
    if (close == std::string::npos) return false;
    Stream& s = m_streams[index];
    if (s.skipped++ == 0) {
        std::string why = text.substr(close + kSkipped.size());
        if (!why.empty() && why.back() == '.') why.pop_back();
        // The unit's own bytes in brackets belong to the details, not the summary.
        if (const std::size_t detail = why.rfind(" ("); detail != std::string::npos && why.back() == ')')
            why.resize(detail);
        s.first = text.substr(open + 1, close - open - 1) + ": " + why;
    }
    return true;
}

std::vector<std::string> WarningSummary::lines(const std::function<int(int)>& units) const {
    std::vector<std::string> out;
    for (const auto& [index, s] : m_streams) {
        const int total = units ? units(index) : 0;
        std::string line = "subpicture stream " + std::to_string(index) + ": " + std::to_string(s.skipped);
        if (total >= s.skipped && total > 0) line += " of " + std::to_string(total);
        line += (total > 0 ? total : s.skipped) == 1 ? " unit" : " units";
        line += " skipped (first at " + s.first + ")";
        out.push_back(line);
    }
    return out;
}

std::vector<std::string> summedWarnings(const std::vector<std::string>& warnings) {
    WarningSummary units;
    std::vector<std::string> out;
    for (const std::string& w : warnings)
        if (!units.add(w)) out.push_back(w);
    for (std::string& line : units.lines()) out.push_back(std::move(line));
    return out;
}

} // namespace vantrel::cli
