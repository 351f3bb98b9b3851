#include "registry_file.h"

#include "files/errors.h"

#include <cstdio>
#include <cstring>

namespace vantrel {

const char* const RegistryKey::kKeyPath = "HKEY_CURRENT_USER\\Software\\Corvane Software\\Vantrel";

namespace {

const char* const kHeader = "Windows Registry Editor Version 5.00";

bool equalsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

// Reads a quoted text starting at s[pos] == '"'. Backslash takes the next
// character literally; "\xHH" stands for one byte (control characters are
// written that way so that every value stays on one line). Returns false when
// the closing quote is missing.
bool readQuoted(const std::string& s, std::size_t& pos, std::string& out) {
    out.clear();
    ++pos;
    while (pos < s.size()) {
        char c = s[pos++];
        if (c == '"') return true;
        if (c == '\\') {
            if (pos >= s.size()) return false;
            char n = s[pos++];
            if (n == 'x' && pos + 2 <= s.size() && hexDigit(s[pos]) >= 0 && hexDigit(s[pos + 1]) >= 0) {
                out += static_cast<char>(hexDigit(s[pos]) * 16 + hexDigit(s[pos + 1]));
                pos += 2;
            } else {
                out += n;
            }
            continue;
        }
        out += c;
    }
    return false;
}

std::string quote(const std::string& s) {
    static const char* digits = "0123456789abcdef";
    std::string out = "\"";
    for (char c : s) {
        auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7f) {
            out += "\\x";
            out += digits[u >> 4];
            out += digits[u & 15];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

void parseData(const std::string& data, RegistryKey::Value& v) {
    v.raw = data;
    if (!data.empty() && data[0] == '"') {
        v.type = RegistryKey::Type::String;
        std::size_t pos = 0;
        v.readable = readQuoted(data, pos, v.text) && trim(data.substr(pos)).empty();
        return;
    }
    if (data.rfind("dword:", 0) == 0) {
        v.type = RegistryKey::Type::Dword;
        std::string digits = data.substr(6);
        v.readable = !digits.empty() && digits.size() <= 8;
        std::uint32_t n = 0;
        for (char c : digits) {
            int d = hexDigit(c);
            if (d < 0) {
                v.readable = false;
                break;
            }
            n = n * 16 + static_cast<std::uint32_t>(d);
        }
        v.dword = v.readable ? n : 0;
        return;
    }
    if (data.rfind("hex:", 0) == 0) {
        v.type = RegistryKey::Type::Binary;
        std::string items = data.substr(4);
        std::size_t pos = 0;
        while (v.readable && pos < items.size()) {
            std::size_t comma = items.find(',', pos);
            std::string item =
                trim(items.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
            if (item.empty() || item.size() > 2 || hexDigit(item[0]) < 0 ||
                (item.size() == 2 && hexDigit(item[1]) < 0)) {
                v.readable = false;
                break;
            }
            int b = hexDigit(item[0]);
            if (item.size() == 2) b = b * 16 + hexDigit(item[1]);
            v.bytes.push_back(static_cast<std::uint8_t>(b));
            if (comma == std::string::npos) break;
            pos = comma + 1;
            if (pos == items.size()) v.readable = false; // trailing comma
        }
        return;
    }
    v.type = RegistryKey::Type::Other;
}

// Data written back as it was found. A line that ends in a backslash goes on
// in the next one, and the CR before a line's LF is not part of it: data that
// ends in either gets a blank after it, which the next load trims away again,
// so that it neither takes in the line after it nor loses its last character.
std::string asFound(const std::string& raw) {
    if (!raw.empty() && (raw.back() == '\\' || raw.back() == '\r')) return raw + ' ';
    return raw;
}

std::string hexList(const std::vector<std::uint8_t>& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i) out += ',';
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

} // namespace

std::optional<RegistryKey> RegistryKey::parse(const std::string& fileText, const std::string& keyPath) {
    // Split into logical lines: CR LF or LF, a trailing backslash continues a line.
    std::vector<std::string> lines;
    std::string current;
    bool continued = false;
    std::size_t pos = 0;
    while (pos <= fileText.size()) {
        std::size_t nl = fileText.find('\n', pos);
        std::string line = fileText.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (continued) line = trim(line);
        current += line;
        // Only hex data is ever continued: a quoted text never ends in a lone backslash.
        continued = !current.empty() && current.back() == '\\' && current.find("=hex") != std::string::npos;
        if (continued) {
            current.pop_back();
        } else {
            lines.push_back(current);
            current.clear();
        }
        if (nl == std::string::npos) break;
        pos = nl + 1;
    }
    if (!current.empty()) lines.push_back(current);

    std::optional<RegistryKey> key;
    bool inKey = false;
    for (const auto& rawLine : lines) {
        std::string line = trim(rawLine);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            inKey = line.back() == ']' && equalsNoCase(line.substr(1, line.size() - 2), keyPath);
            if (inKey && !key) key.emplace(keyPath);
            continue;
        }
        if (!inKey || line[0] != '"') continue;
        Value v;
        std::size_t p = 0;
        if (!readQuoted(line, p, v.name)) continue;
        while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
        if (p >= line.size() || line[p] != '=') continue;
        std::string data = trim(line.substr(p + 1));
        if (data == "-") continue; // a deletion marker: the value is absent
        parseData(data, v);
        key->slot(v.name) = std::move(v);
    }
    return key;
}

std::string RegistryKey::serialize() const {
    std::string out = std::string(kHeader) + "\n\n[" + m_keyPath + "]\n";
    for (const auto& v : m_values) {
        out += quote(v.name) + "=";
        switch (v.type) {
        case Type::Dword: {
            char buf[16];
            std::snprintf(buf, sizeof buf, "dword:%08x", v.dword);
            out += v.readable ? std::string(buf) : asFound(v.raw);
            break;
        }
        case Type::String: out += v.readable ? quote(v.text) : asFound(v.raw); break;
        case Type::Binary: out += v.readable ? "hex:" + hexList(v.bytes) : asFound(v.raw); break;
        case Type::Other: out += asFound(v.raw); break;
        }
        out += "\n";
    }
    return out + "\n";
}

const RegistryKey::Value* RegistryKey::find(const std::string& name) const {
    for (const auto& v : m_values)
        if (equalsNoCase(v.name, name)) return &v;
    return nullptr;
}

RegistryKey::Value& RegistryKey::slot(const std::string& name) {
    for (auto& v : m_values)
        if (equalsNoCase(v.name, name)) return v;
    m_values.emplace_back();
    m_values.back().name = name;
    return m_values.back();
}

const RegistryKey::Value& RegistryKey::checked(const std::string& name, Type type) const {
    const Value* v = find(name);
    if (!v || !v->readable) throw Error("Failed to get data for '" + name + "'");
    if (v->type != type) throw Error("Invalid data type for '" + name + "'");
    return *v;
}

std::int32_t RegistryKey::readInteger(const std::string& name) const {
    return static_cast<std::int32_t>(checked(name, Type::Dword).dword);
}

std::string RegistryKey::readString(const std::string& name) const {
    return checked(name, Type::String).text;
}

std::vector<std::uint8_t> RegistryKey::readBinary(const std::string& name) const {
    return checked(name, Type::Binary).bytes;
}

void RegistryKey::writeInteger(const std::string& name, std::int32_t value) {
    Value& v = slot(name);
    v = Value{v.name, Type::Dword, true, static_cast<std::uint32_t>(value), {}, {}, {}};
}

void RegistryKey::writeString(const std::string& name, const std::string& value) {
    Value& v = slot(name);
    v = Value{v.name, Type::String, true, 0, value, {}, {}};
}

void RegistryKey::writeBinary(const std::string& name, const std::vector<std::uint8_t>& value) {
    Value& v = slot(name);
    v = Value{v.name, Type::Binary, true, 0, {}, value, {}};
}

std::vector<std::uint8_t> doubleToLittleEndian(double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    std::vector<std::uint8_t> out(8);
    for (int i = 0; i < 8; ++i) out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bits >> (8 * i));
    return out;
}

double doubleFromLittleEndian(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < 8 && i < bytes.size(); ++i) bits |= std::uint64_t{bytes[i]} << (8 * i);
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace vantrel
