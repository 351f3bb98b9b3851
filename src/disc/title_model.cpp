#include "title_model.h"
#include "playlist_wrapper.h"

#include "files/disc_image.h"
#include "files/errors.h"
#include "files/file_layer.h"
#include "files/playlist_guard.h"
#include "names/language_codes.h"
#include "names/stream_names.h"
#include "names/two_digits.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <memory>
#include <new>
#include <string_view>

namespace vantrel::disc {

namespace {

// Attribute values as the model reads them: missing is empty.
std::string attr(pugi::xml_node node, const char* key) {
    return node.attribute(key).value();
}

// A whole number attribute (sign and leading blanks allowed), nullopt when it
// is missing, not a number or beyond a billion.
std::optional<int> intAttr(pugi::xml_node node, const char* key) {
    const std::string v = attr(node, key);
    std::size_t i = 0;
    while (i < v.size() && v[i] == ' ') ++i;
    if (i == v.size()) return std::nullopt;
    long long n = 0;
    const bool negative = v[i] == '-';
    if (v[i] == '-' || v[i] == '+') ++i;
    if (i == v.size()) return std::nullopt;
    for (; i < v.size(); ++i) {
        if (v[i] < '0' || v[i] > '9') return std::nullopt;
        n = n * 10 + (v[i] - '0');
        if (n > 1000000000) return std::nullopt;
    }
    return static_cast<int>(negative ? -n : n);
}

// The namespace an element's name is in: the nearest xmlns (or xmlns:PREFIX)
// declaration for its prefix on it or an element around it, "" where none.
std::string_view namespaceOf(pugi::xml_node node) {
    const std::string_view name = node.name();
    const std::size_t colon = name.find(':');
    const std::string key = colon == std::string_view::npos ? std::string("xmlns")
                                                            : "xmlns:" + std::string(name.substr(0, colon));
    for (pugi::xml_node n = node; n.type() == pugi::node_element; n = n.parent())
        if (pugi::xml_attribute a = n.attribute(key.c_str())) return a.value();
    return {};
}

std::string_view localName(pugi::xml_node node) {
    const std::string_view name = node.name();
    const std::size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// The elements the model reads are those of the playlist's namespace (the one
// the Playlist element is in); extension elements of other namespaces with
// the same local names are passed over.
class Elements {
public:
    explicit Elements(std::string_view ns) : m_ns(ns) {}
    bool is(pugi::xml_node node, std::string_view name) const {
        return node.type() == pugi::node_element && localName(node) == name && namespaceOf(node) == m_ns;
    }
    // The child elements of that name, in document order.
    template <typename F> void each(pugi::xml_node parent, std::string_view name, F&& f) const {
        for (pugi::xml_node child : parent.children())
            if (is(child, name)) f(child);
    }

private:
    std::string_view m_ns;
};

std::string_view syntaxReason(const pugi::xml_parse_result& result, bool atEnd) {
    if (atEnd && result.status != pugi::status_no_document_element)
        return "the text ends inside an element (cut short?)";
    switch (result.status) {
    case pugi::status_unrecognized_tag: return "a '<' that starts no tag";
    case pugi::status_bad_pi: return "a broken declaration or processing instruction";
    case pugi::status_bad_comment: return "a comment that is not closed";
    case pugi::status_bad_cdata: return "a CDATA section that is not closed";
    case pugi::status_bad_doctype: return "a broken document type declaration";
    case pugi::status_bad_pcdata: return "broken text";
    case pugi::status_bad_start_element: return "a broken start tag (an attribute's quote missing?)";
    case pugi::status_bad_attribute: return "a broken attribute (a quote missing?)";
    case pugi::status_bad_end_element: return "a broken end tag";
    case pugi::status_end_element_mismatch: return "an end tag that does not match its start tag";
    case pugi::status_no_document_element: return "no XML element at all";
    default: return result.description();
    }
}

// Fails with the line and the reason unless the text parsed.
void requireWellFormed(const std::string& text, const pugi::xml_parse_result& result) {
    if (result) return;
    if (result.status == pugi::status_out_of_memory) throw std::bad_alloc();
    const auto offset = static_cast<std::size_t>(std::max<std::ptrdiff_t>(result.offset, 0));
    const std::size_t at = std::min(offset, text.size());
    const auto line = std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n') + 1;
    // No tag starts or ends after the fault: the parser ran into the end of the text.
    const bool atEnd = text.find_first_of("<>", at) == std::string::npos;
    throw MalformedPlaylist("not a well-formed playlist: line " + std::to_string(line) + ": " +
                            std::string(syntaxReason(result, atEnd)));
}

// "xx:NN" as the navigation lists write it: the part before the colon.
std::string languageOf(const std::string& langcode) {
    std::string code = langcode.substr(0, langcode.find(':'));
    while (!code.empty() && code.back() == ' ') code.pop_back();
    while (!code.empty() && code.front() == ' ') code.erase(code.begin());
    return code;
}

// "03" of "en:03"; empty without a colon.
std::string languageExtensionOf(const std::string& langcode) {
    const std::size_t colon = langcode.find(':');
    if (colon == std::string::npos) return {};
    std::string ext = langcode.substr(colon + 1);
    while (!ext.empty() && ext.back() == ' ') ext.pop_back();
    while (!ext.empty() && ext.front() == ' ') ext.erase(ext.begin());
    return ext;
}

struct AttrItem {
    std::string codec, channels;
};

} // namespace

std::optional<TitleTime> parseTitleTime(const std::string& text) {
    int v[4] = {0, 0, 0, 0};
    int field = 0;
    int digits = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            if (++digits > 6) return std::nullopt;
            v[field] = v[field] * 10 + (c - '0');
        } else if (c == ':' && digits > 0 && field < 3) {
            ++field;
            digits = 0;
        } else {
            return std::nullopt;
        }
    }
    if (field != 3 || digits == 0) return std::nullopt;
    return TitleTime{v[0], v[1], v[2], v[3]};
}

double titleSeconds(const TitleTime& time, int rate, Clock clock) {
    const double frames = static_cast<double>(time.frameCount(rate));
    return clock == Clock::Exact ? frames / rate : frames * 1001.0 / (rate * 1000.0);
}

std::string clockName(int rate, Clock clock) {
    if (clock == Clock::Exact) return std::to_string(rate);
    // Three places, trailing zeros dropped: 59.94, 23.976, 49.95.
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", rate * 1000.0 / 1001.0);
    std::string name = text;
    while (name.back() == '0') name.pop_back();
    return name;
}

const char* kindName(StreamKind kind) {
    switch (kind) {
    case StreamKind::Video: return "video";
    case StreamKind::Audio: return "audio";
    default: return "subtitle";
    }
}

int PlaylistStream::index() const {
    const int i = kind == StreamKind::Video ? track - 1 : streamNumber - 1;
    const int limit = kind == StreamKind::Video ? 2 : 16;
    return i >= 0 && i < limit ? i : -1;
}

std::string boxName(StreamKind kind, int index) {
    if (index < 0 || index >= (kind == StreamKind::Video ? 2 : 16)) return {};
    return streamBoxName(kind == StreamKind::Video   ? vantrel::StreamKind::Video
                         : kind == StreamKind::Audio ? vantrel::StreamKind::Audio
                                                     : vantrel::StreamKind::Subpicture,
                         index);
}

std::string PlaylistStream::box() const {
    return boxName(kind, index());
}

std::string PlaylistStream::caption() const {
    if (kind == StreamKind::Video) return videoCaption(codec, track);
    return streamCaption(kind == StreamKind::Audio && !channels.empty() ? codec + "." + channels + "ch"
                                                                        : codec,
                         streamNumber, description);
}

std::vector<std::string> Title::evoNames() const {
    std::vector<std::string> names;
    for (const Clip& clip : clips) {
        if (clip.evoName.empty()) continue;
        bool seen = false;
        for (const std::string& n : names) seen = seen || n == clip.evoName;
        if (!seen) names.push_back(clip.evoName);
    }
    return names;
}

const Title* Playlist::findTitle(int number) const {
    for (const Title& t : titles)
        if (t.number == number) return &t;
    return nullptr;
}

std::vector<const Title*> Playlist::titlesPlaying(const std::string& evoName) const {
    std::vector<const Title*> found;
    for (const Title& t : titles)
        for (const std::string& n : t.evoNames())
            if (sameNameAnyCase(n, evoName)) {
                found.push_back(&t);
                break;
            }
    return found;
}

TrackFlags trackFlags(StreamKind kind, const std::string& extension) {
    TrackFlags flags;
    std::string ext;
    for (char c : extension) ext += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    if (kind == StreamKind::Audio) {
        flags.commentary = ext == "03";
        flags.visuallyImpaired = ext == "02";
    } else if (kind == StreamKind::Subtitle) {
        flags.forced = ext == "09";
        flags.hearingImpaired = ext == "05";
        flags.commentary = ext == "0D";
    }
    return flags;
}

bool describesCaptions(const std::string& description) {
    std::string text = " ";
    for (char c : description) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        text += letter ? static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) : ' ';
    }
    text += ' ';
    for (const char* words : {" sdh ", " hard of hearing ", " for the deaf "})
        if (text.find(words) != std::string::npos) return true;
    return false;
}

std::optional<TitleTime> lastClipEnd(const Title& title, int rate) {
    std::optional<TitleTime> end;
    for (const Clip& clip : title.clips)
        if (const auto t = parseTitleTime(clip.timeEnd);
            t && (!end || t->frameCount(rate) > end->frameCount(rate)))
            end = t;
    return end;
}

std::optional<TitleTime> playedLength(const Title& title, int rate) {
    const std::optional<TitleTime> end = lastClipEnd(title, rate);
    if (!title.duration || !end || rate <= 0) return title.duration;
    return end->frameCount(rate) < title.duration->frameCount(rate) ? end : title.duration;
}

std::string durationPastClipsNote(const Title& title, int rate) {
    const std::optional<TitleTime> end = lastClipEnd(title, rate);
    if (!title.duration || !end || rate <= 0 || title.duration->frameCount(rate) <= end->frameCount(rate))
        return {};
    char past[32];
    std::snprintf(past, sizeof past, "%.3f",
                  static_cast<double>(title.duration->frameCount(rate) - end->frameCount(rate)) / rate);
    std::string lastEnd;
    for (const Clip& clip : title.clips)
        if (const auto t = parseTitleTime(clip.timeEnd); t && t->frameCount(rate) == end->frameCount(rate))
            lastEnd = clip.timeEnd;
    return "title " + std::to_string(title.number) + ": its titleDuration " + title.durationText + " runs " +
           past + " s past the end of its last clip (" + lastEnd + "); nothing plays there";
}

std::vector<std::string> flagNames(const TrackFlags& flags) {
    std::vector<std::string> names;
    if (flags.commentary) names.emplace_back("commentary");
    if (flags.visuallyImpaired) names.emplace_back("visually_impaired");
    if (flags.forced) names.emplace_back("forced");
    if (flags.hearingImpaired) names.emplace_back("hearing_impaired");
    return names;
}

namespace {

// What the titles refer to by index: the codecs and channels of the media attribute list.
struct AttributeItems {
    std::map<int, AttrItem> video, audio, sub;
};

// The playlist's namespace, the attribute items and the navigation languages
// of the title being read, as the per-element readers share them.
struct ReadContext {
    Elements el;
    AttributeItems items;
    std::map<int, std::string> audioLang, subLang; // of the current title, by track
    std::map<int, std::string> audioExt, subExt;   // their language codes' extensions
};

void readAttributeItems(const ReadContext& cx, pugi::xml_node list, AttributeItems& items) {
    const auto take = [&](std::map<int, AttrItem>& into) {
        return [&into](pugi::xml_node item) {
            if (auto index = intAttr(item, "index"))
                into[*index] = {attr(item, "codec"), attr(item, "channels")};
        };
    };
    cx.el.each(list, "VideoAttributeItem", take(items.video));
    cx.el.each(list, "AudioAttributeItem", take(items.audio));
    cx.el.each(list, "SubpictureAttributeItem", take(items.sub));
}

// "60fps" -> 60; the frame rate stays as it is where the text gives none.
void readTimeBase(pugi::xml_node titleSet, Playlist& playlist) {
    playlist.timeBase = attr(titleSet, "timeBase");
    int rate = 0;
    for (char c : playlist.timeBase) {
        if (c < '0' || c > '9') break;
        rate = rate * 10 + (c - '0');
        if (rate > 1000) break;
    }
    if (rate > 0 && rate <= 1000) playlist.frameRate = rate;
}

// A Video, Audio or Subtitle element of a clip; each stream is listed once per title.
void readStream(pugi::xml_node node, StreamKind kind, Title& title) {
    PlaylistStream s;
    s.kind = kind;
    s.track = intAttr(node, "track").value_or(0);
    s.streamNumber = kind == StreamKind::Video ? s.track : intAttr(node, "streamNumber").value_or(0);
    s.mediaAttr = intAttr(node, "mediaAttr").value_or(0);
    s.description = attr(node, "description");
    // A language on the element itself is the fallback for the navigation list.
    s.language6391 = languageOf(attr(node, node.attribute("langcode") ? "langcode" : "language"));
    s.languageExtension = languageExtensionOf(attr(node, "langcode"));
    for (const PlaylistStream& o : title.streams)
        if (!o.advanced && o.kind == s.kind && o.streamNumber == s.streamNumber) return;
    title.streams.push_back(s);
}

void readClip(const ReadContext& cx, pugi::xml_node node, Title& title) {
    Clip clip;
    clip.src = attr(node, "src");
    clip.timeBegin = attr(node, "titleTimeBegin");
    clip.timeEnd = attr(node, "titleTimeEnd");
    clip.clipTimeBegin = attr(node, "clipTimeBegin");
    const std::string file = clip.src.substr(clip.src.find_last_of('/') + 1);
    const std::size_t dot = file.find_last_of('.');
    if (!file.empty() && dot != std::string::npos) clip.evoName = file.substr(0, dot) + ".EVO";
    title.clips.push_back(clip);
    for (pugi::xml_node child : node.children()) {
        if (cx.el.is(child, "Video"))
            readStream(child, StreamKind::Video, title);
        else if (cx.el.is(child, "Audio"))
            readStream(child, StreamKind::Audio, title);
        else if (cx.el.is(child, "Subtitle"))
            readStream(child, StreamKind::Subtitle, title);
    }
}

void readChapter(pugi::xml_node node, Title& title) {
    Chapter c;
    c.number = static_cast<int>(title.chapters.size()) + 1;
    c.name = attr(node, "displayName");
    c.named = !c.name.empty();
    if (!c.named) c.name = "Chapter " + twoDigits(c.number);
    c.timeText = attr(node, "titleTimeBegin");
    c.time = parseTitleTime(c.timeText);
    title.chapters.push_back(c);
}

// An AudioTrack or SubtitleTrack of the track navigation list: the language
// of a track, and the extension of its language code.
void readTrackLanguage(pugi::xml_node node, std::map<int, std::string>& languages,
                       std::map<int, std::string>& extensions) {
    const auto track = intAttr(node, "track");
    if (!track || !node.attribute("langcode")) return;
    languages[*track] = languageOf(attr(node, "langcode"));
    extensions[*track] = languageExtensionOf(attr(node, "langcode"));
}

// A subtitle track that an AdvancedSubtitleSegment plays, once per track.
void readAdvancedSubtitle(pugi::xml_node node, Title& title) {
    const int track = intAttr(node, "track").value_or(0);
    for (const PlaylistStream& o : title.streams)
        if (o.advanced && o.track == track) return;
    PlaylistStream s;
    s.kind = StreamKind::Subtitle;
    s.track = track;
    s.advanced = true;
    s.description = attr(node, "description");
    title.streams.push_back(s);
}

// The navigation list's languages go to the streams of their track.
void applyLanguages(const ReadContext& cx, Title& title) {
    for (PlaylistStream& s : title.streams) {
        const auto& langs = s.kind == StreamKind::Audio ? cx.audioLang : cx.subLang;
        auto it = langs.find(s.track);
        if (s.kind != StreamKind::Video && it != langs.end()) s.language6391 = it->second;
        if (s.language6391 == "*") s.language6391.clear();
        s.language6392 = iso6392B(s.language6391);
        const auto& exts = s.kind == StreamKind::Audio ? cx.audioExt : cx.subExt;
        if (auto e = exts.find(s.track); s.kind != StreamKind::Video && e != exts.end())
            s.languageExtension = e->second;
        s.flags = trackFlags(s.kind, s.languageExtension);
        // Discs whose language code says nothing often say it in the description.
        if (s.kind == StreamKind::Subtitle && !s.flags.any())
            s.flags.hearingImpaired = describesCaptions(s.description);
    }
}

void readTitle(ReadContext& cx, pugi::xml_node node, Playlist& playlist) {
    Title& title = playlist.titles.emplace_back();
    title.position = static_cast<int>(playlist.titles.size());
    const auto number = intAttr(node, "titleNumber");
    title.hasTitleNumber = number.has_value();
    title.number = number.value_or(title.position);
    title.id = attr(node, "id");
    title.displayName = attr(node, "displayName");
    title.durationText = attr(node, "titleDuration");
    title.duration = parseTitleTime(title.durationText);
    cx.audioLang.clear();
    cx.subLang.clear();
    cx.audioExt.clear();
    cx.subExt.clear();
    cx.el.each(node, "PrimaryAudioVideoClip", [&](pugi::xml_node clip) { readClip(cx, clip, title); });
    cx.el.each(node, "AdvancedSubtitleSegment", [&](pugi::xml_node segment) {
        cx.el.each(segment, "Subtitle", [&](pugi::xml_node s) { readAdvancedSubtitle(s, title); });
    });
    cx.el.each(node, "ChapterList", [&](pugi::xml_node list) {
        cx.el.each(list, "Chapter", [&](pugi::xml_node chapter) { readChapter(chapter, title); });
    });
    cx.el.each(node, "TrackNavigationList", [&](pugi::xml_node list) {
        cx.el.each(list, "AudioTrack",
                   [&](pugi::xml_node t) { readTrackLanguage(t, cx.audioLang, cx.audioExt); });
        cx.el.each(list, "SubtitleTrack",
                   [&](pugi::xml_node t) { readTrackLanguage(t, cx.subLang, cx.subExt); });
    });
    applyLanguages(cx, title);
}

// Codec and channels from the attribute item each stream names.
void applyAttributeItems(const AttributeItems& items, Playlist& playlist) {
    for (Title& t : playlist.titles)
        for (PlaylistStream& s : t.streams) {
            const auto& kindItems = s.kind == StreamKind::Video   ? items.video
                                    : s.kind == StreamKind::Audio ? items.audio
                                                                  : items.sub;
            auto it = kindItems.find(s.mediaAttr);
            if (it == kindItems.end()) continue;
            s.codec = it->second.codec;
            if (s.kind == StreamKind::Audio) s.channels = it->second.channels;
        }
}

// The first element named Playlist (with any prefix), in document order.
pugi::xml_node findPlaylistElement(const pugi::xml_document& doc) {
    return doc.find_node(
        [](pugi::xml_node n) { return n.type() == pugi::node_element && localName(n) == "Playlist"; });
}

} // namespace

Playlist parsePlaylist(const std::string& text) {
    pugi::xml_document doc;
    // Comments, declarations and processing instructions are dropped; CRLF
    // reads as LF; entities and character references are decoded.
    requireWellFormed(text,
                      doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8));
    const pugi::xml_node root = findPlaylistElement(doc);
    if (!root) throw Error("not a playlist: no Playlist element");

    ReadContext cx{Elements(namespaceOf(root)), {}, {}, {}, {}, {}};
    Playlist playlist;
    playlist.name = attr(root, "displayName");
    cx.el.each(root, "MediaAttributeList",
               [&](pugi::xml_node list) { readAttributeItems(cx, list, cx.items); });
    cx.el.each(root, "TitleSet", [&](pugi::xml_node titleSet) {
        readTimeBase(titleSet, playlist);
        cx.el.each(titleSet, "Title", [&](pugi::xml_node title) { readTitle(cx, title, playlist); });
    });
    applyAttributeItems(cx.items, playlist);
    return playlist;
}

Playlist readPlaylist(const std::string& path) {
    const std::unique_ptr<ByteSource> source = openSource(path); // a file on disk or inside a disc image
    ByteSource& file = *source;
    refuseOversizedPlaylist(file);
    std::string text(static_cast<std::size_t>(file.size()), '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        std::size_t n = file.read(text.data() + got, text.size() - got);
        if (n == 0) break;
        got += n;
    }
    text.resize(got);
    const std::string_view xml = unwrapPlaylist(text); // the XML of a wrapped playlist
    return parsePlaylist(xml.size() == text.size() ? text : std::string(xml));
}

} // namespace vantrel::disc
