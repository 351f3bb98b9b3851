#include "sample_disc.h"

#include "evo_builder.h"
#include "subpicture_encoder.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace vantrel::test {

namespace {

// A frame at 24000/1001 fps lasts 3753.75 ticks of 90 kHz: frame n of the
// feature starts at 90000 + n * 15015 / 4.
std::uint64_t frameTime(std::uint64_t frame) {
    return 90000 + frame * 15015 / 4;
}

// Fills a payload of `size` bytes with frames: each frame begins with `frameStart`
// and is `frameSize` bytes long; the rest is a counting pattern free of start codes.
Bytes framedPayload(std::size_t size, const Bytes& frameStart, std::size_t frameSize, int& frames) {
    Bytes out;
    out.reserve(size);
    while (out.size() < size) {
        std::size_t frameEnd = std::min(size, out.size() + frameSize);
        if (out.size() + frameStart.size() <= frameEnd) {
            out.insert(out.end(), frameStart.begin(), frameStart.end());
            ++frames;
        }
        std::uint8_t v = 0x40;
        while (out.size() < frameEnd) {
            out.push_back(v);
            v = static_cast<std::uint8_t>(v == 0xEF ? 0x40 : v + 1);
        }
    }
    return out;
}

// Writes fields most significant bit first.
class BitWriter {
public:
    void put(std::uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            m_acc = static_cast<std::uint8_t>((m_acc << 1) | ((value >> i) & 1u));
            if (++m_used == 8) flush();
        }
    }
    // Ends the unit with a one bit and zeros up to the byte boundary.
    Bytes finish() {
        put(1, 1);
        while (m_used != 0) put(0, 1);
        return m_out;
    }
    Bytes bytes() const { return m_out; }

private:
    void flush() {
        m_out.push_back(m_acc);
        m_acc = 0;
        m_used = 0;
    }
    Bytes m_out;
    std::uint8_t m_acc = 0;
    int m_used = 0;
};

void append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

// The start of each VC-1 frame: an advanced-profile sequence header (1920x1080,
// progressive, 24000/1001 frames a second), an entry point, and the frame
// header of an intra frame. Every frame can so be decoded from on its own.
Bytes vc1FrameStart() {
    Bytes out = {0x00, 0x00, 0x01, 0x0F};
    BitWriter seq;
    seq.put(3, 2);    // advanced profile
    seq.put(3, 3);    // level
    seq.put(1, 2);    // 4:2:0
    seq.put(7, 3);    // frame rate for post-processing
    seq.put(31, 5);   // bit rate for post-processing
    seq.put(0, 1);    // no post-processing
    seq.put(959, 12); // coded width / 2 - 1
    seq.put(539, 12); // coded height / 2 - 1
    seq.put(0, 4);    // no pulldown, progressive, no frame counter, no interpolation
    seq.put(1, 1);    // reserved
    seq.put(0, 1);    // not progressive segmented
    seq.put(1, 1);    // display extension
    seq.put(1919, 14);
    seq.put(1079, 14);
    seq.put(1, 1); // aspect ratio given
    seq.put(1, 4); // square samples
    seq.put(1, 1); // frame rate given
    seq.put(0, 1); // as a ratio
    seq.put(1, 8); // 24000
    seq.put(2, 4); // / 1001
    seq.put(0, 1); // no colour format
    seq.put(0, 1); // no HRD parameters
    append(out, seq.finish());
    append(out, {0x00, 0x00, 0x01, 0x0E});
    BitWriter entry;
    entry.put(0, 1);  // not a broken link
    entry.put(1, 1);  // closed entry
    entry.put(0, 13); // no pan-scan, refdist, loop filter, ... , quantizer 0
    entry.put(0, 1);  // no coded size
    entry.put(0, 2);  // no range mapping
    append(out, entry.finish());
    append(out, {0x00, 0x00, 0x01, 0x0D, 0xC2, 0x80}); // an I frame, quantizer index 1
    return out;
}

// The start of each MPEG-2 picture: sequence header and extension (1920x1080,
// 16:9, 24000/1001 frames a second, progressive), a GOP header, and the
// header and coding extension of an intra picture, then its first slice.
Bytes mpeg2PictureStart(int temporalReference) {
    Bytes out = {0x00, 0x00, 0x01, 0xB3};
    BitWriter seq;
    seq.put(1920, 12);
    seq.put(1080, 12);
    seq.put(3, 4);      // 16:9
    seq.put(1, 4);      // 24000/1001
    seq.put(20000, 18); // bit rate in 400 bit/s units
    seq.put(1, 1);      // marker
    seq.put(112, 10);   // VBV buffer
    seq.put(0, 3);      // not constrained, default matrices
    append(out, seq.bytes());
    append(out, {0x00, 0x00, 0x01, 0xB5});
    BitWriter ext;
    ext.put(1, 4);    // sequence extension
    ext.put(0x44, 8); // main profile, high level
    ext.put(1, 1);    // progressive
    ext.put(1, 2);    // 4:2:0
    ext.put(0, 4);    // size extensions
    ext.put(0, 12);   // bit rate extension
    ext.put(1, 1);    // marker
    ext.put(0, 8);    // VBV extension
    ext.put(0, 8);    // not low delay, no frame rate extension
    append(out, ext.bytes());
    append(out, {0x00, 0x00, 0x01, 0xB8, 0x00, 0x08, 0x00, 0x40}); // closed GOP at 0:00:00:00
    append(out, {0x00, 0x00, 0x01, 0x00});
    BitWriter pic;
    pic.put(static_cast<std::uint32_t>(temporalReference), 10);
    pic.put(1, 3);       // intra
    pic.put(0xFFFF, 16); // VBV delay
    pic.put(0, 3);       // no extra information
    append(out, pic.bytes());
    append(out, {0x00, 0x00, 0x01, 0xB5});
    BitWriter coding;
    coding.put(8, 4);             // picture coding extension
    coding.put(0xFFFF, 16);       // no motion vectors
    coding.put(0, 2);             // 8-bit DC precision
    coding.put(3, 2);             // frame picture
    coding.put(0b0100000110, 10); // frame DCT, 4:2:0 type, progressive frame
    coding.put(0, 6);
    append(out, coding.bytes());
    append(out, {0x00, 0x00, 0x01, 0x01, 0x0A});
    return out;
}

// CRC-16 with the polynomial x^16 + x^15 + x^2 + 1 that the Dolby frames use,
// starting at 0, over bytes [from, to) of `frame`.
std::uint16_t dolbyCrc(const Bytes& frame, std::size_t from, std::size_t to) {
    std::uint16_t crc = 0;
    for (std::size_t i = from; i < to; ++i) {
        crc ^= static_cast<std::uint16_t>(frame[i] << 8);
        for (int b = 0; b < 8; ++b)
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x8005 : crc << 1);
    }
    return crc;
}

void putBe16(Bytes& frame, std::size_t at, std::uint16_t v) {
    frame[at] = static_cast<std::uint8_t>(v >> 8);
    frame[at + 1] = static_cast<std::uint8_t>(v);
}

// A frame of `size` bytes: `header`, then a counting pattern free of sync words.
Bytes filledFrame(const Bytes& header, std::size_t size) {
    Bytes out = header;
    std::uint8_t v = 0x40;
    while (out.size() < size) {
        out.push_back(v);
        v = static_cast<std::uint8_t>(v == 0xEF ? 0x40 : v + 1);
    }
    return out;
}

// AC-3: 48 kHz, 192 kbit/s (768-byte frames of 1536 samples), bsid 8, 3/2.
// The first CRC makes the first 5/8 of the frame check to zero, the second the whole frame.
Bytes ac3Frame() {
    Bytes frame = filledFrame({0x0B, 0x77, 0x00, 0x00, 0x14, 0x40, 0xE0}, 768);
    const std::size_t fiveEighths = ((768 >> 2) + (768 >> 4)) << 1;
    // The CRC starts at zero and is linear, so find the word that cancels the rest.
    const std::uint16_t rest = dolbyCrc(frame, 2, fiveEighths);
    std::uint16_t basis[16];
    for (int bit = 0; bit < 16; ++bit) {
        Bytes probe(fiveEighths, 0);
        putBe16(probe, 2, static_cast<std::uint16_t>(1u << bit));
        basis[bit] = dolbyCrc(probe, 2, fiveEighths);
    }
    for (std::uint32_t word = 0; word < 0x10000; ++word) {
        std::uint16_t crc = rest;
        for (int bit = 0; bit < 16; ++bit)
            if (word & (1u << bit)) crc ^= basis[bit];
        if (crc == 0) {
            putBe16(frame, 2, static_cast<std::uint16_t>(word));
            break;
        }
    }
    putBe16(frame, 766, dolbyCrc(frame, fiveEighths, 766));
    return frame;
}

// E-AC-3: independent stream, 768-byte frames, 48 kHz, 6 blocks, 3/2 with LFE,
// bsid 16, with the frame's CRC at its end.
Bytes eac3Frame() {
    Bytes frame = filledFrame({0x0B, 0x77, 0x01, 0x7F, 0x3F, 0x80}, 768);
    putBe16(frame, 766, dolbyCrc(frame, 2, 766));
    return frame;
}

// DTS core: 512 samples at 48 kHz in 256 bytes (192 kbit/s), 3/2 with LFE.
Bytes dtsFrame() {
    BitWriter h;
    h.put(0x7FFE8001, 32);
    h.put(1, 1);    // normal frame
    h.put(31, 5);   // no deficit samples
    h.put(0, 1);    // no CRC
    h.put(15, 7);   // 16 blocks of 32 samples
    h.put(255, 14); // frame size - 1
    h.put(9, 6);    // 3/2
    h.put(13, 4);   // 48 kHz
    h.put(6, 5);    // 192 kbit/s
    h.put(0, 10);   // no downmix, dynamic range, time stamp, aux data, HDCD; extension id 0
    h.put(0, 1);    // no extension
    h.put(0, 1);    // no audio sync word insertion
    h.put(2, 2);    // LFE at 128 times the sub-band rate
    h.put(0, 1);    // no predictor history
    h.put(0, 1);    // non-perfect filter
    h.put(7, 4);    // encoder version
    h.put(0, 2);    // no copy history
    h.put(0, 3);    // 16-bit source
    h.put(0, 2);    // no sum/difference
    h.put(0, 4);    // dialogue normalisation
    return filledFrame(h.bytes(), 256);
}

// Frame durations in 90 kHz ticks.
constexpr std::uint64_t kDolbyFrameTicks = 2880; // 1536 samples at 48 kHz
constexpr std::uint64_t kDtsFrameTicks = 960;    // 512 samples at 48 kHz

// The whole frames of one audio stream that start before `until`, from `clock`
// on; moves `clock` past them.
Bytes framesUntil(const Bytes& frame, std::uint64_t ticks, std::uint64_t& clock, std::uint64_t until) {
    Bytes out;
    while (clock < until) {
        append(out, frame);
        clock += ticks;
    }
    return out;
}

// MLP access units of 1/1200 s (40 samples at 48 kHz): the first of each pack
// 32 bytes with a major sync (48 kHz, 16-bit, 3/2 with LFE), the others 16.
constexpr std::uint64_t kMlpUnitTicks = 75;

Bytes mlpUnit(bool majorSync) {
    const std::size_t size = majorSync ? 32 : 16;
    Bytes head = {static_cast<std::uint8_t>(size / 2 >> 8), static_cast<std::uint8_t>(size / 2), 0x00, 0x00};
    if (majorSync) append(head, {0xF8, 0x72, 0x6F, 0xBB, 0x00, 0x0F, 0x00, 0x14, 0xB7, 0x52});
    return filledFrame(head, size);
}

Bytes mlpUnitsUntil(std::uint64_t& clock, std::uint64_t until) {
    Bytes out;
    while (clock < until) {
        append(out, mlpUnit(out.empty()));
        clock += kMlpUnitTicks;
    }
    return out;
}

std::size_t privateRoom(std::uint8_t id, bool withPts) {
    PesSpec shape;
    shape.streamId = 0xBD;
    if (withPts) shape.pts = 0;
    shape.body = privateHeader(id);
    return EvoBuilder::packPayloadRoom(shape); // what is left after the private header
}

// Groups between two subtitles, and how long each is shown (units of 1024 ticks:
// about 1.2 s, so that the last one ends within a second of the title's end).
constexpr int kSubtitleEvery = 48;
constexpr std::uint16_t kSubtitleShown = 105;

// The unit of subtitle number n: stream 0x20 carries 2-bit white text with a
// black outline at the bottom of the frame, stream 0x61 8-bit text whose fill
// runs from yellow to orange line by line, at the top.
Bytes subtitleUnit(std::uint8_t id, int n, std::uint64_t pts) {
    UnitSpec drawing;
    fillTestPalette(drawing);
    drawing.pts = static_cast<std::uint32_t>(pts);
    drawing.stopDelay = kSubtitleShown;
    if (id == 0x20) {
        drawing.colours = ColourBits::Two;
        drawText(drawing, "SAMPLE SUBTITLE " + std::to_string(n), 4, 1, 2);
        drawing.y = 1080 - 120 - drawing.height;
    } else {
        drawText(drawing, "NOTE " + std::to_string(n) + ": EXTENDED SUBPICTURE", 3, 255, 2);
        for (int line = 0; line < drawing.height; ++line) {
            const auto index = static_cast<std::uint8_t>(16 + line);
            drawing.palette[index] = {static_cast<std::uint8_t>(210 - line), 146,
                                      static_cast<std::uint8_t>(16 + line / 4)};
            for (int x = 0; x < drawing.width; ++x) {
                std::uint8_t& p = drawing.pixels[static_cast<std::size_t>(line * drawing.width + x)];
                if (p == 255) p = index;
            }
        }
        drawing.y = 80;
    }
    drawing.x = (1920 - drawing.width) / 2;
    return encodeUnit(drawing).bytes;
}

// A unit cut into as many subpicture packets as it needs, each in a pack of
// its own, the first with the PTS.
void packUnit(EvoBuilder& evo, std::uint8_t id, const Bytes& unit, std::uint64_t pts) {
    std::size_t done = 0;
    bool first = true;
    while (done < unit.size()) {
        const std::size_t room = privateRoom(id, first);
        const std::size_t left = unit.size() - done;
        std::size_t take = std::min(left, room);
        if (take < room && room - take < 6) take = room - 6; // padding needs 6 bytes at least
        evo.packPrivate(id,
                        Bytes(unit.begin() + static_cast<std::ptrdiff_t>(done),
                              unit.begin() + static_cast<std::ptrdiff_t>(done + take)),
                        first ? std::optional<std::uint64_t>(pts) : std::nullopt);
        done += take;
        first = false;
    }
}

} // namespace

SampleEvoStats writeSampleEvo(const std::string& path, int groups, std::uint64_t firstPts,
                              const SampleEvoStats* before, bool audio) {
    SampleEvoStats stats;
    EvoBuilder evo;
    evo.packSystemHeader(2, 6);

    PesSpec vc1Shape;
    vc1Shape.streamId = 0xFD;
    vc1Shape.pts = 0;
    vc1Shape.streamIdExtension = 0x55;
    const std::size_t vc1Room = EvoBuilder::packPayloadRoom(vc1Shape);
    vc1Shape.pts.reset();
    const std::size_t vc1RoomNoPts = EvoBuilder::packPayloadRoom(vc1Shape);
    PesSpec mpegShape;
    mpegShape.streamId = 0xE1;
    mpegShape.pts = 0;
    const std::size_t mpegRoom = EvoBuilder::packPayloadRoom(mpegShape);

    const Bytes vc1Start = vc1FrameStart();
    const Bytes eac3 = eac3Frame();
    const Bytes ac3 = ac3Frame();
    const Bytes dts = dtsFrame();
    // The audio of a later part goes on where the part before ended.
    std::uint64_t eac3Clock = before ? before->audioEnd[0] : firstPts;
    std::uint64_t ac3Clock = before ? before->audioEnd[1] : firstPts;
    std::uint64_t dtsClock = before ? before->audioEnd[2] : firstPts;
    std::uint64_t mlpClock = before ? before->audioEnd[3] : firstPts;
    const std::uint64_t lpcmStart = before ? before->lpcmStart : firstPts;
    std::uint64_t lpcmSamples = before ? before->lpcmSamples : 0; // sample pairs written
    const std::uint64_t firstFrame = (firstPts - std::min<std::uint64_t>(firstPts, 90000)) * 4 / 15015;
    for (int g = 0; g < groups; ++g) {
        const std::uint64_t frameNumber = firstFrame + static_cast<std::uint64_t>(g);
        const std::uint64_t pts = firstPts + static_cast<std::uint64_t>(g) * 15015 / 4;
        // Main video: three packs, the first starting the frame.
        for (int i = 0; i < 3; ++i) {
            const std::size_t room = i == 0 ? vc1Room : vc1RoomNoPts;
            Bytes payload = i == 0 ? vc1Start : Bytes{};
            int unused = 0;
            append(payload, framedPayload(room - payload.size(), Bytes{}, room, unused));
            if (i == 0) ++stats.videoFrames[0];
            evo.packVc1(0x55, payload, i == 0 ? std::optional<std::uint64_t>(pts) : std::nullopt);
        }
        // Second video: MPEG-2 on stream 0xE1, one intra picture per pack.
        {
            PesSpec s;
            s.streamId = 0xE1;
            s.pts = pts;
            s.body = mpeg2PictureStart(0);
            int unused = 0;
            append(s.body, framedPayload(mpegRoom - s.body.size(), Bytes{}, mpegRoom, unused));
            ++stats.videoFrames[1];
            evo.pack(s);
        }
        if (!audio) continue;
        // Audio: the whole frames that start before the next video frame, in
        // one pack stamped with the first one's time.
        const std::uint64_t groupEnd = firstPts + static_cast<std::uint64_t>(g + 1) * 15015 / 4;
        const auto packFrames = [&](std::uint8_t id, const Bytes& one, std::uint64_t ticks,
                                    std::uint64_t& clock) {
            const std::uint64_t first = clock;
            Bytes frames = framesUntil(one, ticks, clock, groupEnd);
            if (!frames.empty()) evo.packPrivate(id, frames, first);
        };
        packFrames(0xC0, eac3, kDolbyFrameTicks, eac3Clock);
        packFrames(0x81, ac3, kDolbyFrameTicks, ac3Clock);
        packFrames(0x8A, dts, kDtsFrameTicks, dtsClock);
        // LPCM (48 kHz, 16-bit stereo): the samples up to the next video frame,
        // in as many packs as they need, each stamped with its first sample's time.
        {
            const std::uint64_t target = (groupEnd - lpcmStart) * 48000 / 90000;
            const std::size_t room = privateRoom(0xA3, true) / 4 * 4;
            while (lpcmSamples < target) {
                std::size_t take =
                    std::min<std::size_t>(static_cast<std::size_t>(target - lpcmSamples), room / 4) * 4;
                if (take < privateRoom(0xA3, true) && privateRoom(0xA3, true) - take < 6) take -= 8;
                Bytes samples;
                samples.reserve(take);
                const std::uint64_t stamp = lpcmStart + lpcmSamples * 90000 / 48000;
                for (std::size_t i = 0; i < take; i += 4, ++lpcmSamples) {
                    const auto v = static_cast<std::int16_t>(
                        2000.0 * std::sin(2.0 * 3.14159265358979 * 440.0 * static_cast<double>(lpcmSamples) /
                                          48000.0));
                    const auto u = static_cast<std::uint16_t>(v);
                    for (int channel = 0; channel < 2; ++channel) {
                        samples.push_back(static_cast<std::uint8_t>(u >> 8));
                        samples.push_back(static_cast<std::uint8_t>(u));
                    }
                }
                evo.packPrivate(0xA3, samples, stamp);
            }
        }
        {
            const std::uint64_t first = mlpClock;
            evo.packPrivate(0xB4, mlpUnitsUntil(mlpClock, groupEnd), first);
        }
        const auto frame = static_cast<int>(frameNumber); // over both parts
        if (frame % kSubtitleEvery == 0) {
            const int n = frame / kSubtitleEvery + 1;
            packUnit(evo, 0x20, subtitleUnit(0x20, n, pts), pts);
            packUnit(evo, 0x61, subtitleUnit(0x61, n, pts), pts);
        }
    }
    evo.writeTo(path);
    stats.bytes = evo.size();
    stats.audioEnd[0] = eac3Clock;
    stats.audioEnd[1] = ac3Clock;
    stats.audioEnd[2] = dtsClock;
    stats.audioEnd[3] = mlpClock;
    stats.lpcmStart = lpcmStart;
    stats.lpcmSamples = lpcmSamples;
    return stats;
}

std::string samplePlaylist() {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<Playlist xmlns="http://www.dvdforum.org/2005/HDDVDVideo/Playlist" majorVersion="1" minorVersion="0" displayName="Vantrel sample disc">
  <Configuration>
    <Aperture size="1920x1080"/>
  </Configuration>
  <MediaAttributeList>
    <VideoAttributeItem index="1" codec="VC-1" sampleAspectRatio="16:9" frameRate="24000/1001"/>
    <VideoAttributeItem index="2" codec="MPEG-2" sampleAspectRatio="16:9" frameRate="24000/1001"/>
    <AudioAttributeItem index="1" codec="DD+" channels="6" sampleFrequency="48"/>
    <AudioAttributeItem index="2" codec="DD" channels="6" sampleFrequency="48"/>
    <AudioAttributeItem index="3" codec="DTS-HD" channels="6" sampleFrequency="48"/>
    <AudioAttributeItem index="4" codec="LPCM" channels="2" sampleFrequency="48"/>
    <AudioAttributeItem index="5" codec="MLP" channels="6" sampleFrequency="48"/>
    <SubpictureAttributeItem index="1" codec="2bitRLE"/>
    <SubpictureAttributeItem index="2" codec="8bitRLE"/>
  </MediaAttributeList>
  <TitleSet timeBase="24fps">
    <FirstPlayTitle titleDuration="00:00:01:00">
      <PrimaryAudioVideoClip titleTimeBegin="00:00:00:00" src="file:///dvddisc/HVDVD_TS/MENU.MAP" titleTimeEnd="00:00:01:00" dataSource="Disc">
        <Video track="1" mediaAttr="1"/>
      </PrimaryAudioVideoClip>
    </FirstPlayTitle>
    <Title id="feature" titleNumber="1" displayName="Sample feature" titleDuration="00:00:12:12">
      <PrimaryAudioVideoClip titleTimeBegin="00:00:00:00" src="file:///dvddisc/HVDVD_TS/FEATURE_1.MAP" titleTimeEnd="00:00:08:08" dataSource="Disc">
        <Video track="1" mediaAttr="1"/>
        <Video track="2" mediaAttr="2"/>
        <Audio track="1" streamNumber="1" mediaAttr="1" description="English"/>
        <Audio track="2" streamNumber="2" mediaAttr="2" description="Commentary"/>
        <Audio track="3" streamNumber="3" mediaAttr="3" description="German"/>
        <Audio track="4" streamNumber="4" mediaAttr="4" description="Stereo"/>
        <Audio track="5" streamNumber="5" mediaAttr="5" description="Lossless"/>
        <Subtitle track="1" streamNumber="1" mediaAttr="1" description="English"/>
        <Subtitle track="2" streamNumber="2" mediaAttr="2" description="Notes"/>
      </PrimaryAudioVideoClip>
      <PrimaryAudioVideoClip titleTimeBegin="00:00:08:08" src="file:///dvddisc/HVDVD_TS/FEATURE_2.MAP" titleTimeEnd="00:00:12:12" dataSource="Disc">
        <Video track="1" mediaAttr="1"/>
        <Video track="2" mediaAttr="2"/>
        <Audio track="1" streamNumber="1" mediaAttr="1" description="English"/>
        <Audio track="2" streamNumber="2" mediaAttr="2" description="Commentary"/>
        <Audio track="3" streamNumber="3" mediaAttr="3" description="German"/>
        <Audio track="4" streamNumber="4" mediaAttr="4" description="Stereo"/>
        <Audio track="5" streamNumber="5" mediaAttr="5" description="Lossless"/>
        <Subtitle track="1" streamNumber="1" mediaAttr="1" description="English"/>
        <Subtitle track="2" streamNumber="2" mediaAttr="2" description="Notes"/>
      </PrimaryAudioVideoClip>
      <ChapterList>
        <Chapter titleTimeBegin="00:00:00:00" displayName="Opening"/>
        <Chapter titleTimeBegin="00:00:04:00" displayName="Middle"/>
        <Chapter titleTimeBegin="00:00:08:00" displayName="Ending"/>
      </ChapterList>
      <TrackNavigationList>
        <VideoTrack track="1"/>
        <AudioTrack track="1" langcode="en:00"/>
        <AudioTrack track="2" langcode="en:01"/>
        <AudioTrack track="3" langcode="de:00"/>
        <AudioTrack track="4" langcode="*:00"/>
        <AudioTrack track="5" langcode="ja:00"/>
        <SubtitleTrack track="1" langcode="en:00"/>
        <SubtitleTrack track="2" langcode="fr:00"/>
      </TrackNavigationList>
    </Title>
  </TitleSet>
</Playlist>
)";
}

SampleDisc writeSampleDisc(const std::string& rootFolder, int groupsPerPart) {
    namespace fs = std::filesystem;
    SampleDisc disc;
    disc.root = rootFolder;
    if (disc.root.empty() || disc.root.back() != '/') disc.root += '/';
    fs::create_directories(disc.root + "HVDVD_TS");
    fs::create_directories(disc.root + "ADV_OBJ");
    disc.feature1 = disc.root + "HVDVD_TS/FEATURE_1.EVO";
    disc.feature2 = disc.root + "HVDVD_TS/FEATURE_2.EVO";
    disc.playlist = disc.root + "ADV_OBJ/VPLST000.XPL";
    const SampleEvoStats first = writeSampleEvo(disc.feature1, groupsPerPart, 90000);
    writeSampleEvo(disc.feature2, groupsPerPart / 2 + 1, frameTime(static_cast<std::uint64_t>(groupsPerPart)),
                   &first);
    std::string playlist = samplePlaylist();
    if (groupsPerPart < kSampleGroups) {
        // Fewer frames than the playlist's clips play: the clips end where the files do, as on a
        // disc (the title's duration and chapters stay as they are).
        const auto at = [](int frames) {
            char text[48];
            std::snprintf(text, sizeof text, "00:00:%02d:%02d", (frames / 24) % 60, frames % 24);
            return std::string(text);
        };
        const auto swap = [&playlist](const std::string& from, const std::string& to) {
            const std::size_t where = playlist.find(from);
            if (where == std::string::npos) throw std::logic_error("sample playlist: no " + from);
            playlist.replace(where, from.size(), to);
        };
        const std::string join = at(groupsPerPart);
        swap("titleTimeEnd=\"00:00:08:08\"", "titleTimeEnd=\"" + join + "\"");
        swap("titleTimeBegin=\"00:00:08:08\"", "titleTimeBegin=\"" + join + "\"");
        swap("titleTimeEnd=\"00:00:12:12\"",
             "titleTimeEnd=\"" + at(groupsPerPart + groupsPerPart / 2 + 1) + "\"");
    }
    std::ofstream xpl(disc.playlist, std::ios::binary | std::ios::trunc);
    xpl << playlist;
    if (!xpl) throw std::runtime_error("cannot write " + disc.playlist);
    return disc;
}

namespace {

std::string threeClipPlaylist() {
    const std::string streams = R"(
        <Video track="1" mediaAttr="1"/>
        <Video track="2" mediaAttr="2"/>
        <Audio track="1" streamNumber="1" mediaAttr="1" description="English"/>
        <Audio track="2" streamNumber="2" mediaAttr="2" description="Commentary"/>
        <Audio track="3" streamNumber="3" mediaAttr="3" description="German"/>
        <Audio track="4" streamNumber="4" mediaAttr="4" description="Stereo"/>
        <Audio track="5" streamNumber="5" mediaAttr="5" description="Lossless"/>
        <Subtitle track="1" streamNumber="1" mediaAttr="1" description="English"/>
        <Subtitle track="2" streamNumber="2" mediaAttr="2" description="Notes"/>)";
    const auto clip = [&](const char* name, const char* from, const char* to, const char* begin = nullptr) {
        std::string c = std::string("      <PrimaryAudioVideoClip titleTimeBegin=\"") + from +
                        "\" src=\"file:///dvddisc/HVDVD_TS/" + name + ".MAP\" titleTimeEnd=\"" + to + "\"";
        if (begin) c += std::string(" clipTimeBegin=\"") + begin + "\"";
        return c + " dataSource=\"Disc\">" + streams + "\n      </PrimaryAudioVideoClip>\n";
    };
    std::string text = samplePlaylist();
    const std::size_t from = text.find("    <Title id=\"feature\"");
    const std::size_t to = text.find("  </TitleSet>");
    std::string titles;
    titles +=
        "    <Title id=\"card\" titleNumber=\"1\" displayName=\"Card\" titleDuration=\"00:00:00:12\">\n" +
        clip("INTERPOL", "00:00:00:00", "00:00:00:12") + "    </Title>\n";
    titles += "    <Title id=\"feature\" titleNumber=\"2\" displayName=\"Feature\" "
              "titleDuration=\"00:00:03:12\">\n" +
              clip("PEVOB_1", "00:00:00:00", "00:00:02:00") + clip("PEVOB_2", "00:00:02:00", "00:00:03:00") +
              clip("INTERPOL", "00:00:03:00", "00:00:03:12") +
              "      <ChapterList>\n        <Chapter titleTimeBegin=\"00:00:00:00\" displayName=\"One\"/>\n"
              "        <Chapter titleTimeBegin=\"00:00:02:00\" displayName=\"Two\"/>\n      </ChapterList>\n"
              "    </Title>\n";
    titles += "    <Title id=\"first\" titleNumber=\"3\" displayName=\"First part\" "
              "titleDuration=\"00:00:02:00\">\n" +
              clip("PEVOB_1", "00:00:00:00", "00:00:02:00") + "    </Title>\n";
    titles += "    <Title id=\"late\" titleNumber=\"4\" displayName=\"Late start\" "
              "titleDuration=\"00:00:00:12\">\n" +
              clip("PEVOB_2", "00:00:00:00", "00:00:00:12", "00:00:00:12") + "    </Title>\n";
    return text.substr(0, from) + titles + text.substr(to);
}

} // namespace

ThreeClipDisc writeThreeClipDisc(const std::string& rootFolder) {
    namespace fs = std::filesystem;
    ThreeClipDisc disc;
    disc.root = rootFolder;
    if (disc.root.empty() || disc.root.back() != '/') disc.root += '/';
    fs::create_directories(disc.root + "HVDVD_TS");
    fs::create_directories(disc.root + "ADV_OBJ");
    const char* names[3] = {"PEVOB_1.EVO", "PEVOB_2.EVO", "INTERPOL.EVO"};
    for (int i = 0; i < 3; ++i) disc.clips[i] = disc.root + "HVDVD_TS/" + names[i];
    disc.groups[0] = 48;
    disc.groups[1] = 24;
    disc.groups[2] = 12;
    disc.firstPts[0] = 90000;
    disc.firstPts[1] = frameTime(48);
    disc.firstPts[2] = 90000; // the card has a time line of its own
    disc.stats[0] = writeSampleEvo(disc.clips[0], disc.groups[0], disc.firstPts[0]);
    // The second clip's audio goes on where the first one's ended, its time
    // stamps rounded a tick late (E-AC-3) and a tick early (AC-3).
    SampleEvoStats before = disc.stats[0];
    before.audioEnd[0] += 1;
    before.audioEnd[1] -= 1;
    for (int i = 0; i < 4; ++i) disc.audioStart2[i] = before.audioEnd[i];
    disc.stats[1] = writeSampleEvo(disc.clips[1], disc.groups[1], disc.firstPts[1], &before);
    disc.stats[2] = writeSampleEvo(disc.clips[2], disc.groups[2], disc.firstPts[2], nullptr, false);
    std::ofstream xpl(disc.root + "ADV_OBJ/VPLST000.XPL", std::ios::binary | std::ios::trunc);
    xpl << threeClipPlaylist();
    if (!xpl) throw std::runtime_error("cannot write the playlist of " + disc.root);
    return disc;
}

} // namespace vantrel::test
