// Failures that end a run. Their text is what the user reads in the error box.
#pragma once

#include <exception>
#include <new>
#include <stdexcept>
#include <string>

namespace vantrel {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& text) : std::runtime_error(text) {}
};

// The text that reports a failure to the user: a run that ran out of memory
// reads "Out of memory", not the library's name for it.
inline std::string errorText(const std::exception& e) {
    if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) return "Out of memory";
    return e.what();
}

} // namespace vantrel
