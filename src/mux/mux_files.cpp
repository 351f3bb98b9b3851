#include "mux_files.h"

#include "names/xml_text.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace vantrel::mux {

namespace {

using nlohmann::json;

std::string secondsText(double seconds) {
    if (seconds < 0) seconds = 0;
    const auto ns = static_cast<long long>(std::llround(seconds * 1e9));
    char t[40];
    std::snprintf(t, sizeof t, "%02lld:%02lld:%02lld.%09lld", ns / 3600000000000ll, ns / 60000000000ll % 60,
                  ns / 1000000000ll % 60, ns % 1000000000ll);
    return t;
}

} // namespace

int wholeMs(double ms) {
    return static_cast<int>(std::lround(ms));
}

namespace {
void addFlags(std::vector<std::string>& a, const MuxFlags& f) {
    if (f.commentary) a.insert(a.end(), {"--commentary-flag", "0:yes"});
    if (f.visuallyImpaired) a.insert(a.end(), {"--visual-impaired-flag", "0:yes"});
    if (f.hearingImpaired) a.insert(a.end(), {"--hearing-impaired-flag", "0:yes"});
}
} // namespace

std::vector<std::string> muxArguments(const MuxPlan& plan) {
    std::vector<std::string> a = {"--output", plan.output};
    if (!plan.title.empty()) a.insert(a.end(), {"--title", plan.title});
    if (!plan.chaptersFile.empty()) a.insert(a.end(), {"--chapters", plan.chaptersFile});
    for (const auto& t : plan.tracks) {
        const PreparedStream& s = *t.stream;
        if (s.files.empty()) continue;
        a.insert(a.end(), {"--language", "0:" + t.language});
        if (!t.name.empty()) a.insert(a.end(), {"--track-name", "0:" + t.name});
        a.insert(a.end(), {"--default-track-flag", t.isDefault ? "0:yes" : "0:no"});
        addFlags(a, t.flags);
        if (t.flags.forced) a.insert(a.end(), {"--forced-display-flag", "0:yes"});
        if (isVideo(s.kind) && plan.pulldown && t.stream == plan.tracks.front().stream)
            a.insert(a.end(), {"--default-duration", "0:24000/1001p"});
        if (isAudio(s.kind) && wholeMs(s.delayMs) != 0)
            a.insert(a.end(), {"--sync", "0:" + std::to_string(wholeMs(s.delayMs))});
        a.push_back(s.files.front());
        for (std::size_t i = 1; i < s.files.size(); ++i) {
            a.emplace_back("+");
            const int sync = i < s.fileSyncMs.size() ? wholeMs(s.fileSyncMs[i]) : 0;
            if (sync != 0) a.insert(a.end(), {"--sync", "0:" + std::to_string(sync)});
            a.push_back(s.files[i]);
        }
    }
    for (const auto& e : plan.extra) {
        a.insert(a.end(), {"--language", "0:" + e.language});
        if (!e.name.empty()) a.insert(a.end(), {"--track-name", "0:" + e.name});
        a.insert(a.end(), {"--default-track-flag", e.isDefault ? "0:yes" : "0:no"});
        if (e.isForced || e.flags.forced) a.insert(a.end(), {"--forced-display-flag", "0:yes"});
        addFlags(a, e.flags);
        if (e.syncMs != 0) a.insert(a.end(), {"--sync", "0:" + std::to_string(e.syncMs)});
        a.push_back(e.file);
    }
    return a;
}

std::string jsonArray(const std::vector<std::string>& items) {
    return json(items).dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string chaptersXml(const std::vector<ChapterMark>& chapters) {
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Chapters>\n  <EditionEntry>\n";
    for (const auto& c : chapters) {
        x += "    <ChapterAtom>\n      <ChapterTimeStart>" + secondsText(c.seconds) + "</ChapterTimeStart>\n";
        x += "      <ChapterDisplay>\n        <ChapterString>" + xmlEscape(c.name) +
             "</ChapterString>\n      </ChapterDisplay>\n    </ChapterAtom>\n";
    }
    return x + "  </EditionEntry>\n</Chapters>\n";
}

CheckOutcome checkIdentification(const std::string& text, const std::vector<ExpectedTrack>& expected,
                                 int chapters, double titleSeconds) {
    CheckOutcome out;
    json j = json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
        out.mismatches.emplace_back("the identification is not JSON");
        return out;
    }
    const json tracks = j.value("tracks", json::array());
    out.tracks = static_cast<int>(tracks.size());
    if (tracks.size() != expected.size())
        out.mismatches.push_back("tracks: " + std::to_string(tracks.size()) + " found, " +
                                 std::to_string(expected.size()) + " meant");
    for (std::size_t i = 0; i < std::min(tracks.size(), expected.size()); ++i) {
        const json& t = tracks[i];
        const json props = t.value("properties", json::object());
        const std::string type = t.value("type", "");
        const std::string lang = props.value("language", "und");
        const std::string name = props.value("track_name", "");
        const auto mismatch = [&](const char* what, const std::string& found, const std::string& meant) {
            std::string line = "track " + std::to_string(i);
            line.append(": ").append(what).append(" ").append(found).append(", meant ").append(meant);
            out.mismatches.push_back(std::move(line));
        };
        if (type != expected[i].type) mismatch("type", type, expected[i].type);
        if (language6392(lang) != language6392(expected[i].language))
            mismatch("language", lang, expected[i].language);
        if (name != expected[i].name) mismatch("name", '"' + name + '"', '"' + expected[i].name + '"');
    }
    for (const auto& c : j.value("chapters", json::array())) out.chapters += c.value("num_entries", 0);
    if (out.chapters != chapters)
        out.mismatches.push_back("chapters: " + std::to_string(out.chapters) + " found, " +
                                 std::to_string(chapters) + " meant");
    const json container = j.value("container", json::object());
    const json cprops = container.value("properties", json::object());
    out.durationSeconds = static_cast<double>(cprops.value("duration", 0ll)) / 1e9;
    if (titleSeconds > 0 && std::fabs(out.durationSeconds - titleSeconds) > 1.0) {
        char t[120];
        std::snprintf(t, sizeof t, "duration: %.3f s, the title's is %.3f s", out.durationSeconds,
                      titleSeconds);
        out.mismatches.emplace_back(t);
    }
    return out;
}

std::string manifestJson(const Manifest& m) {
    json j;
    j["title"] = m.title;
    j["sources"] = m.sources;
    j["output"] = m.output;
    j["muxOptions"] = m.muxFile;
    j["titleSeconds"] = m.titleSeconds;
    json streams = json::array();
    if (m.prep) {
        const PrepResult& p = *m.prep;
        j["videoSeconds"] = p.videoSeconds;
        json clips = json::array();
        for (const ClipFigures& c : p.clips) {
            json cj;
            cj["file"] = c.path;
            cj["titleStartSeconds"] = c.titleStartSeconds;
            cj["seconds"] = c.seconds;
            if (c.cutBeforeSeconds) cj["cutBeforeSeconds"] = *c.cutBeforeSeconds;
            if (c.cutAfterSeconds) cj["cutAfterSeconds"] = *c.cutAfterSeconds;
            clips.push_back(cj);
        }
        j["clips"] = clips;
        if (p.mainVideo >= 0) {
            const PreparedStream& v = p.streams[static_cast<std::size_t>(p.mainVideo)];
            json pd;
            pd["detected"] = p.pulldown;
            pd["flags"] = v.video.describe();
            pd["defaultDuration"] = p.pulldown ? "24000/1001p" : "";
            j["pulldown"] = pd;
        }
        for (const auto& s : p.streams) {
            json e;
            e["code"] = codeText(s.code);
            e["caption"] = streamCaption(s);
            e["kind"] = nameOf(s.kind);
            e["muxed"] = s.muxed && !s.files.empty();
            e["files"] = s.files;
            if (!s.note.empty()) e["note"] = s.note;
            if (m.plan) {
                const auto label = [&e](const auto& track) {
                    e["language"] = track.language;
                    e["name"] = track.name;
                    e["default"] = track.isDefault;
                };
                for (const auto& t : m.plan->tracks)
                    if (t.stream == &s) label(t);
                for (const auto& x : m.plan->extra) {
                    if (x.stream != &s) continue;
                    label(x);
                    e["forced"] = x.isForced;
                    e["syncMs"] = x.syncMs;
                }
            }
            json parts = json::array();
            for (const auto& f : s.part) {
                if (!f.present) continue;
                json pj;
                pj["packets"] = f.packets;
                pj["bytes"] = f.bytes;
                if (f.hasPts) pj["firstPts"] = f.firstPts;
                if (isAudio(s.kind)) pj["seconds"] = f.seconds;
                parts.push_back(pj);
            }
            e["parts"] = parts;
            if (isAudio(s.kind)) {
                e["delayMs"] = s.delayMs;
                e["syncMs"] = wholeMs(s.delayMs);
                if (s.sampleRate) e["sampleRate"] = s.sampleRate;
                if (s.lpcm) {
                    e["bits"] = s.lpcm->bits;
                    e["channels"] = s.lpcm->channels;
                }
            }
            if (!s.joins.empty()) {
                json joins = json::array();
                for (const JoinFigures& join : s.joins) {
                    json jn;
                    jn["clip"] = join.part + 1;
                    jn["figureMs"] = join.figureMs;
                    jn["continuous"] = join.continuous;
                    jn["droppedFrames"] = join.droppedFrames;
                    jn["syncMs"] = wholeMs(join.syncMs);
                    joins.push_back(jn);
                }
                e["joins"] = joins;
            }
            if (isVideo(s.kind)) e["video"] = s.video.describe();
            streams.push_back(e);
        }
    }
    if (m.plan)
        for (const auto& x : m.plan->extra) {
            if (x.stream) continue; // listed with its stream
            json e;
            e["files"] = {x.file};
            e["kind"] = x.type;
            e["muxed"] = true;
            e["language"] = x.language;
            e["name"] = x.name;
            streams.push_back(e);
        }
    j["streams"] = streams;
    json ch = json::array();
    for (const auto& c : m.chapters) ch.push_back({{"seconds", c.seconds}, {"name", c.name}});
    j["chapters"] = ch;
    j["warnings"] = m.warnings;
    if (m.prep) j["notes"] = m.prep->notes;
    return j.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace vantrel::mux
