// The playlist as a structured model: its titles with their clips (and the EVO
// files they play), streams, languages and chapters. Unlike the window's tag
// scanner this reads the text as XML (with an XML parser: comments, either
// quote, entities, namespaces), because scripts and muxers rely on the values.
#pragma once

#include "files/errors.h"

#include <optional>
#include <string>
#include <vector>

namespace vantrel::disc {

// A title time "HH:MM:SS:FF"; FF counts frames of the title set's timeBase.
struct TitleTime {
    int hours = 0, minutes = 0, seconds = 0, frames = 0;
    // Whole frames since 00:00:00:00 at the given nominal rate (frames per second).
    long long frameCount(int rate) const {
        return ((static_cast<long long>(hours) * 60 + minutes) * 60 + seconds) * rate + frames;
    }
};
std::optional<TitleTime> parseTitleTime(const std::string& text);

// The clock of the title timeline: the nominal rate exactly, or the same rate
// times 1000/1001 (60 -> 59.94, 24 -> 23.976).
enum class Clock { Exact, Ntsc };
// Seconds of a title time at a clock.
double titleSeconds(const TitleTime& time, int rate, Clock clock);
// "60" or "59.94" for a nominal rate of 60 ("24" / "23.976" for 24).
std::string clockName(int rate, Clock clock);

struct Chapter {
    int number = 0;       // 1-based, in playlist order
    std::string name;     // displayName, or "Chapter NN" where there is none
    bool named = false;   // displayName was present and not empty
    std::string timeText; // titleTimeBegin as written
    std::optional<TitleTime> time;
};

enum class StreamKind { Video, Audio, Subtitle };
const char* kindName(StreamKind kind); // "video", "audio", "subtitle"
// The stream box of a stream's index within its kind ("cbAudio03"); empty
// for an index no box stands for (video 0..1, the others 0..15).
std::string boxName(StreamKind kind, int index);

// What a track's language code says beyond its language: "xx:NN" carries an
// extension NN after the ISO 639-1 code. Real discs mark commentaries and
// forced subtitles there, never with the playlist's forced attribute.
struct TrackFlags {
    bool commentary = false;       // audio 03, subtitle 0D: director's comments
    bool visuallyImpaired = false; // audio 02
    bool forced = false;           // subtitle 09: forced captions
    bool hearingImpaired = false;  // subtitle 05: captions
    bool any() const { return commentary || visuallyImpaired || forced || hearingImpaired; }
};
// The flags of an extension ("03", case ignored) for a kind of track.
TrackFlags trackFlags(StreamKind kind, const std::string& extension);
// True for a subtitle description that says its captions are for the deaf:
// "SDH", "hard of hearing" or "for the deaf" as words, case ignored.
bool describesCaptions(const std::string& description);
// The names of the flags that are set: "commentary", "visually_impaired", "forced", "hearing_impaired".
std::vector<std::string> flagNames(const TrackFlags& flags);

struct PlaylistStream {
    StreamKind kind = StreamKind::Video;
    int track = 0;        // navigation track
    int streamNumber = 0; // audio/subtitle: the stream in the EVO (index streamNumber - 1)
    int mediaAttr = 0;
    std::string codec;             // from the attribute item ("DD+", "VC-1"), may be empty
    std::string channels;          // audio: the attribute item's channels value
    std::string description;       // the element's description
    std::string language6391;      // as written ("en"), "" when none
    std::string language6392;      // ISO 639-2/B ("eng"); "und" when undetermined or unknown
    std::string languageExtension; // "03" of "en:03", as written; empty when none
    TrackFlags flags;              // from languageExtension
    // A subtitle of an AdvancedSubtitleSegment: markup of the disc's
    // applications, not a subpicture stream (streamNumber 0, no index).
    bool advanced = false;
    // The stream's index within its kind in the EVO files: video track - 1,
    // audio/subtitle streamNumber - 1; -1 when out of range.
    int index() const;
    // The window's stream box for it ("cbVideo0", "cbAudio03", "cbSub00"), empty where there is none.
    std::string box() const;
    // The caption the window gives the box after reading the playlist.
    std::string caption() const;
};

struct Clip {
    std::string src;     // as written: file:///dvddisc/HVDVD_TS/FEATURE_1.MAP
    std::string evoName; // FEATURE_1.EVO (the MAP's name with .EVO)
    std::string timeBegin, timeEnd;
    std::string clipTimeBegin; // where in the EVO the clip starts, as written; empty: its start
};

struct Title {
    int number = 0;   // titleNumber, or the position among the titles where it is absent
    int position = 0; // 1-based among the Title elements
    bool hasTitleNumber = false;
    std::string id;
    std::string displayName;
    std::string durationText; // titleDuration as written
    std::optional<TitleTime> duration;
    std::vector<Clip> clips;
    std::vector<PlaylistStream> streams; // each stream once, in playlist order
    std::vector<Chapter> chapters;
    // EVO file names of the clips, in order, each once.
    std::vector<std::string> evoNames() const;
};

// A note when the title's titleDuration runs past the end of its last clip;
// empty otherwise (or when the times do not parse).
std::string durationPastClipsNote(const Title& title, int rate);

// The latest clip end of the title; none when no clip's end parses.
std::optional<TitleTime> lastClipEnd(const Title& title, int rate);
// How long the title plays: its titleDuration, or its last clip's end where
// the titleDuration runs past it (nothing plays there).
std::optional<TitleTime> playedLength(const Title& title, int rate);

struct Playlist {
    std::string name;     // the playlist's displayName
    std::string timeBase; // the title set's timeBase as written
    int frameRate = 60;   // nominal frames per second of timeBase ("60fps" -> 60)
    std::vector<Title> titles;

    // The title whose titleNumber (or position) is n, nullptr if none.
    const Title* findTitle(int number) const;
    // Titles that play an EVO file of this name.
    std::vector<const Title*> titlesPlaying(const std::string& evoName) const;
};

// Playlist text that is not well-formed XML; the text gives the line and the reason.
class MalformedPlaylist : public Error {
public:
    using Error::Error;
};

// Parses playlist text. Throws MalformedPlaylist for text that is not
// well-formed XML, Error("not a playlist") when it has no Playlist element.
Playlist parsePlaylist(const std::string& text);
// Reads and parses a playlist file; opening fails with the file layer's error.
Playlist readPlaylist(const std::string& path);

} // namespace vantrel::disc
