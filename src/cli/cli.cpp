#include "cli.h"

#include "files/disc_image.h"
#include "files/errors.h"
#include "version.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ostream>

namespace vantrel::cli {

namespace {

double secondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string clockText(double seconds) {
    if (seconds < 0) seconds = 0;
    const long long s = static_cast<long long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

// Ends a command that failed: "error: TEXT" on stderr and, with --json, the
// object {"error": TEXT, "exit": CODE} on stdout for a script to read.
int failed(std::ostream& out, std::ostream& err, bool json, const std::string& text, int code,
           const std::string& hint = {}) {
    err << (code == kExitInterrupted ? text : "error: " + text) << '\n';
    if (!hint.empty()) err << hint << '\n';
    if (json) {
        nlohmann::ordered_json j;
        j["error"] = text;
        j["exit"] = code;
        out << j.dump(2) << '\n' << std::flush;
    }
    return code;
}

} // namespace

int exitCodeOf(ErrorKind kind) {
    // The one place a kind of failure becomes an exit code.
    struct Row {
        ErrorKind kind;
        ExitCode code;
    };
    static constexpr Row kRows[] = {
        {ErrorKind::Usage, kExitUsage},
        {ErrorKind::InputUnreadable, kExitInputUnreadable},
        {ErrorKind::NotFound, kExitNotFound},
        {ErrorKind::Output, kExitOutputFailed},
        {ErrorKind::Muxer, kExitMuxerFailed},
        {ErrorKind::Check, kExitCheckMismatch},
        {ErrorKind::Interrupted, kExitInterrupted},
    };
    for (const Row& row : kRows)
        if (row.kind == kind) return row.code;
    return kExitOutputFailed;
}

std::string stageLabel(std::string stage) {
    if (!stage.empty() && stage[0] >= 'A' && stage[0] <= 'Z')
        stage[0] = static_cast<char>(stage[0] - 'A' + 'a');
    return stage;
}

Console::Console(std::ostream& err, bool quiet, bool terminal)
    : m_err(err), m_quiet(quiet), m_terminal(terminal) {}

void Console::warning(const std::string& text) {
    ++m_warnings;
    if (m_summary.add(text) && !m_verbose) return;
    clearLine();
    m_err << "warning: " << text << '\n';
}

void Console::summaryWarning(const std::string& text) {
    ++m_warnings;
    if (m_quiet) return;
    clearLine();
    m_err << "warning: " << text << '\n';
}

void Console::printSummaries() {
    std::vector<std::string> lines = m_summary.lines();
    m_summary.clear();
    if (m_quiet) return;
    for (const std::string& line : lines) {
        clearLine();
        m_err << "warning: " << line << '\n';
    }
}

void Console::note(const std::string& text) {
    if (m_quiet) return;
    clearLine();
    m_err << text << '\n';
}

void Console::progressStart(const std::string& label, std::int64_t size) {
    m_label = label;
    m_size = size;
    m_start = secondsNow();
    m_lastDraw = -1;
}

void Console::progressUpdate(std::int64_t position) {
    if (!progressShown()) return;
    const double now = secondsNow();
    if (m_lastDraw >= 0 && now - m_lastDraw < 0.25 && position < m_size) return;
    m_lastDraw = now;
    const double elapsed = now - m_start;
    // A run that stops early (a fast scan) may read past the end it named.
    const std::int64_t at = std::min(position, std::max<std::int64_t>(m_size, 0));
    const double percent = m_size > 0 ? 100.0 * static_cast<double>(at) / static_cast<double>(m_size) : 100.0;
    char line[256];
    if (at <= 0 && m_size > 0) {
        // Nothing read yet: no rate, no estimate.
        std::snprintf(line, sizeof line, "\r\033[K%s   0%%", m_label.c_str());
    } else {
        const double rate = elapsed > 0 ? static_cast<double>(at) / 1e6 / elapsed : 0.0;
        const double left =
            elapsed * static_cast<double>(m_size - at) / static_cast<double>(std::max<std::int64_t>(at, 1));
        std::snprintf(line, sizeof line, "\r\033[K%s %3.0f%% %.1f MB/s %s left", m_label.c_str(), percent,
                      rate, clockText(left).c_str());
    }
    m_err << line << std::flush;
    m_drawn = true;
}

void Console::progressPercent(const std::string& label, int percent) {
    if (label != m_label || m_size != -1) {
        clearLine();
        m_label = label;
        m_size = -1; // no byte count: no rate
        m_start = secondsNow();
        m_lastDraw = -1;
    }
    if (!progressShown()) return;
    const double now = secondsNow();
    if (m_lastDraw >= 0 && now - m_lastDraw < 0.25 && percent < 100) return;
    m_lastDraw = now;
    const double elapsed = now - m_start;
    char line[256];
    if (percent <= 0) {
        std::snprintf(line, sizeof line, "\r\033[K%s   0%%", m_label.c_str()); // no estimate yet
    } else {
        const double left = elapsed * (100.0 - percent) / percent;
        std::snprintf(line, sizeof line, "\r\033[K%s %3d%% %s left", m_label.c_str(), percent,
                      clockText(left).c_str());
    }
    m_err << line << std::flush;
    m_drawn = true;
}

void Console::progressEnd() {
    clearLine();
}

void Console::clearLine() {
    if (!m_drawn) return;
    m_err << "\r\033[K" << std::flush;
    m_drawn = false;
}

ParsedArgs parseArgs(const std::vector<std::string>& args, const std::vector<std::string_view>& valueOptions,
                     const std::vector<std::string_view>& flagOptions) {
    ParsedArgs parsed;
    auto isIn = [](const std::vector<std::string_view>& list, const std::string& name) {
        for (std::string_view o : list)
            if (o == name) return true;
        return false;
    };
    bool onlyPositional = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyPositional || arg.size() < 2 || arg[0] != '-') {
            parsed.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyPositional = true;
            continue;
        }
        std::string name = arg;
        std::string value;
        bool inlineValue = false;
        if (auto eq = arg.find('='); eq != std::string::npos && arg.rfind("--", 0) == 0) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        if (isIn(valueOptions, name)) {
            if (!inlineValue) {
                if (i + 1 >= args.size()) throw Error(ErrorKind::Usage, name + " needs a value");
                value = args[++i];
            }
            parsed.values[name] = value;
        } else if (isIn(flagOptions, name) && !inlineValue) {
            parsed.flags.insert(name);
        } else {
            throw Error(ErrorKind::Usage, "unknown option " + name);
        }
    }
    return parsed;
}

int positiveNumber(const std::string& option, const std::string& text) {
    long long n = 0;
    if (text.empty() || text.size() > 9)
        throw Error(ErrorKind::Usage, option + " needs a whole number, not \"" + text + "\"");
    for (char c : text) {
        if (c < '0' || c > '9')
            throw Error(ErrorKind::Usage, option + " needs a whole number, not \"" + text + "\"");
        n = n * 10 + (c - '0');
    }
    if (n == 0) throw Error(ErrorKind::Usage, option + " counts from 1");
    return static_cast<int>(n);
}

std::string overallHelp() {
    std::string text = "usage: vantrel-cli [--quiet] [--json] [--verbose] COMMAND [ARGS...]\n"
                       "       vantrel-cli --version\n"
                       "\n"
                       "Splits HD DVD EVO and DVD VOB program streams and reads HD DVD playlists,\n"
                       "on the same core as the vantrel window.\n"
                       "\n"
                       "commands:\n";
    for (const Command* c : commandTable()) {
        std::string name(c->name);
        text += "  " + name + std::string(name.size() < 10 ? 10 - name.size() : 1, ' ') +
                std::string(c->summary) + "\n";
    }
    text += "\n"
            "global options:\n"
            "  --quiet   no progress line, notes, skipped-unit summaries or run log\n"
            "  --json    machine-readable output on stdout (see docs/cli-json.md)\n"
            "  --verbose every warning of every subpicture unit, not one line per stream\n"
            "  --help    this text; COMMAND --help for a command's own\n"
            "  --version the program's version\n"
            "\n"
            "exit codes:\n"
            "  0    done\n"
            "  1    done, with warnings (each printed as \"warning: ...\")\n"
            "  2    bad command line\n"
            "  3    input missing or unreadable, or not a program stream or disc\n"
            "  4    playlist missing where needed, or title not found\n"
            "  5    output not written: it is an input, exists (see --force), or a write failed\n"
            "  6    mkvmerge missing or failing (mkv)\n"
            "  7    the muxed file does not hold what was meant (mkv)\n"
            "  130  interrupted (Ctrl+C or SIGTERM); unfinished outputs are removed\n";
    return text;
}

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool stderrIsTerminal) {
    GlobalOptions options;
    std::vector<std::string> rest;
    bool help = false;
    // Global options may stand before or after the command's name.
    bool afterDashes = false;
    for (const std::string& a : args) {
        if (!afterDashes && a == "--quiet")
            options.quiet = true;
        else if (!afterDashes && a == "--json")
            options.json = true;
        else if (!afterDashes && a == "--verbose")
            options.verbose = true;
        else {
            if (a == "--") afterDashes = true;
            rest.push_back(a);
        }
    }
    if (!rest.empty() && rest[0] == "--version") {
        out << "vantrel-cli " << VANTREL_VERSION << '\n';
        return kExitOk;
    }
    if (rest.empty() || rest[0] == "--help" || rest[0] == "-h" || rest[0] == "help") {
        if (rest.size() >= 2 && rest[0] == "help") {
            rest = {rest[1], "--help"};
        } else {
            out << overallHelp();
            return rest.empty() ? kExitUsage : kExitOk;
        }
    }
    const Command* command = nullptr;
    for (const Command* c : commandTable())
        if (c->name == rest[0]) command = c;
    if (command == nullptr) {
        return failed(out, err, options.json,
                      "unknown command " + rest[0] + " (vantrel-cli --help lists them)", kExitUsage);
    }
    std::vector<std::string> commandArgs(rest.begin() + 1, rest.end());
    for (const std::string& a : commandArgs) {
        if (a == "--") break;
        help = help || a == "--help" || a == "-h";
    }
    if (help) {
        out << command->help;
        return kExitOk;
    }
    Console console(err, options.quiet, stderrIsTerminal);
    console.setVerbose(options.verbose);
    Context context{options, commandArgs, out, console};
    // A disc image is read once per command, however often the command looks into it.
    const VolumeScope volumes;
    try {
        int code = command->run(context);
        console.progressEnd();
        console.printSummaries();
        out.flush();
        if (!out) {
            err << "error: Stream write error\n";
            return kExitOutputFailed;
        }
        return code == kExitOk && console.warned() ? kExitWarnings : code;
    } catch (const Error& e) {
        console.progressEnd();
        out.flush();
        // A failed write names its file and the system's reason here (the window says only "Stream write
        // error").
        const std::string text = e.kind() == ErrorKind::Interrupted ? "interrupted" : e.detail();
        const std::string hint = e.kind() == ErrorKind::Usage ? "(vantrel-cli " + std::string(command->name) +
                                                                    " --help shows the usage)"
                                                              : std::string();
        return failed(out, err, options.json, text, exitCodeOf(e.kind()), hint);
    }
}

} // namespace vantrel::cli
