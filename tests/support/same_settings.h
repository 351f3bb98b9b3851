// Whether two loaded settings keys hold the same values: the same names in the
// same order, each with the same type and readability, and the same data (the
// typed data of a readable value, the text as found of any other).
#pragma once

#include "settings/registry_file.h"

#include <string>

namespace vantrel::test {

// Empty when the keys agree, otherwise a description of the first difference.
inline std::string settingsDifference(const RegistryKey& a, const RegistryKey& b) {
    const auto& x = a.values();
    const auto& y = b.values();
    if (x.size() != y.size()) return std::to_string(x.size()) + " values against " + std::to_string(y.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        const RegistryKey::Value& v = x[i];
        const RegistryKey::Value& w = y[i];
        const bool typed = v.readable && v.type != RegistryKey::Type::Other;
        const bool same =
            v.name == w.name && v.type == w.type && v.readable == w.readable &&
            (typed ? v.dword == w.dword && v.text == w.text && v.bytes == w.bytes : v.raw == w.raw);
        if (!same) return "value " + std::to_string(i) + " (\"" + v.name + "\"=" + v.raw + ") differs";
    }
    return {};
}

} // namespace vantrel::test
