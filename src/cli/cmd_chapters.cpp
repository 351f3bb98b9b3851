// chapters XPL [--title N] [--format ogm|xml|json] [--clock auto|60|59.94] [-o FILE]:
// chapter files for muxers, with the title times read in the right clock.
#include "cli.h"
#include "disc/title_model.h"
#include "disc_input.h"
#include "files/errors.h"
#include "files/file_layer.h"
#include "files/final_name.h"
#include "names/xml_text.h"
#include "output_guard.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <sstream>

namespace vantrel::cli {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kHelp =
    "usage: vantrel-cli [--quiet] [--json] chapters PATH [--title N] [--format ogm|xml|json]\n"
    "                            [--clock auto|60|59.94] [-o FILE] [--force]\n"
    "\n"
    "Writes a title's chapters as a chapter file that muxers read: the simple OGM\n"
    "form (CHAPTER01=HH:MM:SS.mmm, CHAPTER01NAME=...), Matroska chapter XML, or\n"
    "JSON. Names come from the chapters' displayName (\"Chapter NN\" where none).\n"
    "\n"
    "PATH       a VPLST000.XPL, or a disc root or HVDVD_TS folder beside one, or a\n"
    "           disc image (.iso) or drive\n"
    "--title N  the title whose titleNumber is N; without it the longest title\n"
    "           with clips (the feature)\n"
    "--format   ogm (default; json with --json), xml or json\n"
    "--clock    how to read the title times, whose last field counts frames of the\n"
    "           title set's timeBase (\"60fps\"): exactly 60 per second, or\n"
    "           60000/1001 (59.94). auto (default) compares the title's\n"
    "           titleDuration with the PTS span of its EVO files (the video's first\n"
    "           PTS to its last PTS plus one frame, summed over the files) and takes\n"
    "           the closer; without EVO files it takes 59.94, as real discs count.\n"
    "           info, mkv and mux-prep make the same choice. It is reported on\n"
    "           stderr.\n"
    "-o FILE    write there instead of stdout; never over the playlist\n"
    "--force    replace FILE when it exists\n";

// HH:MM:SS.mmm (or with nine places for the XML form) from nanoseconds.
std::string clockTime(long long ns, int places) {
    if (ns < 0) ns = 0;
    const long long perPlace = places == 3 ? 1000000LL : 1LL;
    const long long frac = (ns % 1000000000LL) / perPlace;
    const long long s = ns / 1000000000LL;
    char text[64];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%0*lld", s / 3600, s / 60 % 60, s % 60, places,
                  frac);
    return text;
}

// A chapter and its start at the title's clock.
struct Entry {
    const disc::Chapter* chapter;
    long long ns;
};

// The title asked for, or the default one (with a note that says so).
const disc::Title& chosenTitle(Context& ctx, const DiscInput& input, const std::optional<int>& number) {
    const disc::Title* chosen = number ? &requireTitle(input, *number) : disc::defaultTitle(*input.playlist);
    if (chosen == nullptr) throw Error(ErrorKind::NotFound, "the playlist lists no titles");
    if (!number)
        ctx.console.note("title " + std::to_string(chosen->number) + " (" + chosen->displayName +
                         "), the longest with clips; --title N picks another");
    return *chosen;
}

// The clock decision of the title, as every command makes it, with its note.
disc::ClockChoice chapterClock(Context& ctx, const DiscInput& input, const disc::Title& title,
                               const std::string& clockArg) {
    const disc::Playlist& playlist = *input.playlist;
    const int rate = playlist.frameRate;
    const std::optional<disc::ClockSetting> setting = disc::clockSetting(clockArg, rate);
    if (!setting)
        throw Error(ErrorKind::Usage, "--clock takes " + disc::clockSettingChoices(rate) +
                                          " for a title set of timeBase \"" + playlist.timeBase +
                                          "\", not \"" + clockArg + "\"");
    std::vector<std::string> evoPaths;
    if (!input.at.evoFolder.empty()) {
        const disc::TitleFiles files = disc::filesOfTitle(title, input.at.evoFolder);
        for (const std::string& n : files.notes) ctx.console.note(n);
        for (const std::string& w : files.warnings) ctx.console.warning(w);
        for (const std::string& m : files.missing)
            ctx.console.warning("title " + std::to_string(title.number) + ": " + m + " is not there");
        // A span over part of the title compares with nothing.
        if (files.missing.empty()) evoPaths = files.paths;
    }
    const disc::ClockChoice choice = disc::titleClock(title, rate, *setting, evoPaths);
    for (const std::string& w : choice.cutWarnings) ctx.console.warning(w);
    ctx.console.note(choice.note(rate));
    return choice;
}

// The chapter file in one of the three forms.
std::string chapterText(const std::string& format, const std::vector<Entry>& entries,
                        const disc::Title& title, const disc::Playlist& playlist,
                        const disc::ClockChoice& choice) {
    std::ostringstream text;
    if (format == "ogm") {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            char number[32];
            std::snprintf(number, sizeof number, "%02zu", i + 1);
            const long long ms = (entries[i].ns + 500000) / 1000000;
            text << "CHAPTER" << number << "=" << clockTime(ms * 1000000, 3) << '\n';
            text << "CHAPTER" << number << "NAME=" << entries[i].chapter->name << '\n';
        }
    } else if (format == "xml") {
        text << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             << "<!DOCTYPE Chapters SYSTEM \"matroskachapters.dtd\">\n"
             << "<Chapters>\n  <EditionEntry>\n";
        for (const Entry& e : entries) {
            text << "    <ChapterAtom>\n"
                 << "      <ChapterTimeStart>" << clockTime(e.ns, 9) << "</ChapterTimeStart>\n"
                 << "      <ChapterDisplay>\n"
                 << "        <ChapterString>" << xmlEscape(e.chapter->name) << "</ChapterString>\n"
                 << "        <ChapterLanguage>und</ChapterLanguage>\n"
                 << "      </ChapterDisplay>\n"
                 << "    </ChapterAtom>\n";
        }
        text << "  </EditionEntry>\n</Chapters>\n";
    } else {
        const int rate = playlist.frameRate;
        Json j;
        j["schema"] = "vantrel-cli/chapters/1";
        j["title"] = title.number;
        j["name"] = title.displayName;
        j["time_base"] = playlist.timeBase;
        j["clock"] = {{"rate", disc::clockName(rate, choice.clock)},
                      {"video_span_s", choice.spanSeconds ? Json(*choice.spanSeconds) : Json(nullptr)},
                      {"reason", choice.reason}};
        j["chapters"] = Json::array();
        for (const Entry& e : entries)
            j["chapters"].push_back({{"number", e.chapter->number},
                                     {"name", e.chapter->name},
                                     {"time", e.chapter->timeText},
                                     {"start_ms", std::round(static_cast<double>(e.ns) / 1000.0) / 1000.0},
                                     {"start", clockTime(e.ns, 9)}});
        text << j.dump(2) << '\n';
    }
    return text.str();
}

// Writes the chapter file whole under a temporary name beside it, then gives
// it its name: a failed write leaves no half-written file, and a file that
// took the name meanwhile is replaced only with `force`. A device (/dev/stdout)
// is written as it is.
void writeChapterFile(const std::string& path, const std::string& bytes, bool force) {
    std::error_code ec;
    const auto st = std::filesystem::status(path, ec);
    if (std::filesystem::exists(st) && !std::filesystem::is_regular_file(st)) {
        OutputFile file(path);
        file.write(bytes.data(), bytes.size());
        file.close();
        return;
    }
    const std::string temp = createTemporaryFile(path);
    const TemporaryLock lock(temp);
    int err = 0;
    try {
        OutputFile file(temp);
        file.write(bytes.data(), bytes.size());
        file.close();
        if (force) {
            std::filesystem::rename(temp, path, ec);
            err = ec.value();
        } else {
            err = renameNoReplace(temp, path);
        }
    } catch (const Error&) {
        std::filesystem::remove(temp, ec);
        throw;
    }
    if (err == 0) return;
    std::filesystem::remove(temp, ec);
    if (err == EEXIST)
        throw Error(ErrorKind::Output,
                    path + " appeared while this run worked (another run?): it is left as it is; give "
                           "--force to replace it",
                    path);
    throw Error::cannotCreate(path, std::strerror(err));
}

int runChapters(Context& ctx) {
    ParsedArgs args = parseArgs(ctx.args, {"--title", "--format", "--clock", "-o", "--output"}, {"--force"});
    if (args.positional.size() != 1)
        throw Error(ErrorKind::Usage, "chapters takes one PATH (a VPLST000.XPL)");
    const std::string path = args.positional[0];
    const std::string format = args.value("--format", ctx.options.json ? "json" : "ogm");
    if (format != "ogm" && format != "xml" && format != "json")
        throw Error(ErrorKind::Usage, "--format takes ogm, xml or json, not \"" + format + "\"");
    const std::string outPath = args.value("-o", args.value("--output"));
    const std::optional<int> titleNumber = titleOption(args);
    if (!outPath.empty()) {
        checkOutputFile(outPath, inputsOfRun(path, {}), args.has("--force"));
        clearLeftTemporaries(ctx.console, outPath, args.has("--force"));
    }

    DiscInput input = openDiscInput(path, false);
    if (input.at.kind == disc::DiscLocation::Kind::EvoFile)
        throw Error(ErrorKind::NotFound, path + " is not a playlist");
    if (!input.playlist)
        throw Error(ErrorKind::NotFound, "no playlist (ADV_OBJ/VPLST000.XPL) found for " + path);
    if (!input.at.playlistNote.empty()) ctx.console.note(input.at.playlistNote);
    if (!input.at.caseNote.empty()) ctx.console.note(input.at.caseNote);
    const disc::Title& title = chosenTitle(ctx, input, titleNumber);
    if (const std::string note = disc::durationPastClipsNote(title, input.playlist->frameRate); !note.empty())
        ctx.console.note(note);
    const disc::ClockChoice choice = chapterClock(ctx, input, title, args.value("--clock", "auto"));

    for (const disc::Chapter& c : title.chapters)
        if (!c.time)
            ctx.console.warning("chapter " + std::to_string(c.number) +
                                " has no readable titleTimeBegin (\"" + c.timeText + "\"); left out");
    std::vector<Entry> entries;
    for (const disc::TimedChapter& c : disc::timedChapters(title, input.playlist->frameRate, choice.clock))
        entries.push_back({c.chapter, std::llround(c.seconds * 1e9)});
    if (entries.empty()) ctx.console.warning("title " + std::to_string(title.number) + " has no chapters");

    const std::string text = chapterText(format, entries, title, *input.playlist, choice);
    if (outPath.empty()) {
        ctx.out << text;
    } else {
        writeChapterFile(outPath, text, args.has("--force"));
        ctx.console.note("wrote " + outPath);
    }
    return kExitOk;
}

} // namespace

extern const Command kChaptersCommand;
const Command kChaptersCommand{"chapters", "a title's chapters as OGM, Matroska XML or JSON chapter file",
                               kHelp, runChapters};

} // namespace vantrel::cli
