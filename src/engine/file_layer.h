// Files as the runs use them: one input read sequentially, outputs appended to.
// Every failure is an Error with the text the user sees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vantrel {

// Absolute form of a path as the error texts show it (not resolved through links).
std::string absolutePath(const std::string& path);

bool fileExists(const std::string& path);

// An existing file opened read-only. Reads return what they got and never fail.
class InputFile {
public:
    explicit InputFile(const std::string& path); // throws Error("Cannot open file ...")
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    std::int64_t size() const { return m_size; }
    std::int64_t position() const { return m_position; }
    // Reads up to n bytes at the current position; returns the count read.
    std::size_t read(void* buffer, std::size_t n);
    const std::string& path() const { return m_path; }

private:
    int m_fd = -1;
    std::int64_t m_size = 0;
    std::int64_t m_position = 0;
    std::string m_path;
};

// A file created new or cut to length 0, written by appending. Writes are
// buffered; a write that cannot be completed surfaces as Error("Stream write
// error") from write() or, at the latest, from close(). The destructor closes
// quietly (a run that is already failing keeps its first error).
class OutputFile {
public:
    explicit OutputFile(const std::string& path); // throws Error("Cannot create file ...")
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const void* data, std::size_t n);
    void flush();
    void close();
    std::int64_t size() const { return m_written; }
    const std::string& path() const { return m_path; }

    // Test hook: the file system refuses any byte beyond this many (-1: no limit).
    void setWriteLimitForTest(std::int64_t limit) { m_limit = limit; }

private:
    void writeThrough(const unsigned char* data, std::size_t n);

    int m_fd = -1;
    std::string m_path;
    std::unique_ptr<unsigned char[]> m_buffer;
    std::size_t m_used = 0;
    std::int64_t m_written = 0;
    std::int64_t m_onDisk = 0;
    std::int64_t m_limit = -1;
    bool m_failed = false;
};

} // namespace vantrel
