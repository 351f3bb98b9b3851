#include "mkv_job.h"

#include "files/errors.h"
#include "files/final_name.h"
#include "names/continued_parts.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vantrel::mux {

namespace {

namespace fs = std::filesystem;

void writeText(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) throw Error("Cannot create file \"" + path + "\". " + std::strerror(errno));
    f << text;
    f.close();
    if (!f) throw Error("Stream write error");
}

// The refusal of a final name that a file took while the run worked.
Error appearedMeanwhile(const std::string& path) {
    return {ErrorKind::Output,
            path + " appeared while this run worked (another run?): it is left as it is and this result "
                   "is not kept; give --force to replace it",
            path};
}

// A file the user opens (mux.json, title.json): written whole under a
// temporary name, then given its name, over an existing file only with `replace`.
void writeFinalText(const std::string& path, const std::string& text, bool replace) {
    if (replace) return writeText(path, text);
    const std::string temp = createTemporaryFile(path);
    const TemporaryLock lock(temp);
    int err = 0;
    try {
        writeText(temp, text);
        err = renameNoReplace(temp, path);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    if (err == 0) return;
    ::unlink(temp.c_str());
    if (err == EEXIST) throw appearedMeanwhile(path);
    throw Error::cannotCreate(path, std::strerror(err));
}

// A line of the muxer's --gui-mode as its plain mode prints it ("#GUI#error X": "Error: X").
std::string plainLine(const std::string& line) {
    if (line.rfind("#GUI#error ", 0) == 0) return "Error: " + line.substr(11);
    if (line.rfind("#GUI#warning ", 0) == 0) return "Warning: " + line.substr(13);
    return line;
}

std::string lastLines(const std::string& text, int count) {
    std::vector<std::string> lines;
    std::string cur;
    for (char c : text) {
        if (c == '\n' || c == '\r') {
            if (!cur.empty() && cur.rfind("#GUI#progress", 0) != 0) lines.push_back(plainLine(cur));
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) lines.push_back(plainLine(cur));
    std::string out;
    const std::size_t from =
        lines.size() > static_cast<std::size_t>(count) ? lines.size() - static_cast<std::size_t>(count) : 0;
    for (std::size_t i = from; i < lines.size(); ++i) out += (out.empty() ? "" : "\n") + lines[i];
    return out;
}

// Removes the temporary folder on every way out unless asked to keep it; its
// lock tells the next run to the same output that this one is still at work.
class TempFolder {
public:
    explicit TempFolder(const std::string& outputPath) {
        const std::string pattern = temporaryPattern(outputPath);
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (!::mkdtemp(buf.data()))
            throw Error("Cannot create file \"" + pattern + "\". " + std::strerror(errno));
        m_path = buf.data();
        m_lock = TemporaryLock(m_path);
    }
    ~TempFolder() {
        if (m_keep) return;
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // Kept, and marked so that the next run to the output does not take it for a killed run's.
    void keep() {
        m_keep = true;
        writeText(m_path + "/" + kKeptMarker, "kept with --keep-temp\n");
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    TemporaryLock m_lock;
    bool m_keep = false;
};

} // namespace

std::string audioTrackName(const PreparedStream& s) {
    std::string name;
    switch (s.kind) {
    case EsKind::Ac3: name = "DD"; break;
    case EsKind::Eac3: name = "DD+"; break;
    case EsKind::Dts: name = s.hdExtension ? "DTS-HD" : "DTS"; break;
    case EsKind::TrueHd: name = "TrueHD"; break;
    case EsKind::Mlp: name = "MLP"; break;
    case EsKind::Lpcm: name = "LPCM"; break;
    default: return streamCaption(s);
    }
    const int channels = s.lpcm ? s.lpcm->channels : s.channels;
    if (channels <= 0) return name;
    // Six channels and more carry one low-frequency channel (5.1, 6.1, 7.1).
    const int lfe = channels >= 6 ? 1 : 0;
    return name + " " + std::to_string(channels - lfe) + "." + std::to_string(lfe);
}

namespace {

std::string trackType(EsKind kind) {
    return isVideo(kind) ? "video" : isAudio(kind) ? "audio" : "subtitles";
}

// The subpicture streams the pass converted, as subtitle tracks: the
// playlist's language and description, never the default track, forced where
// every unit starts with the forced start command, moved by the main video's
// first PTS as the other tracks are.
std::vector<ExtraTrack> subtitleTracks(const PrepResult& p, const MkvJob& job) {
    std::vector<ExtraTrack> tracks;
    const PreparedStream* video =
        p.mainVideo >= 0 ? &p.streams[static_cast<std::size_t>(p.mainVideo)] : nullptr;
    const std::uint64_t videoStart = video && video->part[0].hasPts ? video->part[0].firstPts : 0;
    for (const PreparedStream& s : p.streams) {
        if (s.kind != EsKind::Subpicture || !s.muxed || s.files.empty()) continue;
        ExtraTrack t;
        t.stream = &s;
        t.file = s.files.front();
        const std::optional<StreamLabel> l = job.label ? job.label(s.code) : std::nullopt;
        t.language = language6392(l ? l->language : "");
        t.name = l && !l->description.empty() ? l->description : streamCaption(s);
        t.isForced = s.subpictureForced == s.subpictureUnits;
        if (l) {
            t.flags = l->flags;
            t.isDefault = l->isDefault.value_or(false);
            t.isForced = l->isForced.value_or(t.isForced);
            if (l->isForced) t.flags.forced = *l->isForced;
        }
        t.syncMs = -static_cast<int>(std::llround(static_cast<double>(videoStart) / 90.0));
        tracks.push_back(t);
    }
    return tracks;
}

} // namespace

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::function<void(const std::string&)>& onLine,
                      const std::function<bool()>& stop) {
    ProgramRun run;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        run.failure = std::strerror(errno);
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    std::vector<std::string> all = {program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(all.size() + 1);
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        run.failure = std::strerror(rc);
        run.missing = rc == ENOENT;
        return run;
    }
    char buf[4096];
    std::string line;
    for (;;) {
        if (stop && !run.stopped && stop()) {
            run.stopped = true;
            ::kill(pid, SIGTERM);
        }
        // Woken at least five times a second to ask `stop`.
        struct pollfd ready {
            fds[0], POLLIN, 0
        };
        const int polled = ::poll(&ready, 1, stop ? 200 : -1);
        if (polled == 0 || (polled < 0 && errno == EINTR)) continue;
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        run.output.append(buf, static_cast<std::size_t>(n));
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buf[i];
            if (c == '\n' || c == '\r') {
                if (onLine && !line.empty()) onLine(line);
                line.clear();
            } else {
                line += c;
            }
        }
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    else
        run.status = 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    // A shell's "not found" for a program it could not run.
    if (run.status == 127) {
        run.failure = "not found";
        run.missing = true;
    }
    return run;
}

std::string preparedBaseName(const MkvJob& job) {
    if (job.parts.empty()) return "title";
    const std::string stem = fs::path(job.parts.front().path).stem().string();
    return job.parts.size() > 1 ? continuedBase(stem) : stem;
}

std::vector<std::string> joinWarnings(const PrepResult& p) {
    std::vector<std::string> warnings;
    for (const auto& s : p.streams) {
        if (!s.muxed) continue;
        for (const JoinFigures& join : s.joins) {
            const int ms = wholeMs(join.figureMs);
            if (join.continuous || ms == 0) continue;
            const std::string where =
                s.joins.size() > 1 ? " (into clip " + std::to_string(join.part + 1) + ")" : "";
            if (ms > 0)
                warnings.push_back("join gap " + std::to_string(ms) + " ms in " + streamCaption(s) + where);
            if (ms < 0)
                warnings.push_back("join overlap " + std::to_string(-ms) + " ms in " + streamCaption(s) +
                                   where);
        }
    }
    return warnings;
}

MuxPlan trackPlan(const PrepResult& p, const MkvJob& job) {
    // Track names, languages and the default flags: the first audio track is
    // the default one; no subtitle is.
    MuxPlan plan;
    plan.title = job.title;
    plan.pulldown = p.pulldown;
    bool audioDefault = false;
    for (const auto& s : p.streams) {
        if (!s.muxed || s.files.empty() || s.kind == EsKind::Subpicture) continue;
        TrackPlan t;
        t.stream = &s;
        std::optional<StreamLabel> label = job.label ? job.label(s.code) : std::nullopt;
        t.language = language6392(label ? label->language : "");
        // Without the playlist's description: the main video bears the
        // title's name (or none), another video none, audio its codec and
        // channels.
        if (label && !label->description.empty())
            t.name = label->description;
        else if (isVideo(s.kind))
            t.name = plan.tracks.empty() ? job.title : std::string();
        else
            t.name = audioTrackName(s);
        if (label) t.flags = label->flags;
        if (isVideo(s.kind)) t.isDefault = plan.tracks.empty();
        if (isAudio(s.kind) && !audioDefault) t.isDefault = audioDefault = true;
        if (label && label->isDefault) t.isDefault = *label->isDefault;
        if (label && label->isForced) t.flags.forced = *label->isForced;
        plan.tracks.push_back(t);
    }
    if (plan.tracks.empty()) throw Error(ErrorKind::Check, "no stream of the title can be muxed");
    plan.extra = subtitleTracks(p, job);
    return plan;
}

MkvOutcome prepareMuxFolder(const MkvJob& job, const std::string& folderGiven,
                            const std::string& muxOutputGiven) {
    // Absolute names in the option file, so that it works from any folder.
    std::string folder = fs::absolute(folderGiven).lexically_normal().string();
    if (folder.empty() || folder.back() != '/') folder += '/';
    const std::string muxOutput = fs::absolute(muxOutputGiven).lexically_normal().string();
    MkvOutcome outcome;
    if (job.parts.empty()) throw Error("no source files");
    outcome.tempFolder = folder;

    PrepOptions prep;
    prep.parts = job.parts;
    prep.folder = folder;
    prep.baseName = preparedBaseName(job);
    prep.only = job.only;
    prep.forceRf64 = job.forceRf64;
    prep.subpictures = job.subtitles;
    if (job.progress || job.stopRequested)
        prep.progress = [&](int part, std::int64_t done, std::int64_t total) {
            if (job.stopRequested && job.stopRequested()) throw Error(ErrorKind::Interrupted, "interrupted");
            if (!job.progress) return;
            job.progress("Reading " +
                             fs::path(job.parts[static_cast<std::size_t>(part)].path).filename().string(),
                         done, total);
        };
    prep.warning = job.warning;
    outcome.prep = prepareStreams(prep);
    const PrepResult& p = outcome.prep;
    outcome.warnings = p.warnings;
    outcome.notes = p.notes;

    MuxPlan& plan = outcome.plan;
    plan = trackPlan(p, job);
    plan.output = muxOutput;
    outcome.titleSeconds = job.titleSeconds;
    outcome.chapters = job.chapters;
    if (job.timing) job.timing(p.videoSeconds, outcome.titleSeconds, outcome.chapters);
    if (outcome.titleSeconds <= 0) outcome.titleSeconds = p.videoSeconds;
    if (!outcome.chapters.empty()) {
        plan.chaptersFile = folder + "chapters.xml";
        writeText(plan.chaptersFile, chaptersXml(outcome.chapters));
    }
    for (std::string& w : joinWarnings(p)) {
        if (job.warning) job.warning(w);
        outcome.warnings.push_back(std::move(w));
    }

    outcome.muxArgs = muxArguments(plan);
    outcome.muxFile = folder + "mux.json";
    writeFinalText(outcome.muxFile, jsonArray(outcome.muxArgs), job.replace);
    Manifest manifest;
    manifest.title = job.title;
    for (const ClipPart& c : job.parts) manifest.sources.push_back(c.path);
    manifest.output = job.output;
    manifest.muxFile = outcome.muxFile;
    manifest.titleSeconds = outcome.titleSeconds;
    manifest.prep = &p;
    manifest.plan = &plan;
    manifest.chapters = outcome.chapters;
    manifest.warnings = outcome.warnings;
    writeFinalText(folder + "title.json", manifestJson(manifest), job.replace);
    return outcome;
}

MkvOutcome runMkvJob(const MkvJob& job) {
    if (job.parts.empty()) throw Error("no source files");
    TempFolder temp(job.output);
    if (job.keepTemp) temp.keep();
    const std::string folder = temp.path() + "/";
    MkvOutcome outcome = prepareMuxFolder(job, folder, folder + fs::path(job.output).filename().string());
    const MuxPlan& plan = outcome.plan;
    const std::string& muxFile = outcome.muxFile;
    const double titleSeconds = outcome.titleSeconds;

    // The muxer.
    if (job.progress) job.progress("Muxing", 0, 100);
    // --gui-mode: the muxer's progress as "#GUI#progress N%" lines of their own.
    ProgramRun run = runProgram(
        job.muxer, {"@" + muxFile, "--gui-mode"},
        [&](const std::string& line) {
            int percent = 0;
            if (job.progress && (std::sscanf(line.c_str(), "#GUI#progress %d%%", &percent) == 1 ||
                                 std::sscanf(line.c_str(), "Progress: %d%%", &percent) == 1))
                job.progress("Muxing", percent, 100);
        },
        job.stopRequested);
    if (run.stopped) throw Error(ErrorKind::Interrupted, "interrupted");
    if (run.status < 0 || !run.failure.empty())
        throw Error(ErrorKind::Muxer,
                    job.muxer + " cannot be run: " + run.failure +
                        (run.missing && fs::path(job.muxer).filename() == "mkvmerge"
                             ? " (install mkvtoolnix, which brings it: apt install mkvtoolnix)"
                             : ""));
    // 0: done, 1: done with warnings; anything else failed.
    if (run.status > 1) {
        std::error_code ec;
        fs::remove(plan.output, ec);
        throw Error(ErrorKind::Muxer, job.muxer + " failed (exit " + std::to_string(run.status) + "):\n" +
                                          lastLines(run.output, 8));
    }

    // The check.
    ProgramRun identify = runProgram(job.muxer, {"-J", plan.output});
    if (identify.status != 0) {
        std::error_code ec;
        fs::remove(plan.output, ec);
        throw Error(ErrorKind::Muxer, job.muxer + " -J failed:\n" + lastLines(identify.output, 8));
    }
    std::vector<ExpectedTrack> expected;
    for (const auto& t : plan.tracks) expected.push_back({trackType(t.stream->kind), t.language, t.name});
    for (const auto& e : plan.extra) expected.push_back({e.type, e.language, e.name});
    outcome.check = checkIdentification(identify.output, expected, static_cast<int>(outcome.chapters.size()),
                                        titleSeconds);
    if (!outcome.check.mismatches.empty()) {
        std::error_code ec;
        fs::remove(plan.output, ec);
        std::string text = "the muxed file does not hold what was meant:";
        for (const auto& m : outcome.check.mismatches) text += "\n  " + m;
        throw Error(ErrorKind::Check, text);
    }
    giveFinalName(plan.output, job.output, job.replace);
    return outcome;
}

void giveFinalName(const std::string& temp, const std::string& output, bool replace) {
    std::error_code ec;
    int err = 0;
    if (replace) {
        fs::rename(temp, output, ec);
        err = ec.value();
    } else {
        err = renameNoReplace(temp, output);
    }
    if (err == 0) return;
    fs::remove(temp, ec);
    if (err == EEXIST) throw appearedMeanwhile(output);
    throw Error::cannotCreate(output, std::strerror(err));
}

} // namespace vantrel::mux
