// Failures that end a run. Their text is what the user reads in the error box;
// their kind is what the command line turns into its exit code.
#pragma once

#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

namespace vantrel {

// What went wrong, as far as a caller decides what to do about it.
enum class ErrorKind {
    Output,          // an output not written (the kind of a plain Error(text))
    Usage,           // a request that cannot be carried out as asked: a bad option, a name naming nothing
    InputUnreadable, // an input missing, unreadable or not what it should be
    NotFound,        // a playlist or a title missing where one is needed
    Muxer,           // the muxer missing or failing
    Check,           // a result that does not hold what was meant
    Interrupted,     // stopped at the user's request
};

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& text) : std::runtime_error(text) {}
    Error(ErrorKind kind, const std::string& text, std::string path = {}, std::string detail = {})
        : std::runtime_error(text), m_kind(kind), m_path(std::move(path)), m_detail(std::move(detail)) {}

    // "Cannot open file \"PATH\". WHY" and the like; `path` as the text shows it.
    static Error cannotOpen(const std::string& path, const std::string& why) {
        return {ErrorKind::InputUnreadable, "Cannot open file \"" + path + "\". " + why, path};
    }
    static Error cannotRead(const std::string& path, const std::string& why) {
        return {ErrorKind::InputUnreadable, "Cannot read file \"" + path + "\". " + why, path};
    }
    static Error cannotCreate(const std::string& path, const std::string& why) {
        return {ErrorKind::Output, "Cannot create file \"" + path + "\". " + why, path};
    }
    // A write that could not be completed: the window says "Stream write
    // error"; detail() names the file and the system's reason, when known.
    static Error writeFailed(const std::string& path, const std::string& why) {
        return {ErrorKind::Output, "Stream write error", path,
                why.empty() ? std::string() : "Cannot write file \"" + path + "\". " + why};
    }

    ErrorKind kind() const { return m_kind; }
    // The file the failure concerns, as its text names it; empty when none.
    const std::string& path() const { return m_path; }
    // The text with what the window's error box leaves out (the command line's).
    std::string detail() const { return m_detail.empty() ? std::string(what()) : m_detail; }
    // The same failure as another kind, for a caller that knows better what it means.
    Error as(ErrorKind kind) const {
        Error e = *this;
        e.m_kind = kind;
        return e;
    }

private:
    ErrorKind m_kind = ErrorKind::Output;
    std::string m_path;
    std::string m_detail;
};

// The text that reports a failure to the user: a run that ran out of memory
// reads "Out of memory", not the library's name for it.
inline std::string errorText(const std::exception& e) {
    if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) return "Out of memory";
    return e.what();
}

} // namespace vantrel
