#include "block_reader.h"
#include "files/path_parts.h"
#include "progress_text.h"

#include <algorithm>
#include <new>
#include <utility>

namespace vantrel {

namespace {
constexpr std::int64_t kProgressStep = std::int64_t{4} * 1048576; // progress line and pending events
constexpr std::int64_t kRepaintStep = std::int64_t{64} * 1048576; // whole-window repaint
constexpr std::align_val_t kPage{4096};

static_assert(BlockReader::kReadAhead % kPackBufferSize == 0 && kProgressStep % BlockReader::kReadAhead == 0,
              "reads end on every progress point");
} // namespace

BlockReader::BlockReader(Core& core, std::size_t unit, std::string verb, std::int64_t end)
    : m_core(core), m_source(*core.sourceFile), m_unit(unit), m_verb(std::move(verb)),
      m_name(fileNamePart(m_source.path())), m_t0(core.window.now()),
      m_buffer(static_cast<std::uint8_t*>(::operator new(kReadAhead, kPage))),
      m_position(m_source.position()) {
    const std::int64_t size = m_source.size();
    core.window.sourceRunStarted(m_verb + m_name, end < 0 ? size : std::min(end, size));
}

BlockReader::~BlockReader() {
    ::operator delete(m_buffer, kPage);
}

bool BlockReader::next() {
    const std::int64_t size = m_source.size();
    if (m_position >= size || m_core.stopRequested != 0) return false;
    m_at += m_size;
    if (m_at >= m_have) {
        m_have = m_source.read(m_buffer, kReadAhead); // all of it, up to the size: else it throws
        m_at = 0;
        m_core.window.sourceRead(m_source.position());
    }
    m_size = std::min(m_unit, m_have - m_at);
    m_position += static_cast<std::int64_t>(m_size);

    if (m_position % kProgressStep == 0) {
        WindowPort& window = m_core.window;
        window.slog(progressLine(m_core, m_verb, m_name, m_position, size, m_t0), 1);
        window.processEvents();
        if (m_position % kRepaintStep == 0) window.repaint();
    }
    return true;
}

} // namespace vantrel
