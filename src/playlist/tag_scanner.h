// The playlist's tag scanner and attribute lookups. The scanner turns the bytes
// of a playlist into one line per tag, indented two blanks per nesting level;
// it is a byte-level scanner with substring searches, not an XML parser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

class TagScanner {
public:
    // One indentation unit.
    static constexpr std::string_view kIndent = "  ";
    // Indentation stops growing here: real playlists nest a dozen levels, while a
    // crafted file of nothing but opening tags would otherwise cost memory that
    // grows with the square of its length.
    static constexpr std::int64_t kMaxIndentUnits = 100;

    // Back to the start state: outside a tag, depth 0, nothing pending.
    void reset();

    // Scans n bytes; onLine(const std::string&) receives every finished line
    // (at each ">"), in order. The state carries over to the next call, so a
    // tag may straddle two blocks.
    template <class OnLine> void feed(const unsigned char* data, std::size_t n, OnLine&& onLine) {
        for (std::size_t i = 0; i < n; ++i) {
            if (step(data[i])) {
                onLine(static_cast<const std::string&>(m_line));
                finishLine();
            }
            m_lastBytes = (m_lastBytes << 8) | data[i];
        }
    }

    bool inTag() const { return m_inTag; }
    std::int64_t depth() const { return m_depth; }
    const std::string& pending() const { return m_line; }

private:
    // Steps before the line is handed out; true when b ends a line.
    bool step(unsigned char b);
    // Steps after the line was handed out: depth rules and the next indentation.
    void finishLine();

    bool m_inTag = false;
    // Wider than the 32 bits a real playlist needs, so that no input can overflow it.
    std::int64_t m_depth = 0;
    std::string m_line;
    // The last four bytes scanned, the latest in the low byte.
    std::uint32_t m_lastBytes = 0;
};

// The value of the attribute `name` in one tag's text: the first occurrence of
// the name (ASCII letters compared without case, anywhere in the tag), then
// within the next 255 characters past the first "=" and the first double quote,
// the text up to the next double quote. Empty when any of these is missing.
std::string GetAttr(std::string_view tag, std::string_view name);

// The GetAttr value as a whole decimal number (leading blanks and a sign
// allowed); 0 when it is absent or not a whole 32-bit number.
std::int32_t GetAttrInt(std::string_view tag, std::string_view name);

// Upper-case form of a text: only the ASCII letters a to z change.
std::string upperAscii(std::string_view text);

} // namespace vantrel
