#include "video_frames.h"

#include <algorithm>
#include <cstring>

namespace vantrel::matroska {

namespace {

// Bytes after a start code's code byte that its header needs before it is looked at.
constexpr std::size_t kHeaderBytes = 12;

bool isVc1Header(std::uint8_t c) {
    return c == 0x0F || c == 0x0E || c == 0x1F || c == 0x1E;
}

} // namespace

bool VideoFramer::headersComplete() const {
    if (m_kind == EsKind::H264) return m_spsKept && m_ppsKept;
    return m_privateDone;
}

void VideoFramer::feed(const std::uint8_t* data, std::size_t n, bool hasPts, std::uint64_t pts, bool hasDts,
                       std::uint64_t dts, VideoFrameSink& sink) {
    if (hasPts || hasDts) {
        if (m_timesCount == m_times.size()) {
            std::move(m_times.begin() + 1, m_times.end(), m_times.begin());
            --m_timesCount;
        }
        Times& t = m_times[m_timesCount++];
        t.offset = m_bufOffset + static_cast<std::int64_t>(m_buf.size());
        t.hasPts = hasPts;
        t.pts = pts;
        t.hasDts = hasDts;
        t.dts = dts;
    }
    m_buf.insert(m_buf.end(), data, data + n);
    scan(false, sink);
}

void VideoFramer::flush(VideoFrameSink& sink) {
    scan(true, sink);
    if (m_picture) emit(m_buf.size(), sink);
    m_bufOffset += static_cast<std::int64_t>(m_buf.size());
    m_buf.clear();
    m_scanned = 0;
    m_picture = m_key = m_gop = m_firstField = m_entryPoint = false;
    m_picturesInFrame = 0;
    m_anchor = -1;
    m_temporalReference = -1;
    m_timesCount = 0;
}

void VideoFramer::scan(bool all, VideoFrameSink& sink) {
    const std::size_t room = all ? 3 : 3 + kHeaderBytes;
    std::size_t i = m_scanned;
    while (i + room < m_buf.size()) {
        // The next 0x01 that could end a start code at i or later, found by memchr.
        const std::size_t limit = m_buf.size() - room; // a start code begins before it
        const auto* one = static_cast<const std::uint8_t*>(std::memchr(m_buf.data() + i + 2, 1, limit - i));
        if (!one) {
            i = limit;
            break;
        }
        const auto j = static_cast<std::size_t>(one - m_buf.data());
        if (m_buf[j - 1] != 0 || m_buf[j - 2] != 0) {
            i = j - 1;
            continue;
        }
        i = j - 2;
        capture(i);
        if (startsFrame(i)) {
            emit(i, sink);
            m_buf.erase(m_buf.begin(), m_buf.begin() + static_cast<std::ptrdiff_t>(i));
            m_bufOffset += static_cast<std::int64_t>(i);
            if (m_privateFrom >= 0) m_privateFrom -= static_cast<std::int64_t>(i);
            i = 0;
        }
        look(i);
        i += 3;
    }
    m_scanned = i;
}

void VideoFramer::capture(std::size_t i) {
    if (m_privateFrom < 0) return;
    const std::uint8_t c = m_buf[i + 3];
    const auto from = static_cast<std::size_t>(m_privateFrom);
    if (m_kind == EsKind::H264) {
        // The NAL unit up to this start code, less trailing zeros.
        std::size_t end = i;
        while (end > from + 3 && m_buf[end - 1] == 0) --end;
        m_private.insert(m_private.end(), {0, 0, 0, 1});
        m_private.insert(m_private.end(), m_buf.begin() + static_cast<std::ptrdiff_t>(from + 3),
                         m_buf.begin() + static_cast<std::ptrdiff_t>(end));
        m_privateFrom = -1;
        return;
    }
    const bool goesOn = m_kind == EsKind::Mpeg2Video ? c == 0xB5 : isVc1Header(c);
    if (goesOn) return;
    if (m_kind == EsKind::Vc1) m_private.push_back(0); // the byte a VfW private begins the headers with
    m_private.insert(m_private.end(), m_buf.begin() + static_cast<std::ptrdiff_t>(from),
                     m_buf.begin() + static_cast<std::ptrdiff_t>(i));
    m_privateFrom = -1;
    m_privateDone = true;
}

bool VideoFramer::startsFrame(std::size_t i) {
    if (!m_picture) return false;
    const std::uint8_t c = m_buf[i + 3];
    switch (m_kind) {
    case EsKind::Mpeg2Video:
        if (c == 0x00 && m_firstField) {
            m_firstField = false;
            return false;
        }
        return c == 0xB3 || c == 0xB8 || c == 0x00;
    case EsKind::Vc1: return isVc1Header(c) || c == 0x0D || c == 0x1D;
    case EsKind::H264: {
        const int type = c & 0x1F;
        if (type == 9) return true;
        if (m_audSeen) return false;
        if (type == 6 || type == 7 || type == 8) return true;
        // A slice that begins a picture (first_mb_in_slice 0).
        return (type == 1 || type == 5) && i + 4 < m_buf.size() && (m_buf[i + 4] & 0x80) != 0;
    }
    default: return false;
    }
}

void VideoFramer::look(std::size_t i) {
    const std::uint8_t c = m_buf[i + 3];
    const std::size_t left = m_buf.size() - (i + 4);
    const std::uint8_t* h = m_buf.data() + i + 4;
    const std::int64_t at = m_bufOffset + static_cast<std::int64_t>(i);
    switch (m_kind) {
    case EsKind::Mpeg2Video:
        if (c == 0xB3) {
            if (!m_privateDone && m_privateFrom < 0) m_privateFrom = static_cast<std::int64_t>(i);
            if (left >= 3) {
                m_width = h[0] << 4 | h[1] >> 4;
                m_height = (h[1] & 0x0F) << 8 | h[2];
            }
        } else if (c == 0xB8) {
            m_gop = true;
        } else if (c == 0x00) {
            if (!m_picture) m_anchor = at;
            m_picture = true;
            ++m_picturesInFrame;
            if (left >= 2) {
                m_temporalReference = h[0] << 2 | h[1] >> 6;
                m_key = m_key || ((h[1] >> 3) & 7) == 1;
            }
        } else if (c == 0xB5 && left >= 3 && (h[0] >> 4) == 8 && m_picture) {
            // The picture coding extension: a field picture waits for its pair
            // unless it is the second of one.
            const int structure = h[2] & 3;
            if (structure != 3 && m_picturesInFrame == 1) m_firstField = true;
        }
        break;
    case EsKind::Vc1:
        if (c == 0x0F) {
            if (!m_privateDone && m_privateFrom < 0) m_privateFrom = static_cast<std::int64_t>(i);
            // MAX_CODED_WIDTH and _HEIGHT after 16 bits of profile, level and rates.
            if (left >= 5) {
                const std::uint32_t bits =
                    static_cast<std::uint32_t>(h[2]) << 16 | static_cast<std::uint32_t>(h[3]) << 8 | h[4];
                m_width = static_cast<int>((bits >> 12) + 1) * 2;
                m_height = static_cast<int>((bits & 0xFFF) + 1) * 2;
            }
        } else if (c == 0x0E) {
            m_entryPoint = true;
        } else if (c == 0x0D) {
            if (!m_picture) m_anchor = at;
            m_picture = true;
            m_key = m_key || m_entryPoint;
        }
        break;
    case EsKind::H264: {
        const int type = c & 0x1F;
        if (!m_picture && m_anchor < 0) m_anchor = at;
        if (type == 9) m_audSeen = true;
        if (type == 7 && !m_spsKept) {
            m_spsKept = true;
            m_privateFrom = static_cast<std::int64_t>(i);
        } else if (type == 8 && !m_ppsKept && m_spsKept) {
            m_ppsKept = true;
            m_privateFrom = static_cast<std::int64_t>(i);
        }
        if (type == 1 || type == 5) m_picture = true;
        if (type == 5) m_key = true;
        break;
    }
    default: break;
    }
}

void VideoFramer::emit(std::size_t end, VideoFrameSink& sink) {
    VideoFrame f;
    f.data = m_buf.data();
    f.size = end;
    f.key = m_key;
    f.temporalReference = m_temporalReference;
    f.gopStart = m_gop;
    // The times of the last packet that began at or before the picture's start.
    std::size_t used = 0;
    for (std::size_t k = 0; k < m_timesCount && m_times[k].offset <= m_anchor; ++k) {
        used = k + 1;
        f.hasPts = m_times[k].hasPts;
        f.pts = m_times[k].pts;
        f.hasDts = m_times[k].hasDts;
        f.dts = m_times[k].dts;
    }
    std::move(m_times.begin() + static_cast<std::ptrdiff_t>(used),
              m_times.begin() + static_cast<std::ptrdiff_t>(m_timesCount), m_times.begin());
    m_timesCount -= used;
    ++m_frames;
    sink.frame(f);
    m_picture = m_key = m_gop = m_firstField = m_entryPoint = false;
    m_picturesInFrame = 0;
    m_anchor = -1;
    m_temporalReference = -1;
}

} // namespace vantrel::matroska
