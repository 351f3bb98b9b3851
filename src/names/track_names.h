// The one way every command reads --tracks: a comma-separated list of the
// names a stream answers to, as info prints them. A name picks every stream it
// fits: a stream box (cbVideo0, cbAudio00, cbSub00), a stream code (0xC0), a
// caption (the scan's DD+.stream.00, or the playlist's DD+.6ch.stream.00.English
// with or without its description) or an ISO 639 language (eng, fre, en: every
// stream in it). Case is ignored.
#pragma once

#include <string>
#include <vector>

namespace vantrel {

// A stream a --tracks list may name.
struct TrackCandidate {
    std::string box;                   // "cbAudio00"; empty where none
    int code = -1;                     // the stream code in the files; -1 where they do not hold it
    std::vector<std::string> captions; // as info prints them
    std::string description;           // the playlist's; a caption without it names the stream too
    std::string language;              // ISO 639-2/B; "und" or empty when unknown
};

// Which of `streams` the list names, one flag each; an empty list or "all"
// names every one. A name that fits none is an Error of kind Usage naming
// `where` (the file or title) and every name its streams answer to.
std::vector<bool> chosenTracks(const std::string& list, const std::vector<TrackCandidate>& streams,
                               const std::string& where);

// "cbAudio00 0xC0 DD+.6ch.stream.00.English eng": the names of a stream, for messages.
std::string trackNames(const TrackCandidate& stream);

} // namespace vantrel
