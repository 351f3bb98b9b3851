#include "title_model.h"

#include "engine/errors.h"
#include "engine/file_layer.h"
#include "playlist/playlist.h"
#include "playlist/playlist_items.h"

#include <cstdio>
#include <map>
#include <string_view>

namespace vantrel::disc {

namespace {

// One start or end tag: its local name (any "prefix:" removed) and attributes.
struct Tag {
    std::string name;
    bool closing = false;
    bool selfClosing = false;
    std::map<std::string, std::string> attrs;

    std::string attr(const std::string& key) const {
        auto it = attrs.find(key);
        return it == attrs.end() ? std::string() : it->second;
    }
    std::optional<int> intAttr(const std::string& key) const {
        std::string v = attr(key);
        std::size_t i = 0;
        while (i < v.size() && v[i] == ' ') ++i;
        if (i == v.size()) return std::nullopt;
        long long n = 0;
        bool negative = v[i] == '-';
        if (v[i] == '-' || v[i] == '+') ++i;
        if (i == v.size()) return std::nullopt;
        for (; i < v.size(); ++i) {
            if (v[i] < '0' || v[i] > '9') return std::nullopt;
            n = n * 10 + (v[i] - '0');
            if (n > 1000000000) return std::nullopt;
        }
        return static_cast<int>(negative ? -n : n);
    }
};

std::string decodeEntities(std::string_view v) {
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] != '&') {
            out += v[i];
            continue;
        }
        std::size_t end = v.find(';', i);
        if (end == std::string_view::npos || end - i > 10) {
            out += v[i];
            continue;
        }
        std::string_view e = v.substr(i + 1, end - i - 1);
        long code = -1;
        if (e == "amp")
            code = '&';
        else if (e == "lt")
            code = '<';
        else if (e == "gt")
            code = '>';
        else if (e == "quot")
            code = '"';
        else if (e == "apos")
            code = '\'';
        else if (e.size() > 1 && e[0] == '#') {
            std::string digits(e.substr(e[1] == 'x' || e[1] == 'X' ? 2 : 1));
            char* stop = nullptr;
            code = std::strtol(digits.c_str(), &stop, e[1] == 'x' || e[1] == 'X' ? 16 : 10);
            if (digits.empty() || *stop != 0 || code < 0 || code > 0x10FFFF) code = -1;
        }
        if (code < 0) {
            out += v[i];
            continue;
        }
        // UTF-8 of the code point.
        auto c = static_cast<unsigned long>(code);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
        i = end;
    }
    return out;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Walks the tags of an XML text in order; comments, declarations, processing
// instructions and text between tags are passed over.
class TagReader {
public:
    explicit TagReader(std::string_view text) : m_text(text) {}

    bool next(Tag& tag) {
        while (true) {
            std::size_t lt = m_text.find('<', m_pos);
            if (lt == std::string_view::npos) return false;
            m_pos = lt;
            if (skip("<!--", "-->") || skip("<![CDATA[", "]]>") || skip("<?", "?>") || skip("<!", ">"))
                continue;
            return readTag(tag);
        }
    }

private:
    bool skip(std::string_view open, std::string_view close) {
        if (m_text.substr(m_pos, open.size()) != open) return false;
        std::size_t end = m_text.find(close, m_pos + open.size());
        m_pos = end == std::string_view::npos ? m_text.size() : end + close.size();
        return true;
    }

    bool readTag(Tag& tag) {
        tag = Tag{};
        std::size_t i = m_pos + 1;
        if (i < m_text.size() && m_text[i] == '/') {
            tag.closing = true;
            ++i;
        }
        std::size_t nameStart = i;
        while (i < m_text.size() && !isSpace(m_text[i]) && m_text[i] != '>' && m_text[i] != '/') ++i;
        std::string_view name = m_text.substr(nameStart, i - nameStart);
        std::size_t colon = name.rfind(':');
        tag.name = std::string(colon == std::string_view::npos ? name : name.substr(colon + 1));
        while (i < m_text.size()) {
            char c = m_text[i];
            if (isSpace(c)) {
                ++i;
            } else if (c == '>') {
                ++i;
                break;
            } else if (c == '/') {
                tag.selfClosing = true;
                ++i;
            } else {
                std::size_t keyStart = i;
                while (i < m_text.size() && !isSpace(m_text[i]) && m_text[i] != '=' && m_text[i] != '>' &&
                       m_text[i] != '/')
                    ++i;
                std::string key(m_text.substr(keyStart, i - keyStart));
                while (i < m_text.size() && isSpace(m_text[i])) ++i;
                if (i >= m_text.size() || m_text[i] != '=') continue;
                ++i;
                while (i < m_text.size() && isSpace(m_text[i])) ++i;
                if (i >= m_text.size()) break;
                char quote = m_text[i];
                if (quote != '"' && quote != '\'') continue;
                std::size_t end = m_text.find(quote, i + 1);
                if (end == std::string_view::npos) end = m_text.size();
                tag.attrs.emplace(key, decodeEntities(m_text.substr(i + 1, end - i - 1)));
                i = end + 1;
                tag.selfClosing = false;
            }
        }
        m_pos = i;
        return true;
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

std::string twoDigits(int n) {
    return (n < 10 ? "0" : "") + std::to_string(n);
}

// "xx:NN" as the navigation lists write it: the part before the colon.
std::string languageOf(const std::string& langcode) {
    std::string code = langcode.substr(0, langcode.find(':'));
    while (!code.empty() && code.back() == ' ') code.pop_back();
    while (!code.empty() && code.front() == ' ') code.erase(code.begin());
    return code;
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

std::string PlaylistStream::box() const {
    const int i = index();
    if (i < 0) return {};
    switch (kind) {
    case StreamKind::Video: return "cbVideo" + std::to_string(i);
    case StreamKind::Audio: return "cbAudio" + twoDigits(i);
    default: return "cbSub" + twoDigits(i);
    }
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
            if (n == evoName) {
                found.push_back(&t);
                break;
            }
    return found;
}

Playlist parsePlaylist(const std::string& text) {
    Playlist playlist;
    bool sawPlaylist = false;
    std::map<int, AttrItem> videoItems, audioItems, subItems;
    std::vector<std::string> stack;
    TagReader reader(text);
    Tag tag;
    Title* title = nullptr;                        // inside a Title element
    bool inClip = false;                           // inside its PrimaryAudioVideoClip
    std::map<int, std::string> audioLang, subLang; // per title, by track

    auto finishTitle = [&]() {
        if (title == nullptr) return;
        for (PlaylistStream& s : title->streams) {
            const auto& langs = s.kind == StreamKind::Audio ? audioLang : subLang;
            auto it = langs.find(s.track);
            if (s.kind != StreamKind::Video && it != langs.end()) s.language6391 = it->second;
            if (s.language6391 == "*") s.language6391.clear();
            s.language6392 = iso6392B(s.language6391);
        }
        title = nullptr;
    };

    while (reader.next(tag)) {
        const std::string& n = tag.name;
        if (tag.closing) {
            if (!stack.empty()) stack.pop_back();
            if (n == "Title") finishTitle();
            if (n == "PrimaryAudioVideoClip") inClip = false;
            continue;
        }
        if (n == "Playlist") {
            sawPlaylist = true;
            playlist.name = tag.attr("displayName");
        } else if (n == "TitleSet") {
            playlist.timeBase = tag.attr("timeBase");
            int rate = 0;
            for (char c : playlist.timeBase) {
                if (c < '0' || c > '9') break;
                rate = rate * 10 + (c - '0');
                if (rate > 1000) break;
            }
            if (rate > 0 && rate <= 1000) playlist.frameRate = rate;
        } else if (n == "VideoAttributeItem" || n == "AudioAttributeItem" || n == "SubpictureAttributeItem") {
            auto& items = n[0] == 'V' ? videoItems : n[0] == 'A' ? audioItems : subItems;
            if (auto index = tag.intAttr("index")) items[*index] = {tag.attr("codec"), tag.attr("channels")};
        } else if (n == "Title" && !tag.selfClosing) {
            finishTitle();
            playlist.titles.emplace_back();
            title = &playlist.titles.back();
            title->position = static_cast<int>(playlist.titles.size());
            auto number = tag.intAttr("titleNumber");
            title->hasTitleNumber = number.has_value();
            title->number = number.value_or(title->position);
            title->id = tag.attr("id");
            title->displayName = tag.attr("displayName");
            title->durationText = tag.attr("titleDuration");
            title->duration = parseTitleTime(title->durationText);
            audioLang.clear();
            subLang.clear();
        } else if (title != nullptr && n == "PrimaryAudioVideoClip") {
            Clip clip;
            clip.src = tag.attr("src");
            clip.timeBegin = tag.attr("titleTimeBegin");
            clip.timeEnd = tag.attr("titleTimeEnd");
            clip.clipTimeBegin = tag.attr("clipTimeBegin");
            std::string file = clip.src.substr(clip.src.find_last_of('/') + 1);
            std::size_t dot = file.find_last_of('.');
            if (!file.empty() && dot != std::string::npos) clip.evoName = file.substr(0, dot) + ".EVO";
            title->clips.push_back(clip);
            inClip = !tag.selfClosing;
        } else if (title != nullptr && inClip && (n == "Video" || n == "Audio" || n == "Subtitle")) {
            PlaylistStream s;
            s.kind = n == "Video"   ? StreamKind::Video
                     : n == "Audio" ? StreamKind::Audio
                                    : StreamKind::Subtitle;
            s.track = tag.intAttr("track").value_or(0);
            s.streamNumber = s.kind == StreamKind::Video ? s.track : tag.intAttr("streamNumber").value_or(0);
            s.mediaAttr = tag.intAttr("mediaAttr").value_or(0);
            s.description = tag.attr("description");
            // A language on the element itself is the fallback for the navigation list.
            s.language6391 =
                languageOf(tag.attr("langcode").empty() ? tag.attr("language") : tag.attr("langcode"));
            bool listed = false;
            for (const PlaylistStream& o : title->streams)
                listed = listed || (o.kind == s.kind && o.streamNumber == s.streamNumber);
            if (!listed) title->streams.push_back(s);
        } else if (title != nullptr && n == "Chapter") {
            Chapter c;
            c.number = static_cast<int>(title->chapters.size()) + 1;
            c.name = tag.attr("displayName");
            c.named = !c.name.empty();
            if (!c.named) c.name = "Chapter " + twoDigits(c.number);
            c.timeText = tag.attr("titleTimeBegin");
            c.time = parseTitleTime(c.timeText);
            title->chapters.push_back(c);
        } else if (title != nullptr && (n == "AudioTrack" || n == "SubtitleTrack")) {
            auto track = tag.intAttr("track");
            if (track && tag.attrs.count("langcode"))
                (n == "AudioTrack" ? audioLang : subLang)[*track] = languageOf(tag.attr("langcode"));
        }
        if (!tag.selfClosing) stack.push_back(n);
    }
    finishTitle();
    if (!sawPlaylist) throw Error("not a playlist: no Playlist element");

    for (Title& t : playlist.titles)
        for (PlaylistStream& s : t.streams) {
            const auto& items = s.kind == StreamKind::Video   ? videoItems
                                : s.kind == StreamKind::Audio ? audioItems
                                                              : subItems;
            auto it = items.find(s.mediaAttr);
            if (it == items.end()) continue;
            s.codec = it->second.codec;
            if (s.kind == StreamKind::Audio) s.channels = it->second.channels;
        }
    return playlist;
}

Playlist readPlaylist(const std::string& path) {
    InputFile file(path);
    refuseOversizedPlaylist(file);
    std::string text(static_cast<std::size_t>(file.size()), '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        std::size_t n = file.read(text.data() + got, text.size() - got);
        if (n == 0) break;
        got += n;
    }
    text.resize(got);
    return parsePlaylist(text);
}

std::string iso6392B(const std::string& iso6391) {
    static const std::map<std::string, std::string> kCodes = [] {
        static const char* const kTable =
            "aa:aar ab:abk ae:ave af:afr ak:aka am:amh an:arg ar:ara as:asm av:ava ay:aym az:aze ba:bak "
            "be:bel bg:bul bh:bih bi:bis bm:bam bn:ben bo:tib br:bre bs:bos ca:cat ce:che ch:cha co:cos "
            "cr:cre cs:cze cu:chu cv:chv cy:wel da:dan de:ger dv:div dz:dzo ee:ewe el:gre en:eng eo:epo "
            "es:spa et:est eu:baq fa:per ff:ful fi:fin fj:fij fo:fao fr:fre fy:fry ga:gle gd:gla gl:glg "
            "gn:grn gu:guj gv:glv ha:hau he:heb hi:hin ho:hmo hr:hrv ht:hat hu:hun hy:arm hz:her ia:ina "
            "id:ind ie:ile ig:ibo ii:iii ik:ipk io:ido is:ice it:ita iu:iku ja:jpn jv:jav ka:geo kg:kon "
            "ki:kik kj:kua kk:kaz kl:kal km:khm kn:kan ko:kor kr:kau ks:kas ku:kur kv:kom kw:cor ky:kir "
            "la:lat lb:ltz lg:lug li:lim ln:lin lo:lao lt:lit lu:lub lv:lav mg:mlg mh:mah mi:mao mk:mac "
            "ml:mal mn:mon mr:mar ms:may mt:mlt my:bur na:nau nb:nob nd:nde ne:nep ng:ndo nl:dut nn:nno "
            "no:nor nr:nbl nv:nav ny:nya oc:oci oj:oji om:orm or:ori os:oss pa:pan pi:pli pl:pol ps:pus "
            "pt:por qu:que rm:roh rn:run ro:rum ru:rus rw:kin sa:san sc:srd sd:snd se:sme sg:sag si:sin "
            "sk:slo sl:slv sm:smo sn:sna so:som sq:alb sr:srp ss:ssw st:sot su:sun sv:swe sw:swa ta:tam "
            "te:tel tg:tgk th:tha ti:tir tk:tuk tl:tgl tn:tsn to:ton tr:tur ts:tso tt:tat tw:twi ty:tah "
            "ug:uig uk:ukr ur:urd uz:uzb ve:ven vi:vie vo:vol wa:wln wo:wol xh:xho yi:yid yo:yor za:zha "
            "zh:chi zu:zul iw:heb in:ind ji:yid";
        std::map<std::string, std::string> codes;
        std::string_view t(kTable);
        for (std::size_t i = 0; i + 6 <= t.size(); i += 7) codes.emplace(t.substr(i, 2), t.substr(i + 3, 3));
        return codes;
    }();
    std::string key;
    for (char c : iso6391) key += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    auto it = kCodes.find(key);
    return it == kCodes.end() ? "und" : it->second;
}

std::string xmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

} // namespace vantrel::disc
