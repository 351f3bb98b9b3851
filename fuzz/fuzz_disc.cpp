// Arbitrary bytes through the command line's readers: the structured playlist
// model (with every derived text and number a title gives), the same inside
// its protection wrapper, the header of a clip's time map, and the time-stamp
// survey of a program stream, whole and as the ends alone would be read.
#include "disc/disc_model.h"
#include "disc/playlist_wrapper.h"
#include "disc/pts_survey.h"
#include "disc/time_map.h"
#include "disc/title_model.h"
#include "files/errors.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using namespace vantrel;

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

void playlist(const std::uint8_t* data, std::size_t size) {
    disc::Playlist p;
    try {
        p = disc::parsePlaylist(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const Error&) {
        return;
    }
    check(p.frameRate > 0 && p.frameRate <= 1000);
    for (const disc::Title& t : p.titles) {
        check(p.findTitle(t.number) != nullptr);
        for (const disc::PlaylistStream& s : t.streams) {
            const int i = s.index();
            check(i >= -1 && i < 16);
            check(s.box().empty() == (i < 0));
            check(s.language6392.size() == 3);
            (void)s.caption();
        }
        for (const disc::Chapter& c : t.chapters) {
            check(!c.name.empty());
            if (c.time) check(disc::titleSeconds(*c.time, p.frameRate, disc::Clock::Ntsc) >= 0);
        }
        (void)disc::chooseClock(t.duration, p.frameRate, 1.0);
    }
}

void survey(const std::uint8_t* data, std::size_t size) {
    const disc::FileSurvey f = disc::surveyBytes(data, size);
    for (const disc::StreamSurvey& s : f.streams) {
        if (s.hasPts) check(s.firstPts <= s.lastPts);
        if (s.tailTicks) check(*s.tailTicks >= 0);
        (void)disc::delayMs(f, s);
        (void)disc::scanCaption(s);
        (void)disc::joinMs(s, s);
    }
    (void)f.videoSpanSeconds();
    (void)disc::fileStreams(f);
}

// The wrapper's XML lies inside the bytes; the time map's header reads the same either way.
void wrappedOrTimeMap(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (const std::optional<disc::TimeMapHeader> h = disc::parseTimeMap(bytes)) {
        check(size >= disc::TimeMapHeader::kSize);
        check(h->interleaved() == ((h->type & 0x0200) != 0));
        check(h->tableCount >= 0 && h->tableCount <= 255);
    }
    std::string_view xml;
    try {
        xml = disc::unwrapPlaylist(bytes);
    } catch (const Error&) {
        check(bytes.substr(0, 4) == "AACS");
        return;
    }
    check(xml.data() >= bytes.data() && xml.data() + xml.size() <= bytes.data() + bytes.size());
    if (bytes.substr(0, 4) != "AACS") check(xml.size() == size);
    playlist(reinterpret_cast<const std::uint8_t*>(xml.data()), xml.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte chooses the reader, so that each gets inputs of its own shape.
    if (data[0] & 1)
        playlist(data + 1, size - 1);
    else if ((data[0] & 3) == 2)
        wrappedOrTimeMap(data + 1, size - 1);
    else
        survey(data + 1, size - 1);
    return 0;
}
