#include "mux_prep.h"

#include "audio_frames.h"
#include "engine/errors.h"
#include "engine/file_layer.h"
#include "engine/packet_reader.h"
#include "engine/stream_ids.h"
#include "wav_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>

namespace vantrel::mux {

namespace {

constexpr double kTicks = 90000.0;
// How far into a part the video's first time stamps are looked for: the
// lowest of them is the first one shown (decode order puts later ones first).
constexpr int kVideoPtsLooked = 64;
constexpr std::int64_t kProbeBytes = 32ll << 20;

// b - a in 90 kHz ticks across the 33-bit wrap.
double ptsDiff(std::uint64_t a, std::uint64_t b) {
    const std::int64_t mod = 1ll << 33;
    std::int64_t d = (static_cast<std::int64_t>(b) - static_cast<std::int64_t>(a)) % mod;
    if (d >= mod / 2) d -= mod;
    if (d < -mod / 2) d += mod;
    return static_cast<double>(d);
}

bool isVideoCode(std::uint8_t code) {
    return code == 0xE0 || code == 0xE1 || code == 0xE2 || code == 0xE3 || code == 0x55 || code == 0x56;
}

int videoIndex(std::uint8_t code) {
    return (code == 0x55 || code == 0x56) ? code - 0x55 : code & 1;
}

// The first video time stamps and first audio time stamps of a part.
struct Probe {
    std::map<std::uint8_t, std::uint64_t> firstPts;
};

Probe probePart(const std::string& path) {
    Probe probe;
    PacketReader reader(path);
    Packet p;
    std::map<std::uint8_t, int> seen;
    while (reader.next(p)) {
        if (!p.hasPts) continue;
        const bool video = isVideoCode(p.code) && p.streamId != 0xBD;
        int& n = seen[p.code];
        // The first PTS seen, or for video the lowest of its first few (B-frames come earlier).
        const bool earlierVideo =
            video && n > 0 && n < kVideoPtsLooked && ptsDiff(probe.firstPts[p.code], p.pts) < 0;
        if (n == 0 || earlierVideo) probe.firstPts[p.code] = p.pts;
        ++n;
        if (reader.position() > kProbeBytes) break;
    }
    return probe;
}

// Writes the frames the walker finds, after dropping the first few whole ones
// (with the dependent parts that belong to them).
class DroppingSink : public FrameSink {
public:
    OutputFile* file = nullptr;
    std::int64_t toDrop = 0;
    std::int64_t dropped = 0;
    std::int64_t written = 0;
    double seconds = 0;
    void frame(const std::uint8_t* data, const AudioFrameInfo& info) override {
        if (info.samples > 0) m_inDropped = toDrop > 0;
        if (m_inDropped) {
            if (info.samples > 0) {
                --toDrop;
                ++dropped;
            }
            return;
        }
        file->write(data, info.size);
        written += static_cast<std::int64_t>(info.size);
        if (info.samples > 0 && info.sampleRate > 0)
            seconds += static_cast<double>(info.samples) / static_cast<double>(info.sampleRate);
    }

private:
    bool m_inDropped = false;
};

struct Work {
    std::size_t stream = 0; // index into result.streams
    bool started = false;   // this part: the first time-stamped packet came
    int videoPtsSeen = 0;
    std::uint64_t previousPts = 0;
    std::unique_ptr<OutputFile> file;
    std::unique_ptr<VideoScanner> scanner;
    std::unique_ptr<AudioFrameWalker> walker;
    DroppingSink sink;
    std::unique_ptr<WavWriter> wav;
    std::unique_ptr<LpcmUnpacker> unpacker;
    std::int64_t lpcmDropBytes = 0;
    std::uint8_t lpcmCode = 0;
    std::vector<std::uint8_t> converted;
};

std::string twoDigits(int n) {
    char t[8];
    std::snprintf(t, sizeof t, "%02d", n);
    return t;
}

} // namespace

std::string codeText(std::uint8_t code) {
    char t[8];
    std::snprintf(t, sizeof t, "0x%02X", code);
    return t;
}

std::string streamCaption(const PreparedStream& s) {
    const std::uint8_t c = s.code;
    if (isVideo(s.kind)) {
        const char* name = s.kind == EsKind::Vc1 ? "VC-1" : s.kind == EsKind::H264 ? "H.264" : "MPEG-2";
        return std::string(name) + ".stream." + std::to_string(videoIndex(c));
    }
    if ((c & 0xF8) == 0x80) return "DD.stream." + twoDigits(c & 7);
    if ((c & 0xF8) == 0x88) return "DTSHD.stream." + twoDigits(c & 7);
    if ((c & 0xF8) == 0xA0) return "LPCM.stream." + twoDigits(c & 7);
    if ((c & 0xF8) == 0xB0) return "MLP.stream." + twoDigits(c & 7);
    if ((c & 0xF0) == 0xC0) return "DD+.stream." + twoDigits(c & 15);
    if ((c & 0xE0) == 0x60) return "Ext.Subpicture." + twoDigits(c & 0x1F);
    return "Subpicture." + twoDigits(c & 0x1F);
}

PrepResult prepareStreams(const PrepOptions& options) {
    PrepResult result;
    const std::size_t partCount = options.parts.size();
    std::vector<Probe> probes;
    for (const auto& path : options.parts) probes.push_back(probePart(path));

    std::map<std::uint8_t, Work> work;
    auto wanted = [&](std::uint8_t code) { return options.only.empty() || options.only.count(code) > 0; };
    auto fileName = [&](const PreparedStream& s, int part) {
        std::string name = options.folder + options.baseName + "." + streamCaption(s);
        if (part >= 0) name += ".part" + std::to_string(part + 1);
        return name + "." + extensionOf(s.kind);
    };
    std::uint8_t mainCode = 0;
    bool haveMain = false;
    {
        // The main video: index 0 when the first part has it, else the first video code.
        for (const auto& [code, pts] : probes.front().firstPts) {
            (void)pts;
            if (!isVideoCode(code)) continue;
            if (!haveMain || videoIndex(code) < videoIndex(mainCode)) mainCode = code;
            haveMain = true;
        }
    }

    for (std::size_t part = 0; part < partCount; ++part) {
        if (part == 1) {
            for (auto& [code, w] : work) {
                PreparedStream& s = result.streams[w.stream];
                if (isVideo(s.kind) && w.scanner) s.videoFirstPart = w.scanner->facts();
            }
            // The join: where each audio stream's second part lands when simply
            // appended, against where its own PTS puts it next to the video.
            const PreparedStream* mainVideo = nullptr;
            for (auto& [code, w] : work)
                if (haveMain && code == mainCode) mainVideo = &result.streams[w.stream];
            const auto v2 = probes[1].firstPts.find(mainCode);
            for (auto& [code, w] : work) {
                PreparedStream& s = result.streams[w.stream];
                w.started = false;
                w.videoPtsSeen = 0;
                if (!isAudio(s.kind)) continue;
                const auto a2 = probes[1].firstPts.find(code);
                if (!mainVideo || v2 == probes[1].firstPts.end() || a2 == probes[1].firstPts.end() ||
                    !s.part[0].hasPts || !mainVideo->part[0].hasPts)
                    continue;
                const VideoFacts& v1 = mainVideo->videoFirstPart;
                // By the frames and their flags; without a frame rate in the
                // headers, by the time stamps: first to last plus one frame.
                double v1End = 0;
                if (v1.unitRate() > 0)
                    v1End = (v1.pulldown() ? static_cast<double>(v1.frames) * 1001.0 / 24000.0
                                           : v1.durationSeconds()) *
                            kTicks;
                else if (mainVideo->part[0].ptsStep > 0)
                    v1End = ptsDiff(mainVideo->part[0].firstPts, mainVideo->part[0].lastPts) +
                            mainVideo->part[0].ptsStep;
                else
                    continue;
                const double a1End = s.part[0].seconds * kTicks;
                const double offset1 =
                    ptsDiff(mainVideo->part[0].firstPts, s.part[0].firstPts) + a1End - v1End;
                const double offset2 = ptsDiff(v2->second, a2->second);
                const double joinTicks = offset2 - offset1;
                s.joinMs = joinTicks / 90.0;
                double frameTicks = 0;
                if (s.kind == EsKind::Lpcm) {
                    frameTicks = s.lpcm ? kTicks / s.lpcm->sampleRate : 0;
                } else if (w.walker && w.walker->frames() > 0 && w.walker->sampleRate() > 0) {
                    frameTicks = static_cast<double>(w.walker->samples()) /
                                 static_cast<double>(w.walker->frames()) / w.walker->sampleRate() * kTicks;
                }
                std::int64_t drop = 0;
                if (joinTicks < 0 && frameTicks > 0)
                    drop = static_cast<std::int64_t>(std::ceil(-joinTicks / frameTicks - 1e-6));
                s.droppedFrames = drop;
                s.appendSyncMs = (joinTicks + static_cast<double>(drop) * frameTicks) / 90.0;
                if (s.kind == EsKind::Lpcm && s.lpcm)
                    w.lpcmDropBytes = drop * s.lpcm->channels * s.lpcm->outputBytesPerSample();
                else
                    w.sink.toDrop = drop;
            }
            // Audio files of the first part are complete.
            for (auto& [code, w] : work) {
                PreparedStream& s = result.streams[w.stream];
                if (!isAudio(s.kind)) continue;
                if (w.walker) {
                    w.walker->flush(w.sink);
                    s.part[0].bytes = w.sink.written;
                    w.walker = std::make_unique<AudioFrameWalker>(s.kind);
                    w.sink.written = 0;
                    w.sink.seconds = 0;
                }
                if (w.file) w.file->close();
                w.file.reset();
                if (w.wav) {
                    w.wav->finish(options.forceRf64);
                    s.part[0].bytes = static_cast<std::int64_t>(w.wav->dataBytes());
                    w.wav.reset();
                }
            }
        }

        PacketReader reader(options.parts[part]);
        Packet p;
        std::int64_t lastProgress = -1;
        while (reader.next(p)) {
            if (options.progress && (reader.position() >> 22) != lastProgress) {
                lastProgress = reader.position() >> 22;
                options.progress(static_cast<int>(part), reader.position(), reader.size());
            }
            const bool video = p.streamId != 0xBD;
            const std::uint8_t code = p.code;
            auto it = work.find(code);
            if (it == work.end()) {
                PreparedStream s;
                s.code = code;
                s.kind = video ? kindOfVideo(code) : kindOfSubStream(code);
                if (s.kind == EsKind::Unknown) continue;
                s.muxed = wanted(code) && s.kind != EsKind::Subpicture;
                if (s.kind == EsKind::Subpicture)
                    s.note = "subpicture streams are not muxed";
                else if (!s.muxed)
                    s.note = "left out by the track list";
                result.streams.push_back(s);
                it = work.emplace(code, Work{}).first;
                it->second.stream = result.streams.size() - 1;
            }
            Work& w = it->second;
            PreparedStream& s = result.streams[w.stream];
            PartFigures& f = s.part[part];
            f.present = true;
            ++f.packets;
            if (p.hasPts) {
                if (!f.hasPts) {
                    f.hasPts = true;
                    f.firstPts = p.pts;
                } else if (video && w.videoPtsSeen < kVideoPtsLooked && ptsDiff(f.firstPts, p.pts) < 0) {
                    f.firstPts = p.pts;
                }
                if (video) {
                    ++w.videoPtsSeen;
                    if (w.videoPtsSeen == 1 || ptsDiff(f.lastPts, p.pts) > 0) f.lastPts = p.pts;
                    const double step = std::fabs(ptsDiff(w.previousPts, p.pts));
                    if (w.videoPtsSeen > 1 && step > 0 && (f.ptsStep == 0 || step < f.ptsStep))
                        f.ptsStep = step;
                    w.previousPts = p.pts;
                }
            }
            // Video is looked at even when it is not written: its frames time the join.
            if (isVideo(s.kind)) {
                if (!w.scanner) w.scanner = std::make_unique<VideoScanner>(s.kind);
                w.scanner->feed(p.payload, p.payloadSize);
                if (!s.muxed) continue;
                if (!w.file) {
                    s.files.push_back(fileName(s, -1));
                    w.file = std::make_unique<OutputFile>(s.files.back());
                }
                w.file->write(p.payload, p.payloadSize);
                f.bytes += static_cast<std::int64_t>(p.payloadSize);
                continue;
            }
            if (!s.muxed) continue;

            // Audio: from the first time-stamped packet of each part on.
            if (!w.started) {
                if (!p.hasPts) continue;
                w.started = true;
                const int filePart = partCount > 1 ? static_cast<int>(part) : -1;
                if (s.kind == EsKind::Lpcm) {
                    std::string why;
                    auto format = parseLpcmHeader(p.privateHeader + 3, why);
                    if (!format)
                        throw InputError(why + " in " + streamCaption(s) + " at byte " +
                                         std::to_string(p.fileOffset) + " of " + options.parts[part]);
                    if (s.lpcm && !(*s.lpcm == *format))
                        throw InputError("LPCM header of " + streamCaption(s) + " changes at byte " +
                                         std::to_string(p.fileOffset) + " of " + options.parts[part]);
                    s.lpcm = format;
                    w.lpcmCode = format->code;
                    s.sampleRate = format->sampleRate;
                    WavFormat wf;
                    wf.sampleRate = format->sampleRate;
                    wf.channels = format->channels;
                    wf.containerBits = format->outputBytesPerSample() * 8;
                    wf.validBits = format->bits;
                    s.files.push_back(fileName(s, filePart));
                    w.wav = std::make_unique<WavWriter>(s.files.back(), wf);
                    w.unpacker = std::make_unique<LpcmUnpacker>(*format);
                } else {
                    if (s.kind == EsKind::TrueHd) s.kind = refineLossless(p.payload, p.payloadSize, s.kind);
                    s.files.push_back(fileName(s, filePart));
                    w.file = std::make_unique<OutputFile>(s.files.back());
                    if (!w.walker) w.walker = std::make_unique<AudioFrameWalker>(s.kind);
                    w.sink.file = w.file.get();
                }
            }
            if (s.kind == EsKind::Lpcm) {
                if (p.privateHeader[4] != w.lpcmCode) {
                    std::string why;
                    auto format = parseLpcmHeader(p.privateHeader + 3, why);
                    throw InputError("LPCM header of " + streamCaption(s) + " changes at byte " +
                                     std::to_string(p.fileOffset) + " of " + options.parts[part] +
                                     (format ? "" : ": " + why));
                }
                w.unpacker->feed(p.payload, p.payloadSize, w.converted);
                std::size_t from = 0;
                if (w.lpcmDropBytes > 0) {
                    from = static_cast<std::size_t>(std::min<std::int64_t>(
                        w.lpcmDropBytes, static_cast<std::int64_t>(w.converted.size())));
                    w.lpcmDropBytes -= static_cast<std::int64_t>(from);
                }
                w.wav->write(w.converted.data() + from, w.converted.size() - from);
                f.bytes += static_cast<std::int64_t>(w.converted.size() - from);
            } else {
                w.walker->feed(p.payload, p.payloadSize, w.sink);
            }
        }
        if (options.progress) options.progress(static_cast<int>(part), reader.size(), reader.size());
        // What each audio stream of this part plays for.
        for (auto& [code, w] : work) {
            PreparedStream& s = result.streams[w.stream];
            if (!isAudio(s.kind) || !s.muxed) continue;
            if (s.kind == EsKind::Lpcm && s.lpcm && w.wav) {
                const double frames = static_cast<double>(s.part[part].bytes) /
                                      (s.lpcm->channels * s.lpcm->outputBytesPerSample());
                s.part[part].seconds = frames / s.lpcm->sampleRate;
            } else if (w.walker) {
                s.part[part].seconds = w.sink.seconds;
                if (w.walker->sampleRate()) s.sampleRate = w.walker->sampleRate();
            }
        }
    }

    // Close everything; the last part's audio files end here.
    for (auto& [code, w] : work) {
        PreparedStream& s = result.streams[w.stream];
        const std::size_t last = partCount - 1;
        if (w.walker) {
            w.walker->flush(w.sink);
            s.part[last].bytes = w.sink.written;
        }
        if (w.file) w.file->close();
        if (w.wav) {
            w.wav->finish(options.forceRf64);
            s.part[last].bytes = static_cast<std::int64_t>(w.wav->dataBytes());
        }
        if (w.scanner) {
            w.scanner->finish();
            s.video = w.scanner->facts();
            if (partCount == 1) s.videoFirstPart = s.video;
        }
        if (w.sink.dropped) s.droppedFrames = w.sink.dropped;
    }

    // Video first (main video first), then audio, subpicture; each in the
    // order of the disc's stream numbers (the boxes' order: DD+ 0xC0 is audio
    // stream 0, DD 0x81 stream 1, ...), so the first audio is the disc's first.
    const auto streamNumber = [](const PreparedStream& s) {
        for (const ids::Range range : {ids::kDd, ids::kDtsHd, ids::kLpcm, ids::kMlp, ids::kDdPlus})
            if (isAudio(s.kind) && range.holds(s.code)) return s.code - range.first;
        for (const ids::Range range : {ids::kSubpicture, ids::kExtendedSubpicture})
            if (!isAudio(s.kind) && !isVideo(s.kind) && range.holds(s.code)) return s.code - range.first;
        return static_cast<int>(s.code);
    };
    std::stable_sort(result.streams.begin(), result.streams.end(),
                     [&](const PreparedStream& a, const PreparedStream& b) {
                         auto rank = [&](const PreparedStream& s) {
                             if (haveMain && s.code == mainCode && isVideo(s.kind)) return 0;
                             if (isVideo(s.kind)) return 1;
                             if (isAudio(s.kind)) return 2;
                             return 3;
                         };
                         if (rank(a) != rank(b)) return rank(a) < rank(b);
                         if (streamNumber(a) != streamNumber(b)) return streamNumber(a) < streamNumber(b);
                         return a.code < b.code;
                     });
    for (std::size_t i = 0; i < result.streams.size(); ++i) {
        const PreparedStream& s = result.streams[i];
        if (haveMain && s.code == mainCode && isVideo(s.kind)) result.mainVideo = static_cast<int>(i);
    }
    if (result.mainVideo >= 0) {
        const PreparedStream& v = result.streams[static_cast<std::size_t>(result.mainVideo)];
        result.pulldown = v.video.pulldown();
        result.videoSeconds = result.pulldown ? static_cast<double>(v.video.frames) * 1001.0 / 24000.0
                                              : v.video.durationSeconds();
        for (auto& s : result.streams) {
            if (!isAudio(s.kind) || !s.part[0].hasPts || !v.part[0].hasPts) continue;
            s.delayMs = ptsDiff(v.part[0].firstPts, s.part[0].firstPts) / 90.0;
        }
        if (partCount > 1 && v.videoFirstPart.pulldown() != result.pulldown)
            result.warnings.emplace_back(
                "the first part's pulldown differs from the whole title's; join figures "
                "assume the first part's");
    }
    for (const auto& s : result.streams) {
        if (!s.muxed || !isAudio(s.kind)) continue;
        if (s.files.empty()) result.warnings.push_back(streamCaption(s) + " has no time-stamped packet");
        for (std::size_t part = 0; part < partCount; ++part)
            if (!s.part[part].present)
                result.warnings.push_back(streamCaption(s) + " is missing from " + options.parts[part]);
    }
    return result;
}

} // namespace vantrel::mux
