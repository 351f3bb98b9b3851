// Files as the runs use them: one input read sequentially, outputs appended to.
// Every failure is an Error with the text the user sees.
#pragma once

#include "errors.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace vantrel {

// Absolute form of a path as the error texts show it (not resolved through links).
std::string absolutePath(const std::string& path);

// True when the path names a regular file: exactly the files an InputFile opens.
bool fileExists(const std::string& path);

// Sets the process up for the file layer; every program calls it at start.
// A write beyond the file-size limit then fails and is reported as a write
// error instead of killing the program.
void setUpFileLayer();

// A file on disk: its device and inode. Two names of one file (a hard or
// symbolic link) have the same identity.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the regular file at path, if there is one now.
std::optional<FileIdentity> regularFileIdentity(const std::string& path);

// Bytes read front to back: a file on disk or, behind the same calls, a file
// held in something else (a disc image). Reads follow the file layer's rules:
// every byte asked for up to size(), or an Error with the user's text.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::int64_t size() const = 0;
    virtual std::int64_t position() const = 0;
    virtual std::size_t read(void* buffer, std::size_t n) = 0;
    // Moves the read position to offset (0..size()); reading then goes on from
    // there. A source that cannot move throws Error("Cannot read file ...").
    virtual void seek(std::int64_t offset);
    // The name the error texts give it.
    virtual const std::string& path() const = 0;
};

// An existing regular file opened read-only. A read either gets every byte it
// asks for, up to the size the file had at the open, or throws.
class InputFile : public ByteSource {
public:
    // Throws Error("Cannot open file ...") when the file cannot be opened, is
    // not a regular file, or is one of the busy files (strerror(EBUSY)).
    explicit InputFile(const std::string& path, std::span<const FileIdentity> busy = {});
    ~InputFile() override;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    std::int64_t size() const override { return m_size; }
    std::int64_t position() const override { return m_position; }
    // Reads min(n, size() - position()) bytes at the current position and
    // returns that count. A failed read, or a file that ends before the size
    // it had at the open, throws Error("Cannot read file ...").
    std::size_t read(void* buffer, std::size_t n) override;
    void seek(std::int64_t offset) override;
    const std::string& path() const override { return m_path; }
    FileIdentity identity() const { return m_identity; }

private:
    int m_fd = -1;
    std::int64_t m_size = 0;
    std::int64_t m_position = 0;
    std::string m_path;
    FileIdentity m_identity;
};

// Opens what a path names for reading: a regular file as an InputFile does, or
// a file inside a disc image named as IMAGE/INNER (see disc_image.h). The
// reader never knows which of the two it has.
std::unique_ptr<ByteSource> openSource(const std::string& path);

// A file created new or cut to length 0, written by appending. Writes are
// buffered; a write that cannot be completed surfaces as Error("Stream write
// error") from write() or, at the latest, from close(), its detail() naming
// the file and the system's reason. The destructor closes
// quietly (a run that is already failing keeps its first error).
class OutputFile {
public:
    // Throws Error("Cannot create file ...") when the file cannot be created,
    // is neither a regular file nor a character device, or is one of the busy
    // files (strerror(EBUSY)); a busy file is left as it was.
    explicit OutputFile(const std::string& path, std::span<const FileIdentity> busy = {});
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const void* data, std::size_t n);
    void flush();
    // Writes what is buffered and closes. A file that no longer has a name on
    // disk (its folder was removed) has lost its bytes: a write error.
    void close();
    std::int64_t size() const { return m_written; }
    const std::string& path() const { return m_path; }
    // The regular file written to; none for a device.
    std::optional<FileIdentity> identity() const { return m_identity; }

    // Test hook: the file system refuses any byte beyond this many (-1: no limit).
    void setWriteLimitForTest(std::int64_t limit) { m_limit = limit; }

private:
    void writeThrough(const unsigned char* data, std::size_t n);
    [[noreturn]] void writeFailed(int err);
    Error writeError() const;

    int m_fd = -1;
    std::string m_path;
    std::optional<FileIdentity> m_identity;
    std::unique_ptr<unsigned char[]> m_buffer;
    std::size_t m_used = 0;
    std::int64_t m_written = 0;
    std::int64_t m_onDisk = 0;
    std::int64_t m_limit = -1;
    bool m_linked = false; // a regular file with a name on disk at the open
    bool m_failed = false;
    int m_error = 0; // the system's reason of the write that failed (an errno value)
};

} // namespace vantrel
