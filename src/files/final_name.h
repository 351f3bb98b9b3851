// An output written under a temporary name beside its final one and given
// that name only at the end: the temporary's name, the lock that tells a run
// in progress from one that was killed, and the rename that never replaces a
// file that appeared meanwhile.
#pragma once

#include <string>
#include <vector>

namespace vantrel {

// "DIR/.NAME.tmp-XXXXXX" for the output DIR/NAME: the pattern of mkdtemp and
// mkstemp. Every temporary of an output is named so, and only those are.
std::string temporaryPattern(const std::string& output);

// Creates an empty temporary file of `output` (the pattern's name, its mode
// as a new file's: 0666 less the umask) and gives its path. Throws
// Error("Cannot create file ...") when it cannot be made.
std::string createTemporaryFile(const std::string& output);

// Held by the run that writes a temporary (a file or a folder) for as long as
// it writes it, or by a run that writes into a folder: an exclusive lock on
// it, which the system drops when the run ends, however it ends.
class TemporaryLock {
public:
    TemporaryLock() = default;
    // Locks the file or folder at path; a lock that cannot be taken leaves the
    // object without one (held() is false), the run goes on all the same.
    explicit TemporaryLock(const std::string& path);
    ~TemporaryLock();
    TemporaryLock(TemporaryLock&& other) noexcept;
    TemporaryLock& operator=(TemporaryLock&& other) noexcept;
    TemporaryLock(const TemporaryLock&) = delete;
    TemporaryLock& operator=(const TemporaryLock&) = delete;
    bool held() const { return m_fd >= 0; }
    // Another run holds the lock.
    bool busy() const { return m_busy; }

private:
    int m_fd = -1;
    bool m_busy = false;
};

// A temporary folder kept on purpose (the user asked to keep it) holds a file
// of this name; it is never taken for what a killed run left.
inline constexpr const char* kKeptMarker = ".kept";

// A temporary of an output found beside it (a kept folder is none).
struct LeftTemporary {
    std::string path;
    enum class State { Left, InUse, Unknown } state = State::Unknown; // Left: no run holds its lock
};
// The temporaries of `output` that are there now (none when its folder cannot be read).
std::vector<LeftTemporary> temporariesOf(const std::string& output);

// Gives the file `from` the name `to` unless `to` exists, in one step:
// renameat2(RENAME_NOREPLACE), or a hard link and the removal of the old
// name where the file system takes no such rename. 0 when done, else the
// system's error number (EEXIST when `to` exists); `from` is then as it was.
int renameNoReplace(const std::string& from, const std::string& to);

} // namespace vantrel
