#include "read_back.h"

#include "files/errors.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <memory>

namespace vantrel::matroska {

namespace {

std::string entry(AVDictionary* d, const char* key) {
    const AVDictionaryEntry* e = av_dict_get(d, key, nullptr, 0);
    return e ? e->value : "";
}

struct Input {
    AVFormatContext* format = nullptr;
    AVPacket* packet = av_packet_alloc();
    ~Input() {
        av_packet_free(&packet);
        avformat_close_input(&format);
    }
};

} // namespace

FileReadBack readBack(const std::string& path) {
    Input in;
    if (!in.packet) throw std::bad_alloc();
    const AVInputFormat* matroska = av_find_input_format("matroska");
    av_log_set_level(AV_LOG_ERROR);
    in.format = avformat_alloc_context();
    if (!in.format) throw std::bad_alloc();
    // The blocks as they are: no parser joins or splits them.
    in.format->flags |= AVFMT_FLAG_NOPARSE | AVFMT_FLAG_NOFILLIN;
    if (avformat_open_input(&in.format, path.c_str(), matroska, nullptr) < 0)
        throw Error(ErrorKind::Check, "the muxed file " + path + " does not read as Matroska");
    FileReadBack out;
    out.chapters = static_cast<int>(in.format->nb_chapters);
    if (in.format->duration > 0)
        out.durationSeconds = static_cast<double>(in.format->duration) / AV_TIME_BASE;
    std::vector<bool> seen(in.format->nb_streams, false);
    for (unsigned i = 0; i < in.format->nb_streams; ++i) {
        const AVStream* st = in.format->streams[i];
        TrackReadBack t;
        t.codec = avcodec_get_name(st->codecpar->codec_id);
        t.language = entry(st->metadata, "language");
        t.name = entry(st->metadata, "title");
        out.tracks.push_back(t);
    }
    while (av_read_frame(in.format, in.packet) >= 0) {
        const auto i = static_cast<std::size_t>(in.packet->stream_index);
        // VfW tracks' blocks carry their decode time.
        const std::int64_t ts = in.packet->pts != AV_NOPTS_VALUE ? in.packet->pts : in.packet->dts;
        if (i < out.tracks.size() && ts != AV_NOPTS_VALUE) {
            const AVRational tb = in.format->streams[i]->time_base;
            const double at = static_cast<double>(ts) * av_q2d(tb);
            const double end =
                at + static_cast<double>(std::max<std::int64_t>(in.packet->duration, 0)) * av_q2d(tb);
            TrackReadBack& t = out.tracks[i];
            if (!seen[i] || at < t.firstSeconds) t.firstSeconds = at;
            if (!seen[i] || at > t.lastSeconds) t.lastSeconds = at;
            t.endSeconds = std::max(seen[i] ? t.endSeconds : 0.0, end);
            seen[i] = true;
            ++t.blocks;
        }
        av_packet_unref(in.packet);
    }
    return out;
}

} // namespace vantrel::matroska
