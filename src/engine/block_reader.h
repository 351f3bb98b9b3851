// The one read path of the runs over a source: SourceFile from its position to
// the size it had at the open, handed out in units of a fixed size (a 32,768-
// byte block for the pack loop, a 2048-byte pack for the rebuild). It owns the
// read-ahead, the progress points (every 4 MiB of position: the progress line
// and pending events; every 64 MiB: a repaint), the position after each read
// (WindowPort::sourceRead), the cancel points (before each unit) and the read
// failures (they end the run: InputFile::read throws).
#pragma once

#include "core.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel {

class BlockReader {
public:
    // unit divides kReadAhead; verb starts the progress line ("Reading ").
    // Notes the start time of the progress estimate and tells the window the
    // run has begun; `end` is where the run means to stop (a fast scan stops
    // early), the size when -1.
    BlockReader(Core& core, std::size_t unit, std::string verb, std::int64_t end = -1);
    ~BlockReader();
    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;

    // Hands out the next unit (shorter only at the end of the file): false at
    // the end, or once a stop has been requested.
    bool next();
    std::uint8_t* data() const { return m_buffer + m_at; }
    std::size_t size() const { return m_size; }
    // The position after the current unit.
    std::int64_t position() const { return m_position; }

    // Bytes per read: four blocks, into a page-aligned buffer. The kernel's
    // copy into a buffer that sits just past a page boundary runs at a
    // fraction of the speed.
    static constexpr std::size_t kReadAhead = 4 * kPackBufferSize;

private:
    Core& m_core;
    ByteSource& m_source;
    const std::size_t m_unit;
    const std::string m_verb;
    const std::string m_name;
    const double m_t0;
    std::uint8_t* m_buffer;
    std::size_t m_have = 0; // bytes in the buffer
    std::size_t m_at = 0;   // offset of the current unit
    std::size_t m_size = 0; // bytes of the current unit
    std::int64_t m_position;
};

} // namespace vantrel
