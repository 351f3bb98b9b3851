#include "tag_scanner.h"

#include <algorithm>
#include <limits>

namespace vantrel {

namespace {

unsigned char foldAscii(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

// First position of `needle` in `hay`, ASCII letters compared without case.
std::size_t findNoCase(std::string_view hay, std::string_view needle) {
    if (needle.empty() || needle.size() > hay.size()) return std::string_view::npos;
    for (std::size_t i = 0; i + needle.size() <= hay.size(); ++i) {
        std::size_t k = 0;
        while (k < needle.size() && foldAscii(static_cast<unsigned char>(hay[i + k])) ==
                                        foldAscii(static_cast<unsigned char>(needle[k])))
            ++k;
        if (k == needle.size()) return i;
    }
    return std::string_view::npos;
}

} // namespace

void TagScanner::reset() {
    m_inTag = false;
    m_depth = 0;
    m_line.clear();
    m_lastBytes = 0;
}

bool TagScanner::step(unsigned char b) {
    if (b == '<') {
        m_inTag = true;
        ++m_depth;
    }
    if (m_inTag) {
        if (b >= 32)
            m_line.push_back(static_cast<char>(b));
        else if (m_line.empty() || m_line.back() != ' ')
            m_line.push_back(' ');
    }
    if (b == '/' && (m_lastBytes & 0xFFu) == '<') {
        // A closing tag stands one unit left of the element's content.
        m_depth -= 2;
        m_line.erase(0, 2);
    }
    if (b == '>') {
        m_inTag = false;
        return true;
    }
    return false;
}

void TagScanner::finishLine() {
    m_line.clear();
    const unsigned prev = m_lastBytes & 0xFFu;
    const unsigned prev2 = (m_lastBytes >> 8) & 0xFFu;
    if (prev == '/') --m_depth;                 // end of an empty element
    if (prev == '?') --m_depth;                 // end of a processing instruction
    if (prev == '-' && prev2 == '-') --m_depth; // end of a comment
    if (m_depth > 0)
        m_line.assign(static_cast<std::size_t>(std::min(m_depth, kMaxIndentUnits)) * kIndent.size(), ' ');
}

std::string GetAttr(std::string_view tag, std::string_view name) {
    const std::size_t at = findNoCase(tag, name);
    if (at == std::string_view::npos) return {};
    std::string_view rest = tag.substr(at + name.size(), 255);
    if (auto eq = rest.find('='); eq != std::string_view::npos) rest.remove_prefix(eq + 1);
    if (auto open = rest.find('"'); open != std::string_view::npos) rest.remove_prefix(open + 1);
    const std::size_t close = rest.find('"');
    if (close == std::string_view::npos) return {};
    return std::string(rest.substr(0, close));
}

std::int32_t GetAttrInt(std::string_view tag, std::string_view name) {
    const std::string text = GetAttr(tag, name);
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return 0;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return 0;
        value = value * 10 + (text[i] - '0');
        if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return 0;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) return 0;
    return static_cast<std::int32_t>(value);
}

std::string upperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(foldAscii(static_cast<unsigned char>(c)));
    return upper;
}

} // namespace vantrel
