#include "matroska_writer.h"

#include "files/errors.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace vantrel::matroska {

namespace {

constexpr AVRational kTicks{1, 90000};
constexpr int kBufferBytes = 1 << 16;

AVCodecID codecOf(EsKind kind, int bits) {
    switch (kind) {
    case EsKind::Mpeg2Video: return AV_CODEC_ID_MPEG2VIDEO;
    case EsKind::H264: return AV_CODEC_ID_H264;
    case EsKind::Vc1: return AV_CODEC_ID_VC1;
    case EsKind::Ac3: return AV_CODEC_ID_AC3;
    case EsKind::Eac3: return AV_CODEC_ID_EAC3;
    case EsKind::Dts: return AV_CODEC_ID_DTS;
    case EsKind::TrueHd: return AV_CODEC_ID_TRUEHD;
    case EsKind::Mlp: return AV_CODEC_ID_MLP;
    case EsKind::Lpcm:
        return bits > 24 ? AV_CODEC_ID_PCM_S32LE : bits > 16 ? AV_CODEC_ID_PCM_S24LE : AV_CODEC_ID_PCM_S16LE;
    case EsKind::Subpicture: return AV_CODEC_ID_HDMV_PGS_SUBTITLE;
    case EsKind::Unknown: break;
    }
    return AV_CODEC_ID_NONE;
}

std::string avText(int code) {
    char t[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, t, sizeof t);
    return t;
}

} // namespace

std::string codecIdOf(EsKind kind) {
    switch (kind) {
    case EsKind::Mpeg2Video: return "V_MPEG2";
    case EsKind::H264: return "V_MPEG4/ISO/AVC";
    case EsKind::Vc1: return "V_MS/VFW/FOURCC";
    case EsKind::Ac3: return "A_AC3";
    case EsKind::Eac3: return "A_EAC3";
    case EsKind::Dts: return "A_DTS";
    case EsKind::TrueHd: return "A_TRUEHD";
    case EsKind::Mlp: return "A_MLP";
    case EsKind::Lpcm: return "A_PCM/INT/LIT";
    case EsKind::Subpicture: return "S_HDMV/PGS";
    case EsKind::Unknown: break;
    }
    return {};
}

// The muxer's context, its own output (a file descriptor, or nothing) and the
// one packet every block goes through.
struct MatroskaWriter::State {
    std::string path;
    int fd = -1;
    int savedErrno = 0;
    std::int64_t position = 0, end = 0;
    AVFormatContext* format = nullptr;
    AVIOContext* io = nullptr;
    AVPacket* packet = nullptr;
    bool headerWritten = false;
    bool finished = false;

    ~State() {
        av_packet_free(&packet);
        if (io) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
        if (format) format->pb = nullptr;
        avformat_free_context(format);
        if (fd >= 0) ::close(fd);
    }

    static int writeBytes(void* opaque, std::uint8_t* data, int size) {
        auto* s = static_cast<State*>(opaque);
        std::size_t done = 0;
        while (s->fd >= 0 && done < static_cast<std::size_t>(size)) {
            const ssize_t n = ::write(s->fd, data + done, static_cast<std::size_t>(size) - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                s->savedErrno = n < 0 ? errno : ENOSPC;
                return AVERROR(s->savedErrno);
            }
            done += static_cast<std::size_t>(n);
        }
        s->position += size;
        if (s->position > s->end) s->end = s->position;
        return size;
    }
    static std::int64_t seekTo(void* opaque, std::int64_t offset, int whence) {
        auto* s = static_cast<State*>(opaque);
        if (whence == AVSEEK_SIZE) return s->end;
        whence &= ~AVSEEK_FORCE;
        std::int64_t to = whence == SEEK_SET   ? offset
                          : whence == SEEK_CUR ? s->position + offset
                                               : s->end + offset;
        if (to < 0) return AVERROR(EINVAL);
        if (s->fd >= 0 && ::lseek(s->fd, to, SEEK_SET) < 0) return AVERROR(errno);
        s->position = to;
        return to;
    }

    [[noreturn]] void fail(int code) const {
        const std::string why = savedErrno ? std::strerror(savedErrno) : avText(code);
        if (path.empty()) throw Error(ErrorKind::Output, "Matroska: " + why);
        throw Error::writeFailed(path, why);
    }
};

MatroskaWriter::MatroskaWriter(const FileSpec& fileSpec) : m_state(std::make_unique<State>()) {
    State& s = *m_state;
    s.path = fileSpec.path;
    if (!fileSpec.path.empty()) {
        s.fd = ::open(fileSpec.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (s.fd < 0) throw Error::cannotCreate(fileSpec.path, std::strerror(errno));
    }
    av_log_set_level(AV_LOG_ERROR);
    if (avformat_alloc_output_context2(&s.format, nullptr, "matroska", nullptr) < 0 || !s.format)
        throw std::bad_alloc();
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kBufferBytes));
    if (!buffer) throw std::bad_alloc();
    s.io = avio_alloc_context(buffer, kBufferBytes, 1, &s, nullptr, &State::writeBytes, &State::seekTo);
    if (!s.io) {
        av_free(buffer);
        throw std::bad_alloc();
    }
    s.io->seekable = AVIO_SEEKABLE_NORMAL;
    s.format->pb = s.io;
    s.format->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_BITEXACT;
    s.packet = av_packet_alloc();
    if (!s.packet) throw std::bad_alloc();
    if (!fileSpec.title.empty()) av_dict_set(&s.format->metadata, "title", fileSpec.title.c_str(), 0);

    for (const TrackSpec& t : fileSpec.tracks) {
        AVStream* st = avformat_new_stream(s.format, nullptr);
        if (!st) throw std::bad_alloc();
        st->time_base = kTicks;
        AVCodecParameters* par = st->codecpar;
        par->codec_id = codecOf(t.kind, t.bits);
        if (isVideo(t.kind)) {
            par->codec_type = AVMEDIA_TYPE_VIDEO;
            par->width = t.width;
            par->height = t.height;
            if (t.kind == EsKind::Vc1) par->codec_tag = MKTAG('W', 'V', 'C', '1');
            if (t.rateNum > 0 && t.rateDen > 0)
                st->avg_frame_rate = {static_cast<int>(t.rateNum), static_cast<int>(t.rateDen)};
        } else if (isAudio(t.kind)) {
            par->codec_type = AVMEDIA_TYPE_AUDIO;
            par->sample_rate = t.sampleRate;
            av_channel_layout_default(&par->ch_layout, t.channels > 0 ? t.channels : 2);
            if (t.kind == EsKind::Lpcm) {
                par->bits_per_coded_sample = t.bits;
                par->bits_per_raw_sample = t.bits;
                par->block_align = t.channels * t.bits / 8;
            }
        } else {
            par->codec_type = AVMEDIA_TYPE_SUBTITLE;
        }
        if (!t.codecPrivate.empty()) {
            const std::size_t n = t.codecPrivate.size();
            par->extradata = static_cast<std::uint8_t*>(av_mallocz(n + AV_INPUT_BUFFER_PADDING_SIZE));
            if (!par->extradata) throw std::bad_alloc();
            std::memcpy(par->extradata, t.codecPrivate.data(), n);
            par->extradata_size = static_cast<int>(n);
        }
        av_dict_set(&st->metadata, "language", t.language.empty() ? "und" : t.language.c_str(), 0);
        if (!t.name.empty()) av_dict_set(&st->metadata, "title", t.name.c_str(), 0);
        st->disposition = (t.isDefault ? AV_DISPOSITION_DEFAULT : 0) |
                          (t.forced ? AV_DISPOSITION_FORCED : 0) |
                          (t.commentary ? AV_DISPOSITION_COMMENT : 0) |
                          (t.hearingImpaired ? AV_DISPOSITION_HEARING_IMPAIRED : 0) |
                          (t.visuallyImpaired ? AV_DISPOSITION_VISUAL_IMPAIRED : 0);
    }

    if (!fileSpec.chapters.empty()) {
        const std::size_t n = fileSpec.chapters.size();
        s.format->chapters = static_cast<AVChapter**>(av_calloc(n, sizeof(AVChapter*)));
        if (!s.format->chapters) throw std::bad_alloc();
        for (std::size_t i = 0; i < n; ++i) {
            auto* c = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
            if (!c) throw std::bad_alloc();
            s.format->chapters[i] = c;
            s.format->nb_chapters = static_cast<unsigned>(i + 1);
            c->id = static_cast<std::int64_t>(i + 1);
            c->time_base = {1, 1000000000};
            const double end = i + 1 < n ? fileSpec.chapters[i + 1].seconds
                                         : std::max(fileSpec.seconds, fileSpec.chapters[i].seconds);
            c->start = std::llround(fileSpec.chapters[i].seconds * 1e9);
            c->end = std::max<std::int64_t>(c->start, std::llround(end * 1e9));
            av_dict_set(&c->metadata, "title", fileSpec.chapters[i].name.c_str(), 0);
        }
    }

    AVDictionary* options = nullptr;
    // The tracks' default flags as given (no track of a kind made default by the muxer).
    av_dict_set(&options, "default_mode", "passthrough", 0);
    const int rc = avformat_write_header(s.format, &options);
    av_dict_free(&options);
    if (rc < 0) s.fail(rc);
    s.headerWritten = true;
}

MatroskaWriter::~MatroskaWriter() = default;

void MatroskaWriter::write(int track, const std::uint8_t* data, std::size_t size, std::int64_t pts,
                           std::int64_t dts, std::int64_t duration, bool key) {
    State& s = *m_state;
    AVPacket* p = s.packet;
    AVStream* st = s.format->streams[track];
    p->data = const_cast<std::uint8_t*>(data); // NOLINT: the muxer reads the block, never writes it
    p->size = static_cast<int>(size);
    p->stream_index = track;
    p->pts = av_rescale_q(pts, kTicks, st->time_base);
    p->dts = av_rescale_q(dts, kTicks, st->time_base);
    p->duration = duration > 0 ? av_rescale_q(duration, kTicks, st->time_base) : 0;
    p->flags = key ? AV_PKT_FLAG_KEY : 0;
    const int rc = av_write_frame(s.format, p);
    p->data = nullptr;
    p->size = 0;
    if (rc < 0) s.fail(rc);
}

void MatroskaWriter::finish() {
    State& s = *m_state;
    if (s.finished) return;
    s.finished = true;
    int rc = av_write_trailer(s.format);
    if (rc >= 0) {
        avio_flush(s.io);
        if (s.io->error < 0) rc = s.io->error;
    }
    if (rc < 0) s.fail(rc);
    if (s.fd >= 0) {
        const int fd = s.fd;
        s.fd = -1;
        if (::close(fd) != 0) {
            s.savedErrno = errno;
            s.fail(AVERROR(s.savedErrno));
        }
    }
}

std::int64_t MatroskaWriter::bytes() const {
    return m_state->end;
}

} // namespace vantrel::matroska
