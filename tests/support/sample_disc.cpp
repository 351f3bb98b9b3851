#include "sample_disc.h"

#include "evo_builder.h"
#include "subpicture_encoder.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace vantrel::test {

namespace {

constexpr std::uint64_t kFrameTicks = 3754; // 90 kHz ticks of one frame at 23.976 fps

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

// E-AC-3: 768-byte frames, 48 kHz, 6 blocks, 3/2 with LFE, bsid 16.
const Bytes kEac3Header = {0x0B, 0x77, 0x01, 0x7F, 0x3F, 0x80};
// AC-3: 48 kHz, 448 kbit/s (1792-byte frames), bsid 8, 3/2.
const Bytes kAc3Header = {0x0B, 0x77, 0x00, 0x00, 0x1E, 0x40, 0xE0};
// DTS core sync word.
const Bytes kDtsHeader = {0x7F, 0xFE, 0x80, 0x01};
// MLP major sync.
const Bytes kMlpHeader = {0xF8, 0x72, 0x6F, 0xBB};

std::size_t privateRoom(std::uint8_t id, bool withPts) {
    PesSpec shape;
    shape.streamId = 0xBD;
    if (withPts) shape.pts = 0;
    shape.body = privateHeader(id);
    return EvoBuilder::packPayloadRoom(shape); // what is left after the private header
}

// Groups between two subtitles, and how long each is shown (units of 1024 ticks: about 1.6 s).
constexpr int kSubtitleEvery = 48;
constexpr std::uint16_t kSubtitleShown = 140;

// The unit of subtitle number n: stream 0x20 carries 2-bit white text with a
// black outline at the bottom of the frame, stream 0x61 8-bit text whose fill
// runs from yellow to orange line by line, at the top.
Bytes subtitleUnit(std::uint8_t id, int n, std::uint64_t pts) {
    UnitSpec spec;
    fillTestPalette(spec);
    spec.pts = static_cast<std::uint32_t>(pts);
    spec.stopDelay = kSubtitleShown;
    if (id == 0x20) {
        spec.colours = ColourBits::Two;
        drawText(spec, "SAMPLE SUBTITLE " + std::to_string(n), 4, 1, 2);
        spec.y = 1080 - 120 - spec.height;
    } else {
        drawText(spec, "NOTE " + std::to_string(n) + ": EXTENDED SUBPICTURE", 3, 255, 2);
        for (int line = 0; line < spec.height; ++line) {
            const auto index = static_cast<std::uint8_t>(16 + line);
            spec.palette[index] = {static_cast<std::uint8_t>(210 - line), 146,
                                   static_cast<std::uint8_t>(16 + line / 4)};
            for (int x = 0; x < spec.width; ++x) {
                std::uint8_t& p = spec.pixels[static_cast<std::size_t>(line * spec.width + x)];
                if (p == 255) p = index;
            }
        }
        spec.y = 80;
    }
    spec.x = (1920 - spec.width) / 2;
    return encodeUnit(spec).bytes;
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

SampleEvoStats writeSampleEvo(const std::string& path, int groups, std::uint64_t firstPts) {
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

    std::uint64_t pts = firstPts;
    for (int g = 0; g < groups; ++g) {
        // Main video: three packs, one VC-1 frame start code in the first.
        for (int i = 0; i < 3; ++i) {
            int frames = 0;
            const std::size_t room = i == 0 ? vc1Room : vc1RoomNoPts;
            Bytes payload =
                framedPayload(room, i == 0 ? Bytes{0x00, 0x00, 0x01, 0x0D} : Bytes{}, room, frames);
            stats.videoFrames[0] += frames;
            evo.packVc1(0x55, payload, i == 0 ? std::optional<std::uint64_t>(pts) : std::nullopt);
        }
        // Second video: MPEG-2 on stream 0xE1, one picture start code per pack.
        {
            int frames = 0;
            PesSpec s;
            s.streamId = 0xE1;
            s.pts = pts;
            s.body = framedPayload(mpegRoom, Bytes{0x00, 0x00, 0x01, 0x00}, mpegRoom, frames);
            stats.videoFrames[1] += frames;
            evo.pack(s);
        }
        int unused = 0;
        evo.packPrivate(0xC0, framedPayload(privateRoom(0xC0, true), kEac3Header, 768, unused), pts);
        evo.packPrivate(0x81, framedPayload(privateRoom(0x81, true), kAc3Header, 1792, unused), pts);
        evo.packPrivate(0x8A, framedPayload(privateRoom(0x8A, true), kDtsHeader, 1024, unused), pts);
        evo.packPrivate(0xA3, framedPayload(privateRoom(0xA3, true), Bytes{}, 4096, unused), pts);
        evo.packPrivate(0xB4, framedPayload(privateRoom(0xB4, true), kMlpHeader, 1024, unused), pts);
        const auto frame =
            static_cast<int>((pts - std::min<std::uint64_t>(pts, 90000)) / kFrameTicks); // over both parts
        if (frame % kSubtitleEvery == 0) {
            const int n = frame / kSubtitleEvery + 1;
            packUnit(evo, 0x20, subtitleUnit(0x20, n, pts), pts);
            packUnit(evo, 0x61, subtitleUnit(0x61, n, pts), pts);
        }
        pts += kFrameTicks;
    }
    evo.writeTo(path);
    stats.bytes = evo.size();
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
    writeSampleEvo(disc.feature1, groupsPerPart, 90000);
    writeSampleEvo(disc.feature2, groupsPerPart / 2 + 1,
                   90000 + kFrameTicks * static_cast<std::uint64_t>(groupsPerPart));
    std::ofstream xpl(disc.playlist, std::ios::binary | std::ios::trunc);
    xpl << samplePlaylist();
    if (!xpl) throw std::runtime_error("cannot write " + disc.playlist);
    return disc;
}

} // namespace vantrel::test
