#include "track_names.h"

#include "files/errors.h"
#include "language_codes.h"

#include <cstdio>
#include <sstream>

namespace vantrel {

namespace {

std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string hexCode(int code) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", code & 0xFF);
    return text;
}

// cbVideoN, cbAudioNN, cbSubNN: a box name, whether or not a stream is in it.
bool looksLikeBox(const std::string& lowered) {
    for (const char* prefix : {"cbvideo", "cbaudio", "cbsub"}) {
        const std::string p = prefix;
        if (lowered.size() <= p.size() || lowered.compare(0, p.size(), p) != 0) continue;
        bool digits = true;
        for (std::size_t i = p.size(); i < lowered.size(); ++i)
            digits = digits && lowered[i] >= '0' && lowered[i] <= '9';
        if (digits) return true;
    }
    return false;
}

// The captions a stream answers to, lowered: each as printed, and each
// without the playlist's description (".English"), with or without its dot.
std::vector<std::string> captionForms(const TrackCandidate& s) {
    std::vector<std::string> forms;
    // Appended, not prepended: GCC 12 at -O3 warns falsely of an overlap in "." + string.
    std::string tail = ".";
    tail += lower(s.description);
    for (const std::string& c : s.captions) {
        const std::string l = lower(c);
        forms.push_back(l);
        if (!s.description.empty() && l.size() > tail.size() && l.ends_with(tail)) {
            forms.push_back(l.substr(0, l.size() - tail.size()));
            forms.push_back(l.substr(0, l.size() - tail.size() + 1));
        } else if (l.ends_with(".")) {
            forms.push_back(l.substr(0, l.size() - 1));
        }
    }
    return forms;
}

bool fits(const TrackCandidate& s, const std::string& name) {
    if (!s.box.empty() && lower(s.box) == name) return true;
    if (s.code >= 0 && lower(hexCode(s.code)) == name) return true;
    for (const std::string& form : captionForms(s))
        if (form == name) return true;
    // A language: two letters (639-1) or three (639-2/T or /B); "und" for the undetermined.
    if ((name.size() == 2 || name.size() == 3) && name.find('.') == std::string::npos) {
        const std::string code = name == "und" ? name : language6392(name);
        const std::string own = s.language.empty() ? "und" : lower(s.language);
        if (code != "und" || name == "und") return own == code;
    }
    return false;
}

} // namespace

std::string trackNames(const TrackCandidate& s) {
    std::string text = s.box;
    auto add = [&text](const std::string& part) {
        if (!part.empty()) text += (text.empty() ? "" : " ") + part;
    };
    if (s.code >= 0) add(hexCode(s.code));
    for (const std::string& c : s.captions)
        if (text.find(c) == std::string::npos) add(c);
    if (!s.language.empty() && s.language != "und") add(s.language);
    return text;
}

std::vector<bool> chosenTracks(const std::string& list, const std::vector<TrackCandidate>& streams,
                               const std::string& where) {
    std::vector<bool> chosen(streams.size(), list.empty() || lower(list) == "all");
    if (list.empty() || lower(list) == "all") return chosen;
    std::string known;
    for (const TrackCandidate& s : streams) known += (known.empty() ? "" : "; ") + trackNames(s);
    if (known.empty()) known = "none";
    std::stringstream in(list);
    std::string name;
    bool any = false;
    while (std::getline(in, name, ',')) {
        if (name.empty()) continue;
        const std::string lowered = lower(name);
        bool matched = false;
        for (std::size_t i = 0; i < streams.size(); ++i)
            if (fits(streams[i], lowered)) {
                chosen[i] = true;
                matched = true;
            }
        if (!matched) {
            std::string text = "--tracks: " + name;
            text += looksLikeBox(lowered) ? " holds no stream in " : " names no stream of ";
            text += where;
            text += " (it has: " + known + ")";
            throw Error(ErrorKind::Usage, text);
        }
        any = true;
    }
    if (!any) throw Error(ErrorKind::Usage, "--tracks names no stream");
    return chosen;
}

} // namespace vantrel
