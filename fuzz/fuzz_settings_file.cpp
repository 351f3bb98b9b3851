// Arbitrary bytes as the settings file: loading never crashes, the text written
// back grows at most a few times over the input, and loading what was saved
// gives the same values; a second save writes the same text again.
#include "files/errors.h"
#include "settings/registry_file.h"
#include "support/same_settings.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace vantrel;

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto loaded = RegistryKey::parse(text);
    if (!loaded) return 0;

    // Every read either gives the value or throws the reader's error.
    for (const auto& v : loaded->values()) {
        try {
            (void)loaded->readInteger(v.name);
            (void)loaded->readString(v.name);
            (void)loaded->readBinary(v.name);
        } catch (const Error&) {
        }
    }

    const std::string saved = loaded->serialize();
    // A byte of the input becomes at most four ("\xHH"), plus the header lines.
    check(saved.size() <= 4 * size + 128);
    const auto again = RegistryKey::parse(saved);
    check(again.has_value());
    check(test::settingsDifference(*loaded, *again).empty());
    check(again->serialize() == saved);
    return 0;
}
