// The command line's frame: exit codes and the failures they stand for, the
// console that prints errors, warnings and progress, and the command table.
// A command is a file of its own (cmd_NAME.cpp) defining one Command and a row
// in command_table.cpp.
#pragma once

#include "files/errors.h"
#include "warning_summary.h"

#include <cstdint>
#include <iosfwd>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::cli {

// Exit codes of vantrel-cli.
enum ExitCode : int {
    kExitOk = 0,
    kExitWarnings = 1,        // done, with warnings printed as "warning: ..."
    kExitUsage = 2,           // bad command line
    kExitInputUnreadable = 3, // input missing or unreadable, or not a program stream
    kExitNotFound = 4,        // playlist missing where needed, or title not found
    kExitOutputFailed = 5,    // output could not be written
    kExitMuxerFailed = 6,     // mkvmerge missing or failing
    kExitCheckMismatch = 7,   // the muxed file does not hold what was meant
    kExitInterrupted = 130,   // Ctrl+C or SIGTERM
};

// A command ends early by throwing an Error (files/errors.h): runCli prints
// "error: TEXT" on stderr and exits with the code of its kind.
int exitCodeOf(ErrorKind kind);

struct GlobalOptions {
    bool quiet = false;   // no progress line, no notes on stderr, no run log on stdout
    bool json = false;    // machine-readable output on stdout
    bool verbose = false; // every per-unit warning, not only the summary of its stream
};

// stderr as the commands use it: warnings (remembered for the exit code),
// notes, and the progress line, which is drawn only on a terminal.
class Console {
public:
    Console(std::ostream& err, bool quiet, bool terminal);

    // A per-unit warning is summed into its stream's line (printed by
    // printSummaries(), at the end) and printed itself only when verbose.
    void warning(const std::string& text);
    // A stream's summed line made by the command itself; like the lines of
    // printSummaries() it counts for the exit code but --quiet leaves it out.
    void summaryWarning(const std::string& text);
    void setVerbose(bool verbose) { m_verbose = verbose; }
    void printSummaries();
    void note(const std::string& text); // informational, left out with --quiet
    bool warned() const { return m_warnings > 0; }

    // The progress line: LABEL NN% X.X MB/s H:MM:SS left. start() begins a
    // stretch of work (a file) up to `size` bytes; update() redraws at most a
    // few times a second, and always once `size` is reached.
    void progressStart(const std::string& label, std::int64_t size);
    void progressUpdate(std::int64_t position);
    // A stage that reports only its percent (mkvmerge's own progress): LABEL NN% H:MM:SS left.
    void progressPercent(const std::string& label, int percent);
    void progressEnd();
    bool progressShown() const { return m_terminal && !m_quiet; }

private:
    void clearLine();
    std::ostream& m_err;
    bool m_quiet;
    bool m_terminal;
    bool m_verbose = false;
    int m_warnings = 0;
    WarningSummary m_summary;
    std::string m_label;
    std::int64_t m_size = 0;
    double m_start = 0;
    double m_lastDraw = -1;
    bool m_drawn = false;
};

// A stage as the core or the muxer names it ("Demuxing FEATURE_1.EVO") as a
// progress label: "demuxing FEATURE_1.EVO".
std::string stageLabel(std::string stage);

// The arguments of one command, split by the command's option lists.
struct ParsedArgs {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    std::set<std::string> flags;

    bool has(const std::string& name) const { return values.count(name) > 0 || flags.count(name) > 0; }
    std::string value(const std::string& name, const std::string& fallback = {}) const {
        auto it = values.find(name);
        return it == values.end() ? fallback : it->second;
    }
};
// "--name value", "--name=value" and flags; anything else starting with "-" is a
// usage failure, as is a value option without its value.
ParsedArgs parseArgs(const std::vector<std::string>& args, const std::vector<std::string_view>& valueOptions,
                     const std::vector<std::string_view>& flagOptions);
// A whole positive number for an option such as --title; a usage failure otherwise.
int positiveNumber(const std::string& option, const std::string& text);

struct Context {
    GlobalOptions options;
    std::vector<std::string> args; // after the command's name
    std::ostream& out;
    Console& console;
};

struct Command {
    std::string_view name;
    std::string_view summary; // one line for the overall help
    std::string_view help;    // the command's --help text
    int (*run)(Context&);     // gives the exit code (kExitOk or kExitWarnings) or throws Error
};

// Every command, in the order the overall help lists them.
const std::vector<const Command*>& commandTable();

// The overall --help text.
std::string overallHelp();

// Runs the program: parses global options and dispatches; returns the exit code.
int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool stderrIsTerminal);

} // namespace vantrel::cli
