// Failures that end a run. Their text is what the user reads in the error box.
#pragma once

#include <stdexcept>
#include <string>

namespace vantrel {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& text) : std::runtime_error(text) {}
};

} // namespace vantrel
