#include "pts_survey.h"

#include "engine/file_layer.h"
#include "engine/packet_reader.h"
#include "engine/stream_ids.h"

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
    int mlpRateCode = -1;
};

// ---- Audio frames ----------------------------------------------------------

int ac3Rate(int fscod) {
    static const int kRates[3] = {48000, 44100, 32000};
    return fscod < 3 ? kRates[fscod] : 0;
}

// One Dolby Digital (Plus) frame header at p (n bytes available): its size in
// bytes, samples and rate; false when it is not a valid header.
struct DolbyFrame {
    std::size_t bytes = 0;
    int samples = 0;
    int rate = 0;
    int channels = 0;
    bool counts = true; // an independent frame of sub-stream 0 (E-AC-3) or any AC-3 frame
};

bool dolbyFrame(const std::uint8_t* p, std::size_t n, DolbyFrame& f) {
    if (n < 7 || p[0] != 0x0B || p[1] != 0x77) return false;
    const int bsid = p[5] >> 3;
    if (bsid <= 10) {
        static const int kKbps[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                      192, 224, 256, 320, 384, 448, 512, 576, 640};
        const int fscod = p[4] >> 6;
        const int code = p[4] & 0x3F;
        if (fscod == 3 || code >= 38) return false;
        const int kbps = kKbps[code >> 1];
        std::size_t words = 0;
        if (fscod == 0)
            words = static_cast<std::size_t>(kbps) * 2;
        else if (fscod == 2)
            words = static_cast<std::size_t>(kbps) * 3;
        else
            words = static_cast<std::size_t>(kbps) * 320 / 147 + static_cast<std::size_t>(code & 1);
        f.bytes = words * 2;
        f.samples = 1536;
        f.rate = ac3Rate(fscod);
        static const int kChannels[8] = {2, 1, 2, 3, 3, 4, 4, 5};
        const int acmod = p[6] >> 5;
        // The LFE bit follows acmod after optional 2-bit fields; count it where it is plain to find.
        int shift = 4;
        if ((acmod & 1) && acmod != 1) shift -= 2;
        if (acmod & 4) shift -= 2;
        if (acmod == 2) shift -= 2;
        const int lfe = shift >= 0 ? (p[6] >> shift) & 1 : 0;
        f.channels = kChannels[acmod] + lfe;
        f.counts = true;
        return true;
    }
    if (bsid > 16) return false;
    const int strmtyp = p[2] >> 6;
    const int substreamid = (p[2] >> 3) & 7;
    const std::size_t frmsiz = (static_cast<std::size_t>(p[2] & 7) << 8) | p[3];
    const int fscod = p[4] >> 6;
    int blocks = 6;
    int rate = 0;
    if (fscod == 3) {
        static const int kReduced[3] = {24000, 22050, 16000};
        const int fscod2 = (p[4] >> 4) & 3;
        if (fscod2 == 3) return false;
        rate = kReduced[fscod2];
    } else {
        static const int kBlocks[4] = {1, 2, 3, 6};
        blocks = kBlocks[(p[4] >> 4) & 3];
        rate = ac3Rate(fscod);
    }
    if (strmtyp == 3) return false;
    f.bytes = (frmsiz + 1) * 2;
    f.samples = blocks * 256;
    f.rate = rate;
    static const int kChannels[8] = {2, 1, 2, 3, 3, 4, 4, 5};
    f.channels = kChannels[(p[4] >> 1) & 7] + (p[4] & 1);
    f.counts = strmtyp != 1 && substreamid == 0;
    return true;
}

struct DtsFrame {
    std::size_t bytes = 0;
    int samples = 0;
    int rate = 0;
};

bool dtsFrame(const std::uint8_t* p, std::size_t n, DtsFrame& f) {
    if (n < 10 || p[0] != 0x7F || p[1] != 0xFE || p[2] != 0x80 || p[3] != 0x01) return false;
    static const int kRates[16] = {0,     8000, 16000, 32000, 0,     0,     11025, 22050,
                                   44100, 0,    0,     12000, 24000, 48000, 0,     0};
    const int nblks = ((p[4] & 1) << 6) | (p[5] >> 2);
    const std::size_t fsize = ((static_cast<std::size_t>(p[5] & 3) << 12) |
                               (static_cast<std::size_t>(p[6]) << 4) | static_cast<std::size_t>(p[7] >> 4)) +
                              1;
    const int rate = kRates[(p[8] >> 2) & 0xF];
    if (nblks < 5 || fsize < 96 || rate == 0) return false;
    f.bytes = fsize;
    f.samples = (nblks + 1) * 32;
    f.rate = rate;
    return true;
}

// Walks the frames that start in the bytes: from a valid header to the next one
// a frame's length further on, or searching forward where the next header is
// not there (a frame cut short at the end of a packet). Adds up their ticks.
template <class Header>
std::optional<double> walkFrames(const std::vector<std::uint8_t>& bytes, Header header) {
    double ticks = 0;
    std::size_t i = 0;
    bool any = false;
    while (i + 4 <= bytes.size()) {
        std::size_t frameBytes = 0;
        int samples = 0, rate = 0;
        bool counts = true;
        if (!header(bytes.data() + i, bytes.size() - i, frameBytes, samples, rate, counts)) {
            ++i;
            continue;
        }
        if (counts) {
            ticks += samples * kPtsPerSecond / rate;
            any = true;
        }
        i += std::max<std::size_t>(frameBytes, 1);
    }
    // Not one frame header after the last PTS: how long the stream goes on is not known.
    if (!any) return std::nullopt;
    return ticks;
}

int mlpRate(int code) {
    switch (code) {
    case 0: return 48000;
    case 1: return 96000;
    case 2: return 192000;
    case 8: return 44100;
    case 9: return 88200;
    case 10: return 176400;
    default: return 0;
    }
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
    }

    std::vector<StreamSurvey> finish();

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
        if (t->codec == Codec::Mlp && t->mlpRateCode < 0) findMlpRate(*t, payload, length);
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
        for (std::size_t i = 0; i + 9 <= n; ++i)
            if (p[i] == 0xF8 && p[i + 1] == 0x72 && p[i + 2] == 0x6F &&
                (p[i + 3] == 0xBA || p[i + 3] == 0xBB)) {
                if (i < 4) continue; // a major sync sits four bytes into its access unit
                t.mlpRateCode = p[i + 4] >> 4;
                return;
            }
    }

    std::array<std::unique_ptr<Tracker>, 50> m_trackers;
    SubpicturePayload m_subpictures;
};

void finishAudio(Tracker& t) {
    StreamSurvey& s = t.survey;
    if (t.tailOverflow) return;
    if (t.codec == Codec::Dolby) {
        DolbyFrame first;
        for (std::size_t i = 0; i + 7 <= t.tail.size(); ++i)
            if (dolbyFrame(t.tail.data() + i, t.tail.size() - i, first)) {
                s.sampleRate = first.rate;
                s.channels = first.channels;
                s.frameTicks = first.samples * kPtsPerSecond / first.rate;
                break;
            }
        s.tailTicks = walkFrames(t.tail, [](const std::uint8_t* p, std::size_t n, std::size_t& bytes,
                                            int& samples, int& rate, bool& counts) {
            DolbyFrame f;
            if (!dolbyFrame(p, n, f)) return false;
            bytes = f.bytes;
            samples = f.samples;
            rate = f.rate;
            counts = f.counts;
            return true;
        });
    } else if (t.codec == Codec::Dts) {
        s.tailTicks = walkFrames(t.tail, [&s](const std::uint8_t* p, std::size_t n, std::size_t& bytes,
                                              int& samples, int& rate, bool&) {
            DtsFrame f;
            if (!dtsFrame(p, n, f)) return false;
            bytes = f.bytes;
            samples = f.samples;
            rate = f.rate;
            if (s.sampleRate == 0) {
                s.sampleRate = rate;
                s.frameTicks = samples * kPtsPerSecond / rate;
            }
            return true;
        });
    } else if (t.codec == Codec::Lpcm && t.lpcmHeaderSeen) {
        static const int kBits[4] = {16, 20, 24, 0};
        static const int kRates[4] = {48000, 96000, 192000, 0};
        const int bits = kBits[t.lpcmHeader[1] >> 6];
        const int rate = kRates[(t.lpcmHeader[1] >> 4) & 3];
        const int channels = (t.lpcmHeader[1] & 7) + 1;
        if (bits == 0 || rate == 0) return;
        s.sampleRate = rate;
        s.channels = channels;
        const double bytesPerSecond = static_cast<double>(rate) * channels * bits / 8.0;
        s.tailTicks = static_cast<double>(t.tail.size()) * kPtsPerSecond / bytesPerSecond;
    } else if (t.codec == Codec::Mlp) {
        const int rate = mlpRate(t.mlpRateCode);
        if (rate == 0) return;
        s.sampleRate = rate;
        // An access unit lasts 1/1200 s in the 48 kHz family, 1/1102.5 s in the 44.1 kHz one.
        const double unitTicks = kPtsPerSecond / (rate % 48000 == 0 ? 1200.0 : 1102.5);
        s.frameTicks = unitTicks;
        std::size_t i = 0;
        int units = 0;
        while (i + 4 <= t.tail.size()) {
            const std::size_t bytes = ((static_cast<std::size_t>(t.tail[i] & 0x0F) << 8) | t.tail[i + 1]) * 2;
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
    return result;
}

FileSurvey surveyFileEnds(const std::string& path, std::int64_t window) {
    InputFile file(path);
    const std::int64_t size = file.size();
    if (size <= 2 * window) return surveyFile(path);
    FileSurvey result;
    result.path = path;
    result.size = size;
    Surveyor surveyor;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(window));
    // Each window is read whole (the file layer's rule) and walked as a stream of its own.
    auto walk = [&](std::int64_t offset) {
        file.seek(offset);
        const std::size_t got = file.read(buffer.data(), buffer.size());
        MemorySource bytes(buffer.data(), got, path);
        PacketReader reader(bytes);
        surveyor.feed(reader);
        return reader.startsWithPack();
    };
    result.programStream = walk(0);
    // The tail starts on a pack boundary; the walk finds its way from there in any case.
    walk((size - window) / 2048 * 2048);
    result.streams = surveyor.finish();
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
    return result;
}

bool looksLikeProgramStream(const std::string& path) {
    InputFile file(path);
    std::uint8_t head[4] = {0, 0, 0, 0};
    return file.read(head, 4) == 4 && head[0] == 0 && head[1] == 0 && head[2] == 1 && head[3] == 0xBA;
}

double ticksToMs(double ticks) {
    return std::round(ticks / 90.0 * 1000.0) / 1000.0;
}

} // namespace vantrel::disc
