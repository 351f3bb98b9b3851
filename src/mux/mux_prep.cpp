#include "mux_prep.h"

#include "audio_frames.h"
#include "files/errors.h"
#include "files/file_layer.h"
#include "names/two_digits.h"
#include "packets/packet_reader.h"
#include "packets/stream_ids.h"
#include "subpicture/evo_subpictures.h"
#include "wav_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <span>

namespace vantrel::mux {

namespace {

constexpr double kTicks = 90000.0;
// How far into a part the video's first time stamps are looked for: the
// lowest of them is the first one shown (decode order puts later ones first).
constexpr int kVideoPtsLooked = 64;

} // namespace

double ptsDiff(std::uint64_t a, std::uint64_t b) {
    const std::int64_t mod = 1ll << 33;
    std::int64_t d = (static_cast<std::int64_t>(b) - static_cast<std::int64_t>(a)) % mod;
    if (d >= mod / 2) d -= mod;
    if (d < -mod / 2) d += mod;
    return static_cast<double>(d);
}

namespace {

// Whether a video payload holds a point decoding can start from: an MPEG-2
// sequence header, a VC-1 sequence header or entry point, an H.264 sequence
// parameter set or IDR slice.
bool holdsRandomAccess(EsKind kind, const std::uint8_t* d, std::size_t n) {
    for (std::size_t i = 0; i + 3 < n; ++i) {
        if (d[i] != 0 || d[i + 1] != 0 || d[i + 2] != 1) continue;
        const std::uint8_t c = d[i + 3];
        if (kind == EsKind::Mpeg2Video && c == 0xB3) return true;
        if (kind == EsKind::Vc1 && (c == 0x0F || c == 0x0E)) return true;
        if (kind == EsKind::H264 && ((c & 0x1F) == 7 || (c & 0x1F) == 5)) return true;
    }
    return false;
}

// Where a clip sits: its main video's first time stamp (the lowest of the
// first few, or the random access point a span starts at) and where that
// lands on the title's time line.
struct PartClock {
    int part = 0;
    bool hasVideo = false;
    std::uint64_t videoStart = 0;      // PTS
    double titleTicks = 0;             // the clip's start on the title's time line
    std::uint64_t titleVideoStart = 0; // the first clip's videoStart
};

// A track's share of the pass: gets the packets of its stream inside the
// clip's span, in file order.
class TrackSink {
public:
    virtual ~TrackSink() = default;
    virtual void packet(const Packet& p, PreparedStream& s, PartFigures& f, const PartClock& clock) = 0;
    // The clip ends.
    virtual void endPart(PreparedStream& /*s*/, PartFigures& /*f*/) {}
    // The title ends.
    virtual void finish(PreparedStream& /*s*/) {}
};

// Video: the payload as it is, into one file over every clip; the scanner
// counts the frames of each clip.
class VideoSink : public TrackSink {
public:
    VideoSink(EsKind kind, std::string path, StreamOutput* output)
        : m_scanner(kind), m_path(std::move(path)), m_output(output) {}
    void packet(const Packet& p, PreparedStream& s, PartFigures& f, const PartClock& /*clock*/) override {
        m_scanner.feed(p.payload, p.payloadSize);
        if (p.hasPts) {
            if (!f.hasPts) {
                f.hasPts = true;
                f.firstPts = f.lastPts = p.pts;
            } else if (m_ptsSeen < kVideoPtsLooked && ptsDiff(f.firstPts, p.pts) < 0) {
                f.firstPts = p.pts;
            }
            if (ptsDiff(f.lastPts, p.pts) > 0) f.lastPts = p.pts;
            const double step = std::fabs(ptsDiff(m_previousPts, p.pts));
            if (m_ptsSeen > 0 && step > 0 && (f.ptsStep == 0 || step < f.ptsStep)) f.ptsStep = step;
            m_previousPts = p.pts;
            ++m_ptsSeen;
        }
        if (!s.muxed) return;
        if (s.files.empty()) {
            s.files.push_back(m_path);
            s.fileSyncMs.push_back(0);
            if (!m_output) m_file = std::make_unique<OutputFile>(m_path);
        }
        if (m_output)
            m_output->video(s, p.payload, p.payloadSize, p.hasPts, p.pts, p.hasDts, p.dts);
        else
            m_file->write(p.payload, p.payloadSize);
        f.bytes += static_cast<std::int64_t>(p.payloadSize);
    }
    void endPart(PreparedStream& s, PartFigures& f) override {
        if (m_output && s.muxed && !s.files.empty()) m_output->endClip(s);
        m_ptsSeen = 0;
        // This clip's frames alone, timed by their flags (the whole title's
        // pulldown decides, as for the title), else by the time stamps.
        VideoFacts clip = m_scanner.facts();
        clip.frames -= m_before.frames;
        clip.displayUnits -= m_before.displayUnits;
        clip.repeatFlags -= m_before.repeatFlags;
        m_before = m_scanner.facts();
        if (clip.unitRate() > 0)
            f.seconds = clip.pulldown() ? static_cast<double>(clip.frames) * 1001.0 / 24000.0
                                        : clip.durationSeconds();
        else if (f.ptsStep > 0)
            f.seconds = (ptsDiff(f.firstPts, f.lastPts) + f.ptsStep) / kTicks;
    }
    void finish(PreparedStream& s) override {
        m_scanner.finish();
        s.video = m_scanner.facts();
        if (m_file) m_file->close();
    }
    const VideoFacts& facts() const { return m_scanner.facts(); }

private:
    VideoScanner m_scanner;
    VideoFacts m_before;
    std::string m_path;
    std::unique_ptr<OutputFile> m_file;
    StreamOutput* m_output;
    int m_ptsSeen = 0;
    std::uint64_t m_previousPts = 0;
};

// Writes the frames the walker finds, after dropping the first few whole ones
// (with the dependent parts that belong to them).
class DroppingSink : public FrameSink {
public:
    OutputFile* file = nullptr;
    StreamOutput* output = nullptr; // instead of the file
    const PreparedStream* stream = nullptr;
    double startTicks = 0; // where the part's first written frame goes
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
        if (output)
            output->audio(*stream, data, info.size, info.samples, startTicks + seconds * kTicks);
        else
            file->write(data, info.size);
        written += static_cast<std::int64_t>(info.size);
        if (info.samples > 0 && info.sampleRate > 0)
            seconds += static_cast<double>(info.samples) / static_cast<double>(info.sampleRate);
    }

private:
    bool m_inDropped = false;
};

// Audio: from the first time-stamped packet of each clip on, one file per
// clip. At every clip after the first it measures the join: where the part
// would land if simply appended to the part before, against where its own
// time stamps put it next to the video.
class AudioSink : public TrackSink {
public:
    AudioSink(const PrepOptions& options, std::function<std::string(const PreparedStream&, int)> fileName)
        : m_options(options), m_fileName(std::move(fileName)) {}

    void packet(const Packet& p, PreparedStream& s, PartFigures& f, const PartClock& clock) override {
        if (!m_started) {
            if (!p.hasPts) return;
            m_started = true;
            f.hasPts = true;
            f.firstPts = p.pts;
            start(p, s, clock);
        }
        feed(p, s, f);
    }
    void endPart(PreparedStream& s, PartFigures& f) override {
        if (!m_started) return;
        m_started = false;
        close(s, f);
        if (m_options.output) m_options.output->endClip(s);
        m_placedEnd = m_placedStart + f.seconds * kTicks;
    }

protected:
    // The part's file opens; the figure of the join decides how many ticks
    // (whole frames) of the part's start are dropped.
    virtual void open(const Packet& p, PreparedStream& s, const std::string& path) = 0;
    virtual double frameTicks(const PreparedStream& s) const = 0;
    virtual void drop(const PreparedStream& s, std::int64_t frames) = 0;
    virtual void feed(const Packet& p, PreparedStream& s, PartFigures& f) = 0;
    virtual void close(PreparedStream& s, PartFigures& f) = 0;
    // Where the part's first written frame goes on the title's time line.
    double placedStart() const { return m_placedStart; }
    const PrepOptions& m_options;
    int m_part = 0;

private:
    void start(const Packet& p, PreparedStream& s, const PartClock& clock) {
        m_part = clock.part;
        if (s.kind == EsKind::TrueHd) s.kind = refineLossless(p.payload, p.payloadSize, s.kind);
        const int filePart = m_options.parts.size() > 1 ? clock.part : -1;
        open(p, s, m_fileName(s, filePart));
        // Where its time stamp puts it on the title's time line.
        const double wanted = clock.titleTicks + (clock.hasVideo ? ptsDiff(clock.videoStart, p.pts) : 0);
        if (!m_placed) {
            m_placed = true;
            m_placedStart = wanted;
            s.delayMs = wanted / 90.0;
            s.fileSyncMs.push_back(0);
            return;
        }
        JoinFigures join;
        join.part = clock.part;
        const double figure = clock.hasVideo ? wanted - m_placedEnd : 0;
        join.figureMs = figure / 90.0;
        const double frame = frameTicks(s);
        // Time stamps are rounded to ticks and frames do not end where the
        // video does: a figure under half a frame (at least two ticks either
        // way) is the join the disc means to be seamless.
        join.continuous = std::fabs(figure) <= 2.0 || (frame > 0 && std::fabs(figure) < frame / 2);
        double sync = 0;
        if (!join.continuous) {
            if (figure < 0 && frame > 0)
                join.droppedFrames = static_cast<std::int64_t>(std::ceil(-figure / frame - 1e-6));
            sync = figure + static_cast<double>(join.droppedFrames) * frame;
            drop(s, join.droppedFrames);
        }
        join.syncMs = sync / 90.0;
        s.joins.push_back(join);
        s.fileSyncMs.push_back(join.syncMs);
        m_placedStart = m_placedEnd + sync;
    }

    std::function<std::string(const PreparedStream&, int)> m_fileName;
    bool m_started = false;
    bool m_placed = false;
    double m_placedStart = 0, m_placedEnd = 0; // title ticks of the written part
};

// AC-3, E-AC-3, DTS, MLP, TrueHD: whole frames.
class FramedAudioSink : public AudioSink {
public:
    using AudioSink::AudioSink;

protected:
    void open(const Packet& p, PreparedStream& s, const std::string& path) override {
        (void)p;
        s.files.push_back(path);
        if (!m_options.output) m_file = std::make_unique<OutputFile>(path);
        m_walker = std::make_unique<AudioFrameWalker>(s.kind);
        m_sink.file = m_file.get();
        m_sink.output = m_options.output;
        m_sink.stream = &s;
        m_sink.written = 0;
        m_sink.seconds = 0;
    }
    double frameTicks(const PreparedStream& /*s*/) const override {
        if (m_frames <= 0 || m_rate <= 0) return 0;
        return static_cast<double>(m_samples) / static_cast<double>(m_frames) / m_rate * kTicks;
    }
    void drop(const PreparedStream& /*s*/, std::int64_t frames) override { m_sink.toDrop = frames; }
    void feed(const Packet& p, PreparedStream& /*s*/, PartFigures& /*f*/) override {
        m_sink.startTicks = placedStart();
        m_walker->feed(p.payload, p.payloadSize, m_sink);
    }
    void close(PreparedStream& s, PartFigures& f) override {
        m_walker->flush(m_sink);
        f.bytes = m_sink.written;
        f.seconds = m_sink.seconds;
        if (m_walker->sampleRate()) s.sampleRate = m_rate = m_walker->sampleRate();
        if (m_walker->channels() && !s.channels) s.channels = m_walker->channels();
        s.hdExtension = s.hdExtension || m_walker->hdExtension();
        m_frames += m_walker->frames();
        m_samples += m_walker->samples();
        if (!s.joins.empty() && s.joins.back().part == m_part) s.joins.back().droppedFrames = m_sink.dropped;
        m_sink.dropped = 0;
        if (m_file) m_file->close();
        m_file.reset();
    }

private:
    std::unique_ptr<OutputFile> m_file;
    std::unique_ptr<AudioFrameWalker> m_walker;
    DroppingSink m_sink;
    std::int64_t m_frames = 0, m_samples = 0;
    int m_rate = 0;
};

// LPCM: the samples as WAV; every packet's header must say what the first did.
class LpcmSink : public AudioSink {
public:
    using AudioSink::AudioSink;

protected:
    void open(const Packet& p, PreparedStream& s, const std::string& path) override {
        std::string why;
        auto format = parseLpcmHeader(p.privateHeader + 3, why);
        if (!format)
            throw Error(ErrorKind::InputUnreadable,
                        why + " in " + streamCaption(s) + " at byte " + std::to_string(p.fileOffset) +
                            " of " + m_options.parts[static_cast<std::size_t>(m_part)].path);
        if (s.lpcm && !(*s.lpcm == *format))
            throw Error(ErrorKind::InputUnreadable,
                        "LPCM header of " + streamCaption(s) + " changes at byte " +
                            std::to_string(p.fileOffset) + " of " +
                            m_options.parts[static_cast<std::size_t>(m_part)].path);
        s.lpcm = format;
        m_code = format->code;
        s.sampleRate = format->sampleRate;
        WavFormat wf;
        wf.sampleRate = format->sampleRate;
        wf.channels = format->channels;
        wf.containerBits = format->outputBytesPerSample() * 8;
        wf.validBits = format->bits;
        s.files.push_back(path);
        if (!m_options.output) m_wav = std::make_unique<WavWriter>(path, wf);
        m_unpacker = std::make_unique<LpcmUnpacker>(*format);
    }
    double frameTicks(const PreparedStream& s) const override {
        return s.lpcm ? kTicks / s.lpcm->sampleRate : 0;
    }
    void drop(const PreparedStream& s, std::int64_t frames) override {
        if (s.lpcm) m_dropBytes = frames * s.lpcm->channels * s.lpcm->outputBytesPerSample();
    }
    void feed(const Packet& p, PreparedStream& s, PartFigures& f) override {
        if (p.privateHeader[4] != m_code) {
            std::string why;
            auto format = parseLpcmHeader(p.privateHeader + 3, why);
            throw Error(ErrorKind::InputUnreadable,
                        "LPCM header of " + streamCaption(s) + " changes at byte " +
                            std::to_string(p.fileOffset) + " of " +
                            m_options.parts[static_cast<std::size_t>(m_part)].path +
                            (format ? "" : ": " + why));
        }
        m_unpacker->feed(p.payload, p.payloadSize, m_converted);
        std::size_t from = 0;
        if (m_dropBytes > 0) {
            from = static_cast<std::size_t>(
                std::min<std::int64_t>(m_dropBytes, static_cast<std::int64_t>(m_converted.size())));
            m_dropBytes -= static_cast<std::int64_t>(from);
        }
        if (m_options.output) {
            const double frames =
                static_cast<double>(f.bytes) / (s.lpcm->channels * s.lpcm->outputBytesPerSample());
            m_options.output->pcm(s, m_converted.data() + from, m_converted.size() - from,
                                  placedStart() + frames / s.lpcm->sampleRate * kTicks);
        } else {
            m_wav->write(m_converted.data() + from, m_converted.size() - from);
        }
        f.bytes += static_cast<std::int64_t>(m_converted.size() - from);
    }
    void close(PreparedStream& s, PartFigures& f) override {
        if (m_wav) {
            m_wav->finish(m_options.forceRf64);
            f.bytes = static_cast<std::int64_t>(m_wav->dataBytes());
        }
        if (s.lpcm)
            f.seconds = static_cast<double>(f.bytes) / (s.lpcm->channels * s.lpcm->outputBytesPerSample()) /
                        s.lpcm->sampleRate;
        m_wav.reset();
        m_dropBytes = 0;
    }

private:
    std::unique_ptr<WavWriter> m_wav;
    std::unique_ptr<LpcmUnpacker> m_unpacker;
    std::vector<std::uint8_t> m_converted;
    std::int64_t m_dropBytes = 0;
    std::uint8_t m_code = 0;
};

// Subpictures: the units into the collector, each clip's time stamps moved
// to follow the clips before it as their video does.
class SubpictureSink : public TrackSink {
public:
    explicit SubpictureSink(subpicture::EvoSubpictureCollector* collector) : m_collector(collector) {}
    void packet(const Packet& p, PreparedStream& /*s*/, PartFigures& f, const PartClock& clock) override {
        if (p.hasPts && !f.hasPts) {
            f.hasPts = true;
            f.firstPts = p.pts;
        }
        f.bytes += static_cast<std::int64_t>(p.payloadSize);
        if (!m_collector) return;
        std::optional<std::uint32_t> unitPts;
        if (p.hasPts) {
            const auto shift = static_cast<std::int64_t>(clock.titleVideoStart) +
                               std::llround(clock.titleTicks) - static_cast<std::int64_t>(clock.videoStart);
            unitPts =
                static_cast<std::uint32_t>(static_cast<std::int64_t>(p.pts) + (clock.hasVideo ? shift : 0));
        }
        m_collector->payload(p.code & 0x1F, unitPts, p.payload, p.payloadSize);
    }

private:
    subpicture::EvoSubpictureCollector* m_collector;
};

// The pass over a title's clips: each packet to its track's sink, with the
// clip's span and time line applied. Packets other than video wait until the
// clip's video start is known (the lowest of its first time stamps, or the
// random access point a span starts at); they are copied aside until then.
class TitlePass {
public:
    explicit TitlePass(const PrepOptions& options) : m_options(options) {}
    PrepResult run();

private:
    enum class Span { Before, In, After };
    struct Track {
        std::size_t stream = 0;
        std::unique_ptr<TrackSink> sink;
        Span state = Span::In;
        bool skipping = false; // held back: before the start of the clip's span
    };
    struct Held {
        Packet packet;
        std::size_t from = 0, headerSize = 0, payloadSize = 0;
    };

    Track* trackOf(const Packet& p);
    void readClip(std::size_t part);
    void video(Track& t, const Packet& p);
    void other(Track& t, const Packet& p);
    void hold(const Packet& p);
    void settle();
    void endClip(std::size_t part);
    void finishSubpictures();
    void warn(std::string text) {
        if (m_options.warning) m_options.warning(text);
        m_result.warnings.push_back(std::move(text));
    }
    std::string fileName(const PreparedStream& s, int part) const {
        std::string name = m_options.folder + m_options.baseName + "." + streamCaption(s);
        if (part >= 0) name += ".part" + std::to_string(part + 1);
        return name + "." + extensionOf(s.kind);
    }
    std::string pgsName(const PreparedStream& s) const {
        return m_options.folder + m_options.baseName + "." + streamCaption(s) + ".pgs.sup";
    }
    bool wanted(std::uint8_t code) const { return m_options.only.empty() || m_options.only.count(code) > 0; }
    // The clip starts inside its EVO; it ends before its EVO might.
    bool cutsStart() const { return m_options.parts[m_part].beginFrames.value_or(0) > 0; }
    bool cutsEnd() const { return m_options.parts[m_part].lengthFrames.has_value(); }
    // Ticks of a count of title frames on the clock the main video's own rate gives.
    double titleFrameTicks(long long frames) const {
        const ClipPart& c = m_options.parts[m_part];
        const bool ntsc = m_mainFacts && m_mainFacts->facts().rateDen == 1001;
        return static_cast<double>(frames) * kTicks / c.rate * (ntsc ? 1001.0 / 1000.0 : 1.0);
    }

    const PrepOptions& m_options;
    PrepResult m_result;
    std::map<std::uint8_t, Track> m_tracks;
    std::unique_ptr<subpicture::EvoSubpictureCollector> m_collector;
    std::map<int, std::unique_ptr<OutputFile>> m_pgsFiles;
    // The main video: index 0 where the first clip has it, else the lowest index it has.
    std::uint8_t m_mainCode = 0;
    bool m_haveMain = false;
    const VideoSink* m_mainFacts = nullptr;
    // The clip being read.
    std::size_t m_part = 0;
    bool m_settled = false;
    int m_mainPtsSeen = 0;
    std::uint64_t m_mainLowest = 0, m_mainHighest = 0;
    std::optional<std::uint64_t> m_cutFrom, m_cutUntil;
    PartClock m_clock;
    double m_titleTicks = 0;
    std::vector<Held> m_held;
    std::vector<std::uint8_t> m_heldBytes;
};

TitlePass::Track* TitlePass::trackOf(const Packet& p) {
    auto it = m_tracks.find(p.code);
    if (it != m_tracks.end()) return &it->second;
    const bool isVideoPacket = p.streamId != ids::kPrivateStream1;
    PreparedStream s;
    s.code = p.code;
    s.kind = isVideoPacket ? kindOfVideo(p.code) : kindOfSubStream(p.code);
    if (s.kind == EsKind::Unknown) return nullptr;
    s.part.resize(m_options.parts.size());
    const bool subpicture = s.kind == EsKind::Subpicture;
    s.muxed = wanted(p.code) && !subpicture;
    if (subpicture && !m_options.subpictures)
        s.note = "subpicture streams are not muxed";
    else if (!wanted(p.code))
        s.note = "left out by the track list";
    Track t;
    t.stream = m_result.streams.size();
    t.state = cutsStart() ? Span::Before : Span::In;
    if (isVideo(s.kind)) {
        auto sink = std::make_unique<VideoSink>(s.kind, fileName(s, -1), m_options.output);
        if (!m_haveMain ||
            (m_part == 0 && !m_settled && ids::indexOfCode(p.code) < ids::indexOfCode(m_mainCode))) {
            m_haveMain = true;
            m_mainCode = p.code;
            m_mainFacts = sink.get();
            m_mainPtsSeen = 0;
        }
        t.sink = std::move(sink);
    } else if (subpicture) {
        const bool convert = m_options.subpictures && wanted(p.code);
        t.sink = std::make_unique<SubpictureSink>(convert ? m_collector.get() : nullptr);
    } else if (s.muxed) {
        auto name = [this](const PreparedStream& stream, int part) { return fileName(stream, part); };
        if (s.kind == EsKind::Lpcm)
            t.sink = std::make_unique<LpcmSink>(m_options, name);
        else
            t.sink = std::make_unique<FramedAudioSink>(m_options, name);
    }
    m_result.streams.push_back(std::move(s));
    return &m_tracks.emplace(p.code, std::move(t)).first->second;
}

void TitlePass::video(Track& t, const Packet& p) {
    PreparedStream& s = m_result.streams[t.stream];
    const bool main = m_haveMain && p.code == m_mainCode;
    if (main && p.hasPts) {
        if (m_mainPtsSeen == 0 || (m_mainPtsSeen < kVideoPtsLooked && ptsDiff(m_mainLowest, p.pts) < 0))
            m_mainLowest = p.pts;
        if (m_mainPtsSeen == 0 || ptsDiff(m_mainHighest, p.pts) > 0) m_mainHighest = p.pts;
        ++m_mainPtsSeen;
    }
    if ((cutsStart() || cutsEnd()) && p.hasPts) {
        const ClipPart& c = m_options.parts[m_part];
        const bool access = holdsRandomAccess(s.kind, p.payload, p.payloadSize);
        const auto beginTicks = static_cast<std::uint64_t>(titleFrameTicks(c.beginFrames.value_or(0)));
        if (main && access && cutsStart() && !m_cutFrom && ptsDiff(m_mainLowest + beginTicks, p.pts) >= 0)
            m_cutFrom = p.pts;
        // The end: the first random access point at or after it (two ticks
        // of rounding allowed).
        const std::uint64_t from = m_cutFrom.value_or(m_mainLowest);
        if (main && access && cutsEnd() && !m_cutUntil && (m_cutFrom || !cutsStart()) &&
            ptsDiff(from, p.pts) >= titleFrameTicks(*c.lengthFrames) - 2)
            m_cutUntil = p.pts;
        if (access && t.state == Span::Before && m_cutFrom && ptsDiff(*m_cutFrom, p.pts) >= 0)
            t.state = Span::In;
        if (access && t.state == Span::In && m_cutUntil && ptsDiff(*m_cutUntil, p.pts) >= 0)
            t.state = Span::After;
    }
    PartFigures& f = s.part[m_part];
    f.present = true;
    if (t.state == Span::In) {
        ++f.packets;
        t.sink->packet(p, s, f, m_clock);
    }
    if (!m_settled && main && (cutsStart() ? m_cutFrom.has_value() : m_mainPtsSeen >= kVideoPtsLooked))
        settle();
}

void TitlePass::other(Track& t, const Packet& p) {
    PreparedStream& s = m_result.streams[t.stream];
    PartFigures& f = s.part[m_part];
    f.present = true;
    if ((cutsStart() || cutsEnd()) && p.hasPts) {
        if (t.state == Span::Before && m_cutFrom && ptsDiff(*m_cutFrom, p.pts) >= 0) t.state = Span::In;
        if (t.state == Span::In && m_cutUntil && ptsDiff(*m_cutUntil, p.pts) >= 0) t.state = Span::After;
    }
    if (t.state != Span::In) return;
    ++f.packets;
    if (t.sink) {
        t.sink->packet(p, s, f, m_clock);
    } else if (p.hasPts && !f.hasPts) {
        f.hasPts = true;
        f.firstPts = p.pts;
    }
}

void TitlePass::hold(const Packet& p) {
    // Waiting for a span's start: what comes before it need not wait.
    if (cutsStart() && m_mainPtsSeen > 0) {
        Track& t = m_tracks.at(p.code);
        const auto begin =
            static_cast<std::uint64_t>(titleFrameTicks(m_options.parts[m_part].beginFrames.value_or(0)));
        if (p.hasPts) t.skipping = ptsDiff(p.pts, m_mainLowest + begin) > 0;
        if (t.skipping) return;
    }
    Held h;
    h.packet = p;
    h.from = m_heldBytes.size();
    h.headerSize = p.privateHeader ? p.privateHeaderSize : 0;
    h.payloadSize = p.payloadSize;
    if (p.privateHeader)
        m_heldBytes.insert(m_heldBytes.end(), p.privateHeader, p.privateHeader + h.headerSize);
    m_heldBytes.insert(m_heldBytes.end(), p.payload, p.payload + p.payloadSize);
    m_held.push_back(h);
}

void TitlePass::settle() {
    m_settled = true;
    m_clock.part = static_cast<int>(m_part);
    m_clock.hasVideo = m_haveMain && m_mainPtsSeen > 0;
    m_clock.videoStart = m_cutFrom.value_or(m_mainLowest);
    m_clock.titleTicks = m_titleTicks;
    if (m_part == 0) m_clock.titleVideoStart = m_clock.videoStart;
    if (m_options.output)
        m_options.output->clock(m_clock.part, m_clock.hasVideo, m_clock.videoStart, m_clock.titleTicks);
    for (Held& h : m_held) {
        Packet p = h.packet;
        const std::uint8_t* base = m_heldBytes.data() + h.from;
        if (p.privateHeader) p.privateHeader = base;
        p.payload = base + h.headerSize;
        other(m_tracks.at(p.code), p);
    }
    m_held.clear();
    m_heldBytes.clear();
}

void TitlePass::readClip(std::size_t part) {
    m_part = part;
    m_settled = false;
    m_mainPtsSeen = 0;
    m_cutFrom.reset();
    m_cutUntil.reset();
    for (auto& [code, t] : m_tracks) t.state = cutsStart() ? Span::Before : Span::In;
    const std::string& path = m_options.parts[part].path;
    PacketReader reader(path);
    Packet p;
    std::int64_t lastProgress = -1;
    while (reader.next(p)) {
        if (m_options.progress && (reader.position() >> 22) != lastProgress) {
            lastProgress = reader.position() >> 22;
            m_options.progress(static_cast<int>(part), reader.position(), reader.size());
        }
        Track* t = trackOf(p);
        if (!t) continue;
        if (p.streamId != ids::kPrivateStream1)
            video(*t, p);
        else if (m_settled)
            other(*t, p);
        else
            hold(p);
    }
    if (m_options.progress) m_options.progress(static_cast<int>(part), reader.size(), reader.size());
    endClip(part);
}

void TitlePass::endClip(std::size_t part) {
    if (!m_settled) settle();
    for (auto& [code, t] : m_tracks)
        if (t.sink) t.sink->endPart(m_result.streams[t.stream], m_result.streams[t.stream].part[part]);
    ClipFigures clip;
    clip.path = m_options.parts[part].path;
    clip.titleStartSeconds = m_titleTicks / kTicks;
    if (m_haveMain) {
        const PreparedStream& v = m_result.streams[m_tracks.at(m_mainCode).stream];
        clip.seconds = v.part[part].seconds;
        m_titleTicks += v.part[part].seconds * kTicks;
    }
    const std::string name = std::filesystem::path(clip.path).filename().string();
    const auto secondsText = [](double seconds) {
        char t[32];
        std::snprintf(t, sizeof t, "%.3f s", seconds);
        return std::string(t);
    };
    if (cutsStart() && !m_cutFrom) {
        warn(name + " has no random access point where the title starts it; nothing of it is muxed");
    } else if (m_cutFrom || m_cutUntil) {
        const std::uint64_t from = m_cutFrom.value_or(m_mainLowest);
        std::string note = name + ": the title plays " + secondsText(clip.seconds) + " of it";
        if (m_cutFrom) {
            clip.cutBeforeSeconds = ptsDiff(m_mainLowest, from) / kTicks;
            note += ", from " + secondsText(*clip.cutBeforeSeconds) +
                    " in (the first random access point at or after the clip's start)";
        }
        if (m_cutUntil) {
            clip.cutAfterSeconds = ptsDiff(*m_cutUntil, m_mainHighest) / kTicks;
            note += "; its video from " + secondsText(ptsDiff(m_mainLowest, *m_cutUntil) / kTicks) +
                    " in on is left out (the clip ends there)";
        }
        m_result.notes.push_back(note);
    }
    m_result.clips.push_back(clip);
}

void TitlePass::finishSubpictures() {
    if (!m_collector) return;
    m_collector->finish();
    for (auto& [code, t] : m_tracks) {
        PreparedStream& s = m_result.streams[t.stream];
        if (s.kind != EsKind::Subpicture || !wanted(code)) continue;
        const int index = code & 0x1F;
        const subpicture::EvoSubpictureStream& figures =
            m_collector->streams()[static_cast<std::size_t>(index)];
        auto file = m_pgsFiles.find(index);
        s.subpictureUnits = figures.figures.converted;
        s.subpictureForced = figures.figures.forced;
        if (m_options.output) {
            s.muxed = figures.figures.converted > 0;
            s.files = {pgsName(s)};
            s.fileSyncMs = {0};
            if (!s.muxed) s.note = "holds no subpicture that converts";
            continue;
        }
        if (file == m_pgsFiles.end() || figures.figures.converted == 0) {
            s.muxed = false;
            s.note = "holds no subpicture that converts";
            warn(streamCaption(s) + " holds no subpicture that converts; left out of the Matroska file");
            continue;
        }
        file->second->close();
        s.files = {file->second->path()};
        s.fileSyncMs = {0};
        s.muxed = true;
    }
}

PrepResult TitlePass::run() {
    if (m_options.subpictures)
        m_collector = std::make_unique<subpicture::EvoSubpictureCollector>(
            [this](const std::string& text) { warn(text); },
            [this](int index) -> subpicture::PgsSink {
                const PreparedStream* stream = nullptr;
                for (const auto& [code, t] : m_tracks)
                    if (m_result.streams[t.stream].kind == EsKind::Subpicture && (code & 0x1F) == index)
                        stream = &m_result.streams[t.stream];
                if (!stream || !wanted(stream->code)) return {};
                if (StreamOutput* output = m_options.output)
                    return [output, code = stream->code](std::span<const std::uint8_t> bytes) {
                        output->subtitle(code, bytes.data(), bytes.size());
                    };
                auto& file = m_pgsFiles[index];
                file = std::make_unique<OutputFile>(pgsName(*stream));
                OutputFile* out = file.get();
                return [out](std::span<const std::uint8_t> bytes) { out->write(bytes.data(), bytes.size()); };
            });
    for (std::size_t part = 0; part < m_options.parts.size(); ++part) readClip(part);
    for (auto& [code, t] : m_tracks)
        if (t.sink) t.sink->finish(m_result.streams[t.stream]);
    finishSubpictures();
    // Copying the stream list for sorting would leave the sinks' indices behind: they are done now.
    m_tracks.clear();
    return std::move(m_result);
}

} // namespace

std::string codeText(std::uint8_t code) {
    char t[8];
    std::snprintf(t, sizeof t, "0x%02X", code);
    return t;
}

std::string streamCaption(const PreparedStream& s) {
    const int index = ids::indexOfCode(s.code);
    if (isVideo(s.kind)) {
        const char* name = s.kind == EsKind::Vc1 ? "VC-1" : s.kind == EsKind::H264 ? "H.264" : "MPEG-2";
        return std::string(name) + ".stream." + std::to_string(index);
    }
    switch (ids::kindOfCode(s.code)) {
    case ids::CodeKind::Dd: return "DD.stream." + twoDigits(index);
    case ids::CodeKind::DtsHd: return "DTSHD.stream." + twoDigits(index);
    case ids::CodeKind::Lpcm: return "LPCM.stream." + twoDigits(index);
    case ids::CodeKind::Mlp: return "MLP.stream." + twoDigits(index);
    case ids::CodeKind::DdPlus: return "DD+.stream." + twoDigits(index);
    case ids::CodeKind::ExtendedSubpicture: return "Ext.Subpicture." + twoDigits(index);
    default: return "Subpicture." + twoDigits(s.code & 0x1F);
    }
}

int orderStreams(std::vector<PreparedStream>& streams) {
    int mainVideo = -1;
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
    // The main video: index 0 where there is one, else the lowest index.
    const PreparedStream* main = nullptr;
    for (const auto& s : streams)
        if (isVideo(s.kind) && (!main || ids::indexOfCode(s.code) < ids::indexOfCode(main->code))) main = &s;
    const std::uint8_t mainCode = main ? main->code : 0;
    const bool haveMain = main != nullptr;
    std::stable_sort(streams.begin(), streams.end(), [&](const PreparedStream& a, const PreparedStream& b) {
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
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const PreparedStream& s = streams[i];
        if (haveMain && s.code == mainCode && isVideo(s.kind)) mainVideo = static_cast<int>(i);
    }
    return mainVideo;
}

PrepResult prepareStreams(const PrepOptions& options) {
    if (options.parts.empty()) throw Error("no source files");
    PrepResult result = TitlePass(options).run();
    const std::size_t partCount = options.parts.size();

    result.mainVideo = orderStreams(result.streams);
    if (result.mainVideo >= 0) {
        const PreparedStream& v = result.streams[static_cast<std::size_t>(result.mainVideo)];
        result.pulldown = v.video.pulldown();
        result.videoSeconds = 0;
        for (const PartFigures& f : v.part) result.videoSeconds += f.seconds;
    }
    for (const auto& s : result.streams) {
        if (!s.muxed || !isAudio(s.kind)) continue;
        if (s.files.empty()) {
            result.warnings.push_back(streamCaption(s) + " has no time-stamped packet");
            if (options.warning) options.warning(result.warnings.back());
        }
        // A clip without the stream (a video-only card) adds nothing to it.
        if (partCount > 1)
            for (std::size_t part = 0; part < partCount; ++part)
                if (!s.part[part].present)
                    result.notes.push_back(
                        streamCaption(s) + " is not in " +
                        std::filesystem::path(options.parts[part].path).filename().string() +
                        "; the clip adds nothing to it");
    }
    return result;
}

} // namespace vantrel::mux
