#include "mkv_input.h"

#include "disc_input.h"
#include "engine/errors.h"
#include "engine/file_layer.h"
#include "mkv_subtitles.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>

namespace vantrel::cli {

namespace {

// Stream codes a --tracks name stands for: a box name (cbVideo0, cbAudio03:
// every code the window puts in that box), a stream code (0xC0) or a caption
// of the scan (DD+.stream.00).
std::set<std::uint8_t> codesOfName(const std::string& name) {
    std::set<std::uint8_t> codes;
    int n = -1;
    if (std::sscanf(name.c_str(), "cbVideo%d", &n) == 1 && n >= 0 && n <= 1) {
        const auto i = static_cast<std::uint8_t>(n);
        codes = {static_cast<std::uint8_t>(0xE0 + i), static_cast<std::uint8_t>(0xE2 + i),
                 static_cast<std::uint8_t>(0x55 + i)};
    } else if (std::sscanf(name.c_str(), "cbAudio%d", &n) == 1 && n >= 0 && n <= 15) {
        const auto i = static_cast<std::uint8_t>(n);
        codes.insert(static_cast<std::uint8_t>(0xC0 + i));
        if (n < 8)
            for (std::uint8_t base : {0x80, 0x88, 0xA0, 0xB0})
                codes.insert(static_cast<std::uint8_t>(base + i));
    } else if (name.size() == 4 && name[0] == '0' && (name[1] == 'x' || name[1] == 'X')) {
        unsigned v = 0;
        if (std::sscanf(name.c_str() + 2, "%x", &v) == 1 && v <= 0xFF)
            codes.insert(static_cast<std::uint8_t>(v));
    } else {
        for (int c = 0; c < 256; ++c) {
            mux::PreparedStream s;
            s.code = static_cast<std::uint8_t>(c);
            s.kind = (c >= 0xE0 && c <= 0xE3) || c == 0x55 || c == 0x56 ? mux::kindOfVideo(s.code)
                                                                        : mux::kindOfSubStream(s.code);
            if (s.kind != mux::EsKind::Unknown && mux::streamCaption(s) == name) codes.insert(s.code);
        }
    }
    return codes;
}

// The playlist's index of a stream code, as the window's boxes count them.
int indexOfCode(std::uint8_t c, disc::StreamKind& kind) {
    if (c == 0x55 || c == 0x56 || (c >= 0xE0 && c <= 0xE3)) {
        kind = disc::StreamKind::Video;
        return c == 0x55 || c == 0x56 ? c - 0x55 : c & 1;
    }
    if ((c & 0xE0) == 0x20 || (c & 0xE0) == 0x60) {
        kind = disc::StreamKind::Subtitle;
        return c & 0x1F;
    }
    kind = disc::StreamKind::Audio;
    return (c & 0xF0) == 0xC0 ? c & 15 : c & 7;
}

} // namespace

mux::MkvJob mkvJobOf(Context& ctx, const ParsedArgs& args, const std::string& command) {
    if (args.positional.size() != 1) throw Failure(kExitUsage, command + " takes one PATH");
    const std::string path = args.positional[0];
    const std::optional<int> titleNumber = titleOption(args);
    DiscInput input = openDiscInput(path, titleNumber.has_value());
    if (!input.at.playlistNote.empty()) ctx.console.note(input.at.playlistNote);
    mux::MkvJob job;
    const disc::Title* title = nullptr;
    if (input.at.kind == disc::DiscLocation::Kind::EvoFile && !titleNumber) {
        job.parts.push_back(path);
        // A first part goes on in its second part, as the demux run does.
        if (path.size() > 6 && path.compare(path.size() - 6, 6, "_1.EVO") == 0) {
            const std::string next = path.substr(0, path.size() - 5) + "2.EVO";
            if (fileExists(next)) job.parts.push_back(next);
        }
        if (input.playlist) {
            const auto playing =
                input.playlist->titlesPlaying(std::filesystem::path(path).filename().string());
            if (!playing.empty()) title = playing.front();
        }
    } else {
        if (titleNumber) {
            title = &requireTitle(input, *titleNumber);
        } else {
            if (!input.playlist) throw Failure(kExitNotFound, "no playlist found for " + path);
            title = disc::defaultTitle(*input.playlist);
            if (title == nullptr) throw Failure(kExitNotFound, "the playlist lists no titles");
            ctx.console.note("title " + std::to_string(title->number) + " (" + title->displayName +
                             "), the longest with clips; --title N picks another");
        }
        if (input.at.evoFolder.empty())
            throw Failure(kExitInputUnreadable, "the EVO files of title " + std::to_string(title->number) +
                                                    " are not at hand (no HVDVD_TS folder)");
        const disc::TitleFiles files = disc::filesOfTitle(*title, input.at.evoFolder);
        for (const std::string& w : files.warnings) ctx.console.warning(w);
        // An image holds the whole disc: a file its playlist names and it lacks is a broken image.
        if (!input.at.image.empty() && !files.missing.empty())
            throw Failure(kExitInputUnreadable, "the disc image " + input.at.image + " lacks " +
                                                    files.missing.front() + ", which title " +
                                                    std::to_string(title->number) + " plays");
        if (files.paths.empty())
            throw Failure(kExitInputUnreadable,
                          "title " + std::to_string(title->number) + " plays no EVO file that is there");
        job.parts = files.paths;
        if (job.parts.size() > 2) {
            ctx.console.warning("title " + std::to_string(title->number) + " plays " +
                                std::to_string(job.parts.size()) + " files; only the first two are muxed");
            job.parts.resize(2);
        }
    }
    for (const auto& p : job.parts) requireProgramStream(p);

    if (title) {
        job.title = title->displayName;
        const disc::Title copy = *title;
        const int rate = input.playlist ? input.playlist->frameRate : 60;
        for (const disc::PlaylistStream& s : copy.streams)
            if (s.advanced) ctx.console.warning(disc::advancedSubtitleWarning(copy, s));
        // The clock as every command decides it for this title (chapters, info).
        const std::string clockArg = args.value("--clock", "auto");
        const std::optional<disc::ClockSetting> setting = disc::clockSetting(clockArg, rate);
        if (!setting)
            throw Failure(kExitUsage, "--clock takes auto, " + disc::clockName(rate, disc::Clock::Exact) +
                                          " or " + disc::clockName(rate, disc::Clock::Ntsc) + ", not \"" +
                                          clockArg + "\"");
        disc::ClockChoice clock;
        try {
            clock = disc::titleClock(copy, rate, *setting, job.parts);
        } catch (const Error& e) {
            throw Failure(kExitInputUnreadable, e.what());
        }
        ctx.console.note("clock " + disc::clockName(rate, clock.clock) + ": " + clock.reason);
        job.timing = [copy, rate, clock](double /*videoSeconds*/, double& seconds,
                                         std::vector<mux::ChapterMark>& chapters) {
            if (copy.duration) seconds = disc::titleSeconds(*copy.duration, rate, clock.clock);
            chapters.clear();
            for (const auto& c : copy.chapters)
                if (c.time) chapters.push_back({disc::titleSeconds(*c.time, rate, clock.clock), c.name});
        };
        job.label = [copy](std::uint8_t code) -> std::optional<mux::StreamLabel> {
            disc::StreamKind kind;
            const int index = indexOfCode(code, kind);
            for (const auto& s : copy.streams) {
                if (s.kind != kind || s.index() != index) continue;
                mux::StreamLabel l;
                l.language = s.language6392;
                l.description = s.description;
                l.flags = {s.flags.commentary, s.flags.visuallyImpaired, s.flags.forced,
                           s.flags.hearingImpaired};
                return l;
            }
            return std::nullopt;
        };
    }
    if (args.has("--tracks") && args.value("--tracks") != "all") {
        std::stringstream list(args.value("--tracks"));
        std::string name;
        while (std::getline(list, name, ',')) {
            const auto codes = codesOfName(name);
            if (codes.empty()) throw Failure(kExitUsage, "--tracks: " + name + " names no stream");
            job.only.insert(codes.begin(), codes.end());
        }
    }
    if (ctx.console.progressShown()) {
        Console* console = &ctx.console;
        auto stage = std::make_shared<std::string>();
        job.progress = [console, stage](const std::string& label, std::int64_t done, std::int64_t total) {
            if (label != *stage) {
                if (!stage->empty()) console->progressEnd();
                *stage = label;
                console->progressStart(label, total);
            }
            console->progressUpdate(done);
        };
    }
    job.extraTracks = pgsSubtitleTracks(job, ctx.console);
    return job;
}

void rethrowAsFailure() {
    try {
        throw;
    } catch (const mux::MkvFailure& f) {
        throw Failure(f.code(), f.what());
    } catch (const mux::InputError& e) {
        throw Failure(kExitInputUnreadable, e.what());
    } catch (const Error& e) {
        const std::string text = e.what();
        const bool input = text.rfind("Cannot open file", 0) == 0 || text.rfind("Cannot read file", 0) == 0;
        throw Failure(input ? kExitInputUnreadable : kExitOutputFailed, text);
    }
}

} // namespace vantrel::cli
