#include "pts_survey.h"

#include "codecs/codec_facts.h"
#include "files/file_layer.h"
#include "packets/packet_reader.h"
#include "packets/stream_ids.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>

namespace vantrel::disc {

namespace {

// Bytes of audio kept after the latest PTS of a stream; a stretch without a
// PTS longer than this (no disc has one) leaves the stream's end unknown.
constexpr std::size_t kTailLimit = 1 << 20;
constexpr std::int64_t kProgressStep = std::int64_t{4} * 1048576;

enum class Codec { Video, Subpicture, Dolby, Dts, Lpcm, Mlp };

// One stream while the file is read.
struct Tracker {
    StreamSurvey survey;
    Codec codec = Codec::Video;
    std::vector<std::uint64_t> videoPts; // every video PTS, for the frame duration
    std::vector<std::uint8_t> tail;      // audio payload since the latest PTS
    bool tailOverflow = false;
    std::uint8_t lpcmHeader[3] = {0, 0, 0}; // the LPCM private header's last three bytes
    bool lpcmHeaderSeen = false;
    std::optional<int> mlpRate; // from the first major sync; 0 a reserved code
};

// ---- Audio frames ----------------------------------------------------------

// Walks the frames that start in the bytes: from a valid header to the next one
// a frame's length further on, or searching forward where the next header is
// not there (a frame cut short at the end of a packet). Adds up their ticks.
template <class Header>
std::optional<double> walkFrames(const std::vector<std::uint8_t>& bytes, Header header) {
    double ticks = 0;
    std::size_t i = 0;
    bool any = false;
    while (i + 4 <= bytes.size()) {
        const std::optional<codec::FrameHeader> f = header(bytes.data() + i, bytes.size() - i);
        if (!f) {
            ++i;
            continue;
        }
        if (f->samples > 0) {
            ticks += f->samples * kPtsPerSecond / f->sampleRate;
            any = true;
        }
        i += std::max<std::size_t>(f->bytes, 1);
    }
    // Not one frame header after the last PTS: how long the stream goes on is not known.
    if (!any) return std::nullopt;
    return ticks;
}

// ---- The packet walk -------------------------------------------------------

class Surveyor {
public:
    explicit Surveyor(SubpicturePayload subpictures = {}) : m_subpictures(std::move(subpictures)) {}

    // Every packet the reader gives, to the end of its source.
    void feed(PacketReader& reader, const SurveyProgress& progress = {}) {
        std::int64_t nextProgress = kProgressStep;
        Packet p;
        while (reader.next(p)) {
            packet(p);
            if (progress && reader.position() >= nextProgress) {
                progress(reader.position(), reader.size());
                nextProgress = reader.position() + kProgressStep;
            }
        }
        for (std::size_t i = 0; i < m_unknown.size(); ++i) m_unknown[i] += reader.unknownPackets()[i];
    }

    std::vector<StreamSurvey> finish();
    std::vector<UnknownStream> unknown() const {
        std::vector<UnknownStream> out;
        for (std::size_t i = 0; i < m_unknown.size(); ++i)
            if (m_unknown[i] > 0)
                out.push_back({i < 256 ? ids::kPrivateStream1 : ids::kExtendedStream,
                               static_cast<int>(i % 256), m_unknown[i]});
        return out;
    }

private:
    // The stream's tracker, made when its first packet comes: 2 video, 16 audio
    // and 32 subpicture places, looked up without a search.
    Tracker* tracker(SurveyKind kind, int index, int code, const char* name, Codec codec) {
        const std::size_t place = kind == SurveyKind::Video   ? static_cast<std::size_t>(index)
                                  : kind == SurveyKind::Audio ? 2 + static_cast<std::size_t>(index)
                                                              : 18 + static_cast<std::size_t>(index);
        std::unique_ptr<Tracker>& t = m_trackers[place];
        if (!t) {
            t = std::make_unique<Tracker>();
            t->survey.kind = kind;
            t->survey.index = index;
            t->survey.code = code;
            t->survey.codec = name;
            t->codec = codec;
        }
        return t.get();
    }

    void packet(const Packet& p) {
        std::optional<std::uint64_t> pts;
        if (p.hasPts) pts = p.pts;
        const std::uint8_t* payload = p.payload;
        const std::size_t length = p.payloadSize;
        const int code = p.code;
        const int index = ids::indexOfCode(code);

        Tracker* t = nullptr;
        switch (p.kind) {
        case ids::CodeKind::Mpeg2Video:
            t = tracker(SurveyKind::Video, index, code, "MPEG-2", Codec::Video);
            break;
        case ids::CodeKind::H264Video:
            t = tracker(SurveyKind::Video, index, code, "H.264", Codec::Video);
            break;
        case ids::CodeKind::Vc1Video:
            t = tracker(SurveyKind::Video, index, code, "VC-1", Codec::Video);
            break;
        case ids::CodeKind::Subpicture:
        case ids::CodeKind::ExtendedSubpicture:
            t = tracker(SurveyKind::Subpicture, index, code,
                        p.kind == ids::CodeKind::Subpicture ? "Subpicture" : "Ext.Subpicture",
                        Codec::Subpicture);
            if (m_subpictures) m_subpictures(index, pts, payload, length);
            break;
        case ids::CodeKind::Dd: t = tracker(SurveyKind::Audio, index, code, "DD", Codec::Dolby); break;
        case ids::CodeKind::DtsHd: t = tracker(SurveyKind::Audio, index, code, "DTS-HD", Codec::Dts); break;
        case ids::CodeKind::DdPlus: t = tracker(SurveyKind::Audio, index, code, "DD+", Codec::Dolby); break;
        case ids::CodeKind::Lpcm:
            t = tracker(SurveyKind::Audio, index, code, "LPCM", Codec::Lpcm);
            if (!t->lpcmHeaderSeen && t->survey.code == code) {
                std::memcpy(t->lpcmHeader, p.privateHeader + 3, 3);
                t->lpcmHeaderSeen = true;
            }
            break;
        case ids::CodeKind::Mlp: t = tracker(SurveyKind::Audio, index, code, "MLP", Codec::Mlp); break;
        case ids::CodeKind::None: return;
        }
        // Another codec on an index already taken counts with the first, as the window's table keeps it.
        if (t->survey.code != code) return;

        StreamSurvey& s = t->survey;
        ++s.packets;
        if (pts) {
            if (!s.hasPts || *pts < s.firstPts) s.firstPts = *pts;
            if (!s.hasPts || *pts > s.lastPts) s.lastPts = *pts;
            s.hasPts = true;
            if (s.kind == SurveyKind::Video) t->videoPts.push_back(*pts);
        }
        if (s.kind != SurveyKind::Audio) return;
        if (t->codec == Codec::Mlp && !t->mlpRate) findMlpRate(*t, payload, length);
        // Only the stretch after the highest PTS matters; PTS of audio only grow.
        if (pts && *pts == s.lastPts) {
            t->tail.clear();
            t->tailOverflow = false;
        }
        if (!s.hasPts) return;
        if (t->tail.size() + length > kTailLimit) {
            t->tailOverflow = true;
            return;
        }
        t->tail.insert(t->tail.end(), payload, payload + length);
    }

    static void findMlpRate(Tracker& t, const std::uint8_t* p, std::size_t n) {
        // A major sync sits four bytes into its access unit.
        for (std::size_t i = 4; i + 4 <= n; ++i)
            if (codec::majorSyncAt(p + i, n - i) != codec::MajorSync::None) {
                t.mlpRate = codec::majorSyncSampleRate(p + i - 4, n - i + 4);
                return;
            }
    }

    std::array<std::unique_ptr<Tracker>, 50> m_trackers;
    SubpicturePayload m_subpictures;
    std::array<std::int64_t, 512> m_unknown{}; // private stream 1 sub-stream ids, then extensions
};

void finishAudio(Tracker& t) {
    StreamSurvey& s = t.survey;
    if (t.tailOverflow) return;
    if (t.codec == Codec::Dolby || t.codec == Codec::Dts) {
        const auto header = t.codec == Codec::Dolby ? codec::dolbyHeader : codec::dtsCoreHeader;
        for (std::size_t i = 0; i + 4 <= t.tail.size(); ++i)
            if (const auto first = header(t.tail.data() + i, t.tail.size() - i)) {
                s.sampleRate = first->sampleRate;
                s.channels = first->channels;
                s.frameTicks = first->samples * kPtsPerSecond / first->sampleRate;
                break;
            }
        s.tailTicks = walkFrames(t.tail, header);
    } else if (t.codec == Codec::Lpcm && t.lpcmHeaderSeen) {
        std::string why;
        const std::optional<codec::LpcmFormat> format = codec::parseLpcmHeader(t.lpcmHeader, why);
        if (!format) return;
        s.sampleRate = format->sampleRate;
        s.channels = format->channels;
        s.tailTicks = static_cast<double>(t.tail.size()) * kPtsPerSecond / format->bytesPerSecond();
    } else if (t.codec == Codec::Mlp) {
        const int rate = t.mlpRate.value_or(0);
        if (rate == 0) return;
        s.sampleRate = rate;
        const double unitTicks = kPtsPerSecond / codec::accessUnitsPerSecond(rate);
        s.frameTicks = unitTicks;
        std::size_t i = 0;
        int units = 0;
        while (i + 4 <= t.tail.size()) {
            const std::size_t bytes = codec::accessUnitBytes(t.tail.data() + i);
            if (bytes < 4) break;
            ++units;
            i += bytes;
        }
        s.tailTicks = units * unitTicks;
    }
}

void finishVideo(Tracker& t) {
    std::vector<std::uint64_t>& v = t.videoPts;
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
    if (v.size() < 2) return;
    std::uint64_t smallest = UINT64_MAX;
    for (std::size_t i = 1; i < v.size(); ++i) smallest = std::min(smallest, v[i] - v[i - 1]);
    // 23.976 fps steps by 3753 or 3754 ticks: the mean of the steps within a
    // tick of the smallest is the frame.
    double sum = 0;
    int count = 0;
    for (std::size_t i = 1; i < v.size(); ++i)
        if (v[i] - v[i - 1] <= smallest + 1) {
            sum += static_cast<double>(v[i] - v[i - 1]);
            ++count;
        }
    t.survey.frameTicks = sum / count;
    t.survey.tailTicks = t.survey.frameTicks;
}

std::vector<StreamSurvey> Surveyor::finish() {
    std::vector<StreamSurvey> out;
    for (auto& t : m_trackers) {
        if (!t) continue;
        if (t->survey.kind == SurveyKind::Audio) finishAudio(*t);
        if (t->survey.kind == SurveyKind::Video) finishVideo(*t);
        out.push_back(t->survey);
    }
    return out; // ordered by kind, then index
}

} // namespace

std::optional<double> StreamSurvey::endPts() const {
    if (!hasPts || !tailTicks) return std::nullopt;
    return static_cast<double>(lastPts) + *tailTicks;
}

const StreamSurvey* FileSurvey::mainVideo() const {
    for (const StreamSurvey& s : streams)
        if (s.kind == SurveyKind::Video && s.hasPts) return &s;
    return nullptr;
}

const StreamSurvey* FileSurvey::find(SurveyKind kind, int index) const {
    for (const StreamSurvey& s : streams)
        if (s.kind == kind && s.index == index) return &s;
    return nullptr;
}

std::optional<double> FileSurvey::videoSpanSeconds() const {
    const StreamSurvey* v = mainVideo();
    if (v == nullptr || !v->frameTicks) return std::nullopt;
    return (static_cast<double>(v->lastPts - v->firstPts) + *v->frameTicks) / kPtsPerSecond;
}

FileSurvey surveyFile(const std::string& path, const SurveyProgress& progress,
                      const SubpicturePayload& subpictures) {
    FileSurvey result;
    PacketReader reader(path);
    result.path = path;
    result.size = reader.size();
    Surveyor surveyor(subpictures);
    surveyor.feed(reader, progress);
    result.programStream = reader.startsWithPack();
    result.streams = surveyor.finish();
    result.unknown = surveyor.unknown();
    return result;
}

FileSurvey surveyFileEnds(const std::string& path, std::int64_t window) {
    const std::unique_ptr<ByteSource> file =
        openSource(path); // on disk or inside a disc image; the file layer's text when it cannot be opened
    const std::int64_t size = file->size();
    if (size <= 2 * window) return surveyFile(path);
    FileSurvey result;
    result.path = path;
    result.size = size;
    Surveyor surveyor;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(window));
    // Each window is read whole (the file layer's rule) and walked as a stream of its own.
    auto walk = [&](std::int64_t offset) {
        file->seek(offset);
        const std::size_t got = file->read(buffer.data(), buffer.size());
        MemorySource bytes(buffer.data(), got, path);
        PacketReader reader(bytes);
        surveyor.feed(reader);
        return reader.startsWithPack();
    };
    result.programStream = walk(0);
    // The tail starts on a pack boundary; the walk finds its way from there in any case.
    walk((size - window) / 2048 * 2048);
    result.streams = surveyor.finish();
    result.unknown = surveyor.unknown();
    return result;
}

FileSurvey surveyBytes(const std::uint8_t* data, std::size_t n) {
    FileSurvey result;
    result.size = static_cast<std::int64_t>(n);
    MemorySource bytes(data, n);
    PacketReader reader(bytes);
    Surveyor surveyor;
    surveyor.feed(reader);
    result.programStream = reader.startsWithPack();
    result.streams = surveyor.finish();
    result.unknown = surveyor.unknown();
    return result;
}

bool looksLikeProgramStream(const std::string& path) {
    const std::unique_ptr<ByteSource> file = openSource(path);
    std::uint8_t head[4] = {0, 0, 0, 0};
    return file->read(head, 4) == 4 && head[0] == 0 && head[1] == 0 && head[2] == 1 && head[3] == 0xBA;
}

double ticksToMs(double ticks) {
    return std::round(ticks / 90.0 * 1000.0) / 1000.0;
}

} // namespace vantrel::disc
