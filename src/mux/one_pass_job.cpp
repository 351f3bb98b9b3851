#include "one_pass_job.h"

#include "audio_frames.h"
#include "codecs/video_scan.h"
#include "files/errors.h"
#include "files/final_name.h"
#include "matroska/matroska_writer.h"
#include "matroska/pgs_blocks.h"
#include "matroska/read_back.h"
#include "matroska/track_flags.h"
#include "matroska/video_frames.h"
#include "packets/packet_reader.h"
#include "packets/stream_ids.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel::mux {

namespace {

namespace fs = std::filesystem;

constexpr double kTicks = 90000.0;
// How much of each clip the layout looks at: every stream of a disc shows up
// within its first seconds; the look ends early once each has told its codec.
constexpr std::int64_t kLookBytes = 8ll << 20;
constexpr std::int64_t kLookAtLeast = 2ll << 20;
constexpr std::size_t kAudioLookBytes = 64 << 10;
// Video: frames enough to tell 3:2 pulldown by its repeat flags.
constexpr std::int64_t kLookFrames = 48;

class NoFrames : public FrameSink, public matroska::VideoFrameSink {
public:
    void frame(const std::uint8_t* /*data*/, const AudioFrameInfo& /*info*/) override {}
    void frame(const matroska::VideoFrame& /*frame*/) override {}
};

// What the start of the clips says of a stream.
struct Looked {
    PreparedStream stream;
    std::unique_ptr<matroska::VideoFramer> framer;
    std::unique_ptr<VideoScanner> scanner;
    std::unique_ptr<AudioFrameWalker> walker;
    std::size_t audioBytes = 0;
    bool started = false;  // audio: from its first time-stamped packet
    std::string lpcmFault; // why its LPCM header could not be read
    bool done() const {
        if (framer)
            return framer->headersComplete() && scanner->facts().rateNum > 0 &&
                   scanner->facts().frames >= kLookFrames;
        if (walker) return audioBytes >= kAudioLookBytes;
        return true;
    }
};

// The streams of the title as the pass will find them, with what their tracks need.
std::map<std::uint8_t, Looked> lookAtClips(const MkvJob& job) {
    std::map<std::uint8_t, Looked> streams;
    NoFrames none;
    for (const ClipPart& part : job.parts) {
        PacketReader reader(part.path);
        Packet p;
        while (reader.position() < kLookBytes && reader.next(p)) {
            const bool video = p.streamId != ids::kPrivateStream1;
            const EsKind kind = video ? kindOfVideo(p.code) : kindOfSubStream(p.code);
            if (kind == EsKind::Unknown) continue;
            auto [it, fresh] = streams.try_emplace(p.code);
            Looked& l = it->second;
            if (fresh) {
                l.stream.code = p.code;
                l.stream.kind = kind;
                if (video) {
                    l.framer = std::make_unique<matroska::VideoFramer>(kind);
                    l.scanner = std::make_unique<VideoScanner>(kind);
                } else if (kind != EsKind::Subpicture && kind != EsKind::Lpcm) {
                    l.walker = std::make_unique<AudioFrameWalker>(kind);
                }
            }
            if (l.framer && !l.done()) {
                l.framer->feed(p.payload, p.payloadSize, false, 0, false, 0, none);
                l.scanner->feed(p.payload, p.payloadSize);
            } else if (isAudio(kind) && (l.started || p.hasPts)) {
                if (!l.started && kind == EsKind::TrueHd)
                    l.stream.kind = refineLossless(p.payload, p.payloadSize, kind);
                l.started = true;
                if (kind == EsKind::Lpcm && !l.stream.lpcm && p.privateHeader && p.privateHeaderSize >= 6) {
                    l.stream.lpcm = parseLpcmHeader(p.privateHeader + 3, l.lpcmFault);
                    if (l.stream.lpcm) l.stream.sampleRate = l.stream.lpcm->sampleRate;
                }
                if (l.walker && l.audioBytes < kAudioLookBytes) {
                    l.walker->feed(p.payload, p.payloadSize, none);
                    l.audioBytes += p.payloadSize;
                }
            }
            if (reader.position() >= kLookAtLeast) {
                bool all = true;
                for (const auto& [code, s] : streams) all = all && s.done();
                if (all) break;
            }
        }
    }
    for (auto& [code, l] : streams) {
        if (l.walker) {
            l.stream.sampleRate = l.walker->sampleRate();
            l.stream.channels = l.walker->channels();
            l.stream.hdExtension = l.walker->hdExtension();
        }
        if (l.scanner) l.stream.video = l.scanner->facts();
    }
    return streams;
}

std::int64_t ticksOf(double ticks) {
    return std::llround(ticks);
}

// The pass's frames into the Matroska file: video cut into frames and timed,
// the dependent parts of an audio frame kept with it, presentation graphics
// cut into display sets; each block counted with its first and last time.
class MatroskaOutput : public StreamOutput {
public:
    struct Track {
        int index = -1;
        EsKind kind = EsKind::Unknown;
        double frameTicks = 0; // video: one frame
        int sampleRate = 0;
        int bytesPerFrame = 0; // LPCM: bytes per sample frame
        std::unique_ptr<matroska::VideoFramer> framer;
        std::unique_ptr<matroska::PgsBlocks> pgs;
        // Video frames waiting for their clip's time line.
        bool waiting = true;
        std::vector<std::uint8_t> heldBytes;
        struct HeldFrame {
            matroska::VideoFrame frame;
            std::size_t from = 0;
        };
        std::vector<HeldFrame> held;
        double previousDts = -1e18;
        bool gopBaseKnown = false;
        double gopBase = 0;
        // Audio: the frame being gathered.
        std::vector<std::uint8_t> block;
        double blockTicks = 0;
        std::int64_t blockSamples = 0;
        bool blockOpen = false;
        // What was written.
        std::int64_t blocks = 0;
        std::int64_t before = 0; // frames left out: their time fell before the title's start
        double first = 0, last = 0, end = 0;
        bool shifted = false;
        double shift = 0; // audio: onto the whole ms its first block starts at
    };

    MatroskaOutput(matroska::MatroskaWriter& writer, std::map<std::uint8_t, Track>& tracks)
        : m_writer(writer), m_tracks(tracks) {}

    void clock(int part, bool hasVideo, std::uint64_t videoStart, double titleTicks) override {
        m_hasVideo = hasVideo;
        m_videoStart = videoStart;
        m_titleTicks = titleTicks;
        if (part == 0) m_titleVideoStart = videoStart;
        for (auto& [code, t] : m_tracks) {
            if (!t.waiting) continue;
            t.waiting = false;
            for (Track::HeldFrame& h : t.held) {
                h.frame.data = t.heldBytes.data() + h.from;
                videoFrame(t, h.frame);
            }
            t.held.clear();
            t.heldBytes.clear();
        }
    }
    void video(const PreparedStream& s, const std::uint8_t* data, std::size_t n, bool hasPts,
               std::uint64_t pts, bool hasDts, std::uint64_t dts) override {
        Track* t = trackOf(s.code);
        if (!t || !t->framer) return;
        FrameTo to(*this, *t);
        t->framer->feed(data, n, hasPts, pts, hasDts, dts, to);
    }
    void endClip(const PreparedStream& s) override {
        Track* t = trackOf(s.code);
        if (!t) return;
        if (!t->framer) {
            endAudioBlock(*t);
            return;
        }
        FrameTo to(*this, *t);
        t->framer->flush(to);
        // The next clip's frames wait for its time line.
        t->waiting = true;
    }
    void audio(const PreparedStream& s, const std::uint8_t* data, std::size_t n, std::int64_t samples,
               double ticks) override {
        Track* t = trackOf(s.code);
        if (!t) return;
        if (samples <= 0) {
            if (t->blockOpen) t->block.insert(t->block.end(), data, data + n);
            return;
        }
        endAudioBlock(*t);
        t->block.assign(data, data + n);
        t->blockTicks = ticks;
        t->blockSamples = samples;
        t->blockOpen = true;
    }
    void pcm(const PreparedStream& s, const std::uint8_t* data, std::size_t n, double ticks) override {
        Track* t = trackOf(s.code);
        if (!t || n == 0 || t->bytesPerFrame <= 0 || t->sampleRate <= 0) return;
        // Blocks of 1/25 s, as a muxer of WAV files makes them; each clip's
        // samples begin a block of their own.
        const std::size_t blockBytes = static_cast<std::size_t>(t->bytesPerFrame) *
                                       static_cast<std::size_t>(std::max(1, t->sampleRate / 25));
        while (n > 0) {
            if (!t->blockOpen) {
                t->block.clear();
                t->blockTicks = ticks;
                t->blockSamples = 0;
                t->blockOpen = true;
            }
            const std::size_t take = std::min(n, blockBytes - t->block.size());
            t->block.insert(t->block.end(), data, data + take);
            // Whole sample frames: a block holds no part of one.
            const auto samples = static_cast<std::int64_t>(take / static_cast<std::size_t>(t->bytesPerFrame));
            t->blockSamples += samples;
            data += take;
            n -= take;
            ticks += static_cast<double>(samples) / t->sampleRate * kTicks;
            if (t->block.size() == blockBytes) endAudioBlock(*t);
        }
    }
    void subtitle(std::uint8_t code, const std::uint8_t* data, std::size_t n) override {
        Track* t = trackOf(code);
        if (t && t->pgs) t->pgs->feed({data, n});
    }
    // The end of the title: what is still gathered goes out.
    void finish() {
        for (auto& [code, t] : m_tracks) endAudioBlock(t);
    }
    // PGS segment times count from the first clip's video start.
    double subtitleTicks(std::uint32_t pts) const {
        std::int64_t d =
            static_cast<std::int64_t>(pts) - static_cast<std::int64_t>(m_titleVideoStart & 0xFFFFFFFF);
        if (d >= (1ll << 31)) d -= 1ll << 32;
        if (d < -(1ll << 31)) d += 1ll << 32;
        return static_cast<double>(d);
    }
    void put(Track& t, const std::uint8_t* data, std::size_t n, double pts, double dts, double duration,
             bool key) {
        // An audio track starts at its delay in whole ms, as the prepared
        // files' muxer places it; its frames follow on from there.
        if (isAudio(t.kind)) {
            if (!t.shifted) {
                t.shifted = true;
                t.shift = std::round(pts / 90.0) * 90.0 - pts;
            }
            pts += t.shift;
            dts += t.shift;
        }
        // The Matroska VfW convention: blocks at their decode time.
        const double at = t.kind == EsKind::Vc1 ? dts : pts;
        if (at < 0 && !isVideo(t.kind)) {
            ++t.before;
            return;
        }
        m_writer.write(t.index, data, n, ticksOf(pts), ticksOf(dts), ticksOf(duration), key);
        if (t.blocks == 0 || at < t.first) t.first = at;
        if (t.blocks == 0 || at > t.last) t.last = at;
        if (t.blocks == 0 || at + duration > t.end) t.end = at + duration;
        ++t.blocks;
    }

private:
    class FrameTo : public matroska::VideoFrameSink {
    public:
        FrameTo(MatroskaOutput& out, Track& t) : m_out(out), m_t(t) {}
        void frame(const matroska::VideoFrame& f) override {
            if (!m_t.waiting) {
                m_out.videoFrame(m_t, f);
                return;
            }
            Track::HeldFrame h;
            h.frame = f;
            h.from = m_t.heldBytes.size();
            m_t.heldBytes.insert(m_t.heldBytes.end(), f.data, f.data + f.size);
            m_t.held.push_back(h);
        }

    private:
        MatroskaOutput& m_out;
        Track& m_t;
    };

    Track* trackOf(std::uint8_t code) {
        auto it = m_tracks.find(code);
        return it == m_tracks.end() ? nullptr : &it->second;
    }
    double titleTime(std::uint64_t raw) const {
        return m_titleTicks + (m_hasVideo ? ptsDiff(m_videoStart, raw) : 0);
    }
    // The frame's times: the PES times where its packet gives them; between
    // them the decode time a frame on from the one before and, for MPEG-2,
    // the presentation time by its temporal reference within the GOP.
    void videoFrame(Track& t, const matroska::VideoFrame& f) {
        const double step = t.frameTicks;
        double dts = f.hasDts ? titleTime(f.dts) : f.hasPts ? titleTime(f.pts) : t.previousDts + step;
        if (t.blocks == 0 && !f.hasDts && !f.hasPts) dts = 0;
        if (f.gopStart) t.gopBaseKnown = false;
        double pts = dts;
        if (f.hasPts) {
            pts = titleTime(f.pts);
            if (t.kind == EsKind::Mpeg2Video && f.temporalReference >= 0) {
                t.gopBase = pts - f.temporalReference * step;
                t.gopBaseKnown = true;
            }
        } else if (t.kind == EsKind::Mpeg2Video && t.gopBaseKnown && f.temporalReference >= 0) {
            pts = t.gopBase + f.temporalReference * step;
        }
        if (dts < t.previousDts) dts = t.previousDts;
        if (pts < dts) pts = dts;
        t.previousDts = dts;
        put(t, f.data, f.size, pts, dts, step, f.key);
    }
    void endAudioBlock(Track& t) {
        if (!t.blockOpen) return;
        t.blockOpen = false;
        const double duration =
            t.sampleRate > 0 ? static_cast<double>(t.blockSamples) / t.sampleRate * kTicks : 0;
        put(t, t.block.data(), t.block.size(), t.blockTicks, t.blockTicks, duration, true);
    }

    matroska::MatroskaWriter& m_writer;
    std::map<std::uint8_t, Track>& m_tracks;
    bool m_hasVideo = false;
    std::uint64_t m_videoStart = 0, m_titleVideoStart = 0;
    double m_titleTicks = 0;
};

// The temporary file beside the output, removed on every way out but the rename.
// The output's temporary file, locked while this run writes it and removed
// on every way out unless it was given its final name.
class TempFile {
public:
    explicit TempFile(const std::string& output) : m_path(createTemporaryFile(output)), m_lock(m_path) {}
    ~TempFile() {
        if (m_path.empty()) return;
        std::error_code ec;
        fs::remove(m_path, ec);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return m_path; }
    void renameTo(const std::string& output, bool replace) {
        const std::string path = std::move(m_path);
        m_path.clear();
        giveFinalName(path, output, replace);
    }

private:
    std::string m_path;
    TemporaryLock m_lock;
};

std::string msText(double ticks) {
    char t[32];
    std::snprintf(t, sizeof t, "%.3f s", ticks / kTicks);
    return t;
}

} // namespace

MkvOutcome runOnePassJob(const MkvJob& job) {
    if (job.parts.empty()) throw Error("no source files");
    MkvOutcome outcome;

    // The tracks, as the pass will find the streams.
    std::map<std::uint8_t, Looked> looked = lookAtClips(job);
    PrepResult layout;
    for (auto& [code, l] : looked) {
        PreparedStream s = l.stream;
        const bool wanted = job.only.empty() || job.only.count(code) > 0;
        s.muxed = wanted && (s.kind != EsKind::Subpicture || job.subtitles);
        if (isAudio(s.kind) && !l.started) s.muxed = false; // no time-stamped packet at its start
        s.files = {streamCaption(s)};
        s.part.resize(job.parts.size());
        // Units forced throughout are known only at the end; the playlist's flag stands.
        s.subpictureUnits = 1;
        layout.streams.push_back(std::move(s));
    }
    layout.mainVideo = orderStreams(layout.streams);
    if (layout.mainVideo >= 0)
        layout.pulldown = layout.streams[static_cast<std::size_t>(layout.mainVideo)].video.pulldown();
    outcome.plan = trackPlan(layout, job);
    MuxPlan& plan = outcome.plan;
    outcome.titleSeconds = job.titleSeconds;
    outcome.chapters = job.chapters;
    if (job.timing) job.timing(0, outcome.titleSeconds, outcome.chapters);

    matroska::FileSpec fileSpec;
    fileSpec.title = job.title;
    fileSpec.seconds = outcome.titleSeconds;
    for (const ChapterMark& c : outcome.chapters) fileSpec.chapters.push_back({c.seconds, c.name});
    std::map<std::uint8_t, MatroskaOutput::Track> tracks;
    const auto addTrack = [&](const PreparedStream& s, const std::string& language, const std::string& name,
                              bool isDefault, bool forced, const MuxFlags& flags) {
        matroska::TrackSpec t;
        t.kind = s.kind;
        t.language = language;
        t.name = name;
        t.isDefault = isDefault;
        t.forced = forced || flags.forced;
        t.commentary = flags.commentary;
        t.hearingImpaired = flags.hearingImpaired;
        t.visuallyImpaired = flags.visuallyImpaired;
        MatroskaOutput::Track track;
        track.index = static_cast<int>(fileSpec.tracks.size());
        track.kind = s.kind;
        const Looked& l = looked.at(s.code);
        if (isVideo(s.kind)) {
            t.codecPrivate = l.framer->codecPrivate();
            t.width = l.framer->width();
            t.height = l.framer->height();
            t.rateNum = s.video.rateNum;
            t.rateDen = s.video.rateDen;
            // The main video of 24000/1001 content carried with pulldown is timed as it is shown.
            if (plan.pulldown && track.index == 0) {
                t.rateNum = 24000;
                t.rateDen = 1001;
            }
            track.frameTicks = t.rateNum > 0 ? kTicks * t.rateDen / t.rateNum : 3003;
            track.framer = std::make_unique<matroska::VideoFramer>(s.kind);
        } else if (s.kind == EsKind::Lpcm) {
            if (!s.lpcm)
                throw Error(ErrorKind::InputUnreadable,
                            streamCaption(s) + ": " +
                                (l.lpcmFault.empty() ? std::string("no LPCM header") : l.lpcmFault));
            t.sampleRate = track.sampleRate = s.lpcm->sampleRate;
            t.channels = s.lpcm->channels;
            t.bits = s.lpcm->outputBytesPerSample() * 8;
            track.bytesPerFrame = s.lpcm->channels * s.lpcm->outputBytesPerSample();
        } else if (isAudio(s.kind)) {
            t.sampleRate = track.sampleRate = s.sampleRate;
            t.channels = s.channels;
        }
        fileSpec.tracks.push_back(std::move(t));
        tracks.emplace(s.code, std::move(track));
    };
    for (const TrackPlan& t : plan.tracks)
        addTrack(*t.stream, t.language, t.name, t.isDefault, false, t.flags);
    // A subtitle track is forced when every subpicture of its stream is, which
    // is known at the end: the header says forced, and the flag is cleared
    // afterwards where it does not hold. The playlist's word stands as it is.
    std::map<std::uint8_t, int> forcedUntilEnd; // stream code: track number
    for (const ExtraTrack& e : plan.extra) {
        const std::optional<StreamLabel> label = job.label ? job.label(e.stream->code) : std::nullopt;
        const bool decided = (label && label->isForced) || e.flags.forced;
        if (e.stream->kind == EsKind::Subpicture && !decided)
            forcedUntilEnd.emplace(e.stream->code, static_cast<int>(fileSpec.tracks.size()) + 1);
        addTrack(*e.stream, e.language, e.name, e.isDefault,
                 e.isForced || forcedUntilEnd.count(e.stream->code) > 0, e.flags);
    }

    TempFile temp(job.output);
    fileSpec.path = temp.path();
    matroska::MatroskaWriter writer(fileSpec);
    MatroskaOutput output(writer, tracks);
    for (auto& [code, t] : tracks)
        if (t.kind == EsKind::Subpicture) {
            MatroskaOutput::Track* track = &t;
            track->pgs = std::make_unique<matroska::PgsBlocks>(
                [&output, track](std::span<const std::uint8_t> bytes, std::uint32_t pts) {
                    const double at = output.subtitleTicks(pts);
                    output.put(*track, bytes.data(), bytes.size(), at, at, 0, true);
                });
        }

    PrepOptions prep;
    prep.parts = job.parts;
    // The streams with a track, and no other: one found later has none.
    for (const auto& [code, t] : tracks) prep.only.insert(code);
    prep.subpictures = job.subtitles;
    prep.output = &output;
    prep.warning = job.warning;
    prep.progress = [&](int part, std::int64_t done, std::int64_t total) {
        if (job.stopRequested && job.stopRequested()) throw Error(ErrorKind::Interrupted, "interrupted");
        if (job.progress)
            job.progress("Reading " +
                             fs::path(job.parts[static_cast<std::size_t>(part)].path).filename().string(),
                         done, total);
    };
    outcome.prep = prepareStreams(prep);
    output.finish();
    writer.finish();
    const PrepResult& p = outcome.prep;
    for (const PreparedStream& s : p.streams) {
        const auto it = forcedUntilEnd.find(s.code);
        if (it == forcedUntilEnd.end()) continue;
        if (s.subpictureUnits == 0 || s.subpictureForced != s.subpictureUnits)
            matroska::clearForcedFlag(temp.path(), static_cast<std::uint64_t>(it->second));
    }
    outcome.warnings = p.warnings;
    outcome.notes = p.notes;
    const auto warn = [&](std::string text) {
        if (job.warning) job.warning(text);
        outcome.warnings.push_back(std::move(text));
    };
    for (std::string& w : joinWarnings(p)) warn(std::move(w));
    if (outcome.titleSeconds <= 0) outcome.titleSeconds = p.videoSeconds;
    for (const PreparedStream& s : p.streams) {
        auto it = tracks.find(s.code);
        if (it == tracks.end()) {
            if (!looked.count(s.code) && (job.only.empty() || job.only.count(s.code) > 0) &&
                (s.kind != EsKind::Subpicture || job.subtitles))
                warn(streamCaption(s) + " starts past the start of its clip where the tracks were laid "
                                        "out; left out of the Matroska file");
            continue;
        }
        if (it->second.before > 0)
            outcome.notes.push_back(streamCaption(s) + ": " + std::to_string(it->second.before) +
                                    " frames before the title's start left out");
        if (s.kind == EsKind::Subpicture && it->second.blocks == 0)
            warn(streamCaption(s) + " holds no subpicture that converts; its track is empty");
    }

    // The check: the file read back holds every track with the blocks written.
    const matroska::FileReadBack back = matroska::readBack(temp.path());
    std::vector<std::string> mismatches;
    if (back.tracks.size() != fileSpec.tracks.size())
        mismatches.push_back("tracks: " + std::to_string(back.tracks.size()) + " found, " +
                             std::to_string(fileSpec.tracks.size()) + " meant");
    double end = 0, frame = 0;
    for (const auto& [code, t] : tracks) {
        end = std::max(end, t.end);
        if (t.index == 0 && isVideo(t.kind)) frame = t.frameTicks;
        if (static_cast<std::size_t>(t.index) >= back.tracks.size()) continue;
        const matroska::TrackReadBack& r = back.tracks[static_cast<std::size_t>(t.index)];
        const std::string which =
            "track " + std::to_string(t.index) + " (" + matroska::codecIdOf(t.kind) + ")";
        if (r.blocks != t.blocks)
            mismatches.push_back(which + ": " + std::to_string(r.blocks) + " blocks found, " +
                                 std::to_string(t.blocks) + " written");
        else if (t.blocks > 0 && (std::fabs(r.firstSeconds * kTicks - t.first) > 90.5 ||
                                  std::fabs(r.lastSeconds * kTicks - t.last) > 90.5))
            mismatches.push_back(which + ": blocks from " + msText(r.firstSeconds * kTicks) + " to " +
                                 msText(r.lastSeconds * kTicks) + ", written from " + msText(t.first) +
                                 " to " + msText(t.last));
    }
    if (frame <= 0) frame = kTicks / 25;
    if (std::fabs(back.durationSeconds * kTicks - end) > frame + 90.5)
        mismatches.push_back("duration " + msText(back.durationSeconds * kTicks) + ", written " +
                             msText(end));
    if (outcome.titleSeconds > 0 && std::fabs(back.durationSeconds - outcome.titleSeconds) > 1.0)
        mismatches.push_back("duration " + msText(back.durationSeconds * kTicks) + ", the title's " +
                             msText(outcome.titleSeconds * kTicks));
    if (back.chapters != static_cast<int>(outcome.chapters.size()))
        mismatches.push_back("chapters: " + std::to_string(back.chapters) + " found, " +
                             std::to_string(outcome.chapters.size()) + " meant");
    outcome.check.tracks = static_cast<int>(back.tracks.size());
    outcome.check.chapters = back.chapters;
    outcome.check.durationSeconds = back.durationSeconds;
    outcome.check.mismatches = mismatches;
    if (!mismatches.empty()) {
        std::string text = "the muxed file does not hold what was meant:";
        for (const auto& m : mismatches) text += "\n  " + m;
        throw Error(ErrorKind::Check, text);
    }
    temp.renameTo(job.output, job.replace);
    return outcome;
}

MkvOutcome runTitleMkv(const MkvJob& job) {
    return job.inProcess ? runOnePassJob(job) : runMkvJob(job);
}

} // namespace vantrel::mux
