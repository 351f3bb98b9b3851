// The settings key as a text file in the registry export format:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Corvane Software\Vantrel]
//   "Width"=dword:0000016a
//   "AudioExt"="mpa"
//   "Install"=hex:00,00,00,00,00,00,e6,40
//
// Only the values of our own key are kept; other keys and comments are passed
// over. Values of types the program does not use (hex(N):...) are kept as they
// stand and written back unchanged. No Qt here: the window wraps the file I/O.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantrel {

class RegistryKey {
public:
    enum class Type { Dword, String, Binary, Other };

    struct Value {
        std::string name;
        Type type = Type::Other;
        // False when the data after the type tag could not be read (a torn or
        // hand-edited line); reading such a value fails.
        bool readable = true;
        std::uint32_t dword = 0;
        std::string text;
        std::vector<std::uint8_t> bytes;
        std::string raw; // the data part as found in the file (after "=")
    };

    static const char* const kKeyPath; // HKEY_CURRENT_USER\Software\Corvane Software\Vantrel

    // An empty key of that path (another program of ours keeps its own key).
    explicit RegistryKey(std::string keyPath = kKeyPath) : m_keyPath(std::move(keyPath)) {}

    // Parses a whole file. Returns no key when the file does not hold the
    // key's section (the key does not exist).
    static std::optional<RegistryKey> parse(const std::string& fileText,
                                            const std::string& keyPath = kKeyPath);
    // The whole file: header, blank line, section line, one line per value.
    std::string serialize() const;

    bool exists(const std::string& name) const { return find(name) != nullptr; }
    const Value* find(const std::string& name) const;

    // Readers throw vantrel::Error "Invalid data type for 'NAME'" when the value
    // has another type and "Failed to get data for 'NAME'" when its data can not
    // be read. The value must exist.
    std::int32_t readInteger(const std::string& name) const;
    bool readBool(const std::string& name) const { return readInteger(name) != 0; }
    std::string readString(const std::string& name) const;
    std::vector<std::uint8_t> readBinary(const std::string& name) const;

    // Writers replace a value in place (keeping its position in the file) or
    // append it after the others.
    void writeInteger(const std::string& name, std::int32_t value);
    void writeBool(const std::string& name, bool value) { writeInteger(name, value ? 1 : 0); }
    void writeString(const std::string& name, const std::string& value);
    void writeBinary(const std::string& name, const std::vector<std::uint8_t>& value);

    const std::vector<Value>& values() const { return m_values; }

private:
    Value& slot(const std::string& name);
    const Value& checked(const std::string& name, Type type) const;
    std::string m_keyPath;
    std::vector<Value> m_values;
};

// The 8 bytes of an IEEE 754 double, little-endian, and back.
std::vector<std::uint8_t> doubleToLittleEndian(double value);
double doubleFromLittleEndian(const std::vector<std::uint8_t>& bytes);

} // namespace vantrel
