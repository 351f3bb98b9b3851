// vantrel-bench: drives the runs without a window. It sets the controls, then
// presses the buttons in the order given, like a user:
//
//   vantrel-bench [options] STEP...      STEP: read-evo | demux | read-xpl | rebuild
//
// Log lines go to stdout exactly as the window's log shows them; status-bar
// lines and the timing of each step go to stderr.
#include "engine/click_handlers.h"
#include "engine/core.h"
#include "files/errors.h"
#include "files/file_layer.h"
#include "playlist/playlist.h"
#include "rebuild/rebuild.h"
#include "runs/runs.h"
#include "runs/source_selection.h"
#include "support/memory_window.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace vantrel;

const char* const kUsage =
    "usage: vantrel-bench [options] STEP...\n"
    "  STEP: read-evo | demux | read-xpl | rebuild (pressed in the order given)\n"
    "options:\n"
    "  --evo PATH          choose the source (EVO field, then its derivations)\n"
    "  --xpl PATH          choose the playlist (XPL field, then its derivations)\n"
    "  --workdir DIR       output folder\n"
    "  --no-continue       untick \"Continue with second  EVO\"\n"
    "  --no-fast-check     untick \"Fast EVO checking\"\n"
    "  --no-count-frames   untick \"Count frames\"\n"
    "  --video-ext E, --audio-ext E, --sub-ext E   output extensions\n"
    "  --tick NAME[,NAME...], --untick NAME[,NAME...]\n"
    "                      tick or untick stream boxes (cbVideo0, cbAudio03, cbSub00 ...);\n"
    "                      applied after the step before them\n"
    "  --time-format FMT   long time format (default h:mm:ss)\n"
    "  --dump              after each step: boxes, panels, buttons, memo and tree on stdout\n"
    "output: log lines on stdout; panel lines and 'step NAME: S s, B bytes read, M MB/s' on\n"
    "stderr; an error ending a step prints 'error: TEXT' on stderr and exits 2; a file that\n"
    "a step left open prints 'still open after step NAME: PATH' and exits 3\n";

// The regular files the process has open besides the standard streams (file
// descriptor and name). No file that a step opens stays open after it,
// whatever way the step ended.
std::vector<std::string> openRegularFiles() {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc/self/fd", ec)) {
        const std::string fd = entry.path().filename().string();
        if (fd == "0" || fd == "1" || fd == "2") continue;
        std::error_code ignored;
        if (!fs::is_regular_file(entry.path(), ignored)) continue;
        names.push_back(fd + " " + fs::read_symlink(entry.path(), ignored).string());
    }
    return names;
}

// The in-memory window that also notes how far each opened source was read:
// every call the core makes into the window samples SourceFile's position,
// and the pack loop's last call (disabling Cancel) comes after its last read.
class BenchWindow : public MemoryWindow {
public:
    Core* core = nullptr;

    void log(const std::string& text) override {
        sample();
        MemoryWindow::log(text);
    }
    void slog(const std::string& text, int p) override {
        sample();
        MemoryWindow::slog(text, p);
    }
    void setButtonEnabled(Button button, bool enabled) override {
        sample();
        MemoryWindow::setButtonEnabled(button, enabled);
    }
    void processEvents() override {
        sample();
        MemoryWindow::processEvents();
    }
    void boxChanged(int box) override {
        sample();
        MemoryWindow::boxChanged(box);
    }

    // Bytes read from the sources opened since the last call.
    std::int64_t takeBytesRead() {
        sample();
        std::int64_t total = m_closedBytes + m_currentBytes;
        m_closedBytes = 0;
        m_currentBytes = 0;
        m_current = nullptr;
        return total;
    }

private:
    void sample() {
        if (core == nullptr) return;
        const ByteSource* file = core->sourceFile.get();
        // Another file (or none): the previous one's count is final. A file
        // opened in place of a freed one may get its address; it starts at 0.
        bool another =
            file != m_current ||
            (file != nullptr && (file->position() < m_currentBytes || file->path() != m_currentPath));
        if (another) {
            m_closedBytes += m_currentBytes;
            m_currentBytes = 0;
            m_current = file;
            m_currentPath = file != nullptr ? file->path() : std::string();
        }
        if (file != nullptr && file->position() > m_currentBytes) m_currentBytes = file->position();
    }

    const ByteSource* m_current = nullptr;
    std::string m_currentPath;
    std::int64_t m_currentBytes = 0;
    std::int64_t m_closedBytes = 0;
};

struct Action {
    enum Kind { Step, Evo, Xpl, Untick, Tick, SetField, Clear } kind;
    std::string value;
    Field field = Field::Workdir;
    Option option = Option::Continue;
};

std::vector<std::string> splitNames(const std::string& list) {
    std::vector<std::string> names;
    std::stringstream in(list);
    std::string name;
    while (std::getline(in, name, ','))
        if (!name.empty()) names.push_back(name);
    return names;
}

const char* buttonName(Button button) {
    switch (button) {
    case Button::Check: return "bCheck";
    case Button::ReadXPL: return "bReadXPL";
    case Button::Demux: return "bDemux";
    case Button::Rebuild: return "bRebuild";
    case Button::Cancel: return "bCancel";
    }
    return "?";
}

void dump(BenchWindow& window, const Core& core) {
    for (int box = 0; box < StreamBoxes::kCount; ++box) {
        const BoxState& b = core.boxes[box];
        std::cout << "box " << StreamBoxes::name(box) << (b.enabled ? " enabled" : " disabled")
                  << (b.ticked ? " ticked " : " unticked ") << b.caption << '\n';
    }
    std::cout << "panel0 " << window.panel[0] << '\n' << "panel1 " << window.panel[1] << '\n';
    for (Button button : {Button::Check, Button::ReadXPL, Button::Demux, Button::Rebuild, Button::Cancel})
        std::cout << "button " << buttonName(button) << (window.buttons[button] ? " enabled" : " disabled")
                  << '\n';
    for (const std::string& line : window.memo) std::cout << "memo " << line << '\n';
    for (const std::string& line : window.treeLines()) std::cout << "tree " << line << '\n';
    std::cout.flush();
}

int usageError(const std::string& message) {
    std::cerr << "vantrel-bench: " << message << '\n' << kUsage;
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    setUpFileLayer();
    BenchWindow window;
    Core core(window);
    window.core = &core;

    std::vector<Action> actions;
    bool wantDump = false;
    int steps = 0;
    auto needValue = [&](int& i, std::string& value) {
        if (i + 1 >= argc) return false;
        value = argv[++i];
        return true;
    };

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "read-evo" || arg == "demux" || arg == "read-xpl" || arg == "rebuild") {
            actions.push_back({Action::Step, arg});
            ++steps;
        } else if (arg == "--dump") {
            wantDump = true;
        } else if (arg == "--no-continue" || arg == "--no-fast-check" || arg == "--no-count-frames") {
            Action a{Action::Clear, arg};
            a.option = arg == "--no-continue"     ? Option::Continue
                       : arg == "--no-fast-check" ? Option::FastCheck
                                                  : Option::CountFrames;
            actions.push_back(a);
        } else if (arg == "--evo" || arg == "--xpl" || arg == "--workdir" || arg == "--video-ext" ||
                   arg == "--audio-ext" || arg == "--sub-ext" || arg == "--tick" || arg == "--untick" ||
                   arg == "--time-format") {
            if (!needValue(i, value)) return usageError(arg + " needs a value");
            if (arg == "--evo") {
                actions.push_back({Action::Evo, value});
            } else if (arg == "--xpl") {
                actions.push_back({Action::Xpl, value});
            } else if (arg == "--tick" || arg == "--untick") {
                for (const std::string& name : splitNames(value))
                    if (StreamBoxes::find(name) < 0) return usageError("no stream box named " + name);
                actions.push_back({arg == "--tick" ? Action::Tick : Action::Untick, value});
            } else if (arg == "--time-format") {
                window.timeFormat = value;
            } else {
                Action a{Action::SetField, value};
                a.field = arg == "--workdir"     ? Field::Workdir
                          : arg == "--video-ext" ? Field::VideoExt
                          : arg == "--audio-ext" ? Field::AudioExt
                                                 : Field::SubExt;
                actions.push_back(a);
            }
        } else {
            return usageError("unknown argument " + arg);
        }
    }
    if (steps == 0) return usageError("no step given");

    // Progress and state words on stderr, the log on stdout, as they come.
    window.onLog = [](const std::string& text) { std::cout << text << '\n'; };
    window.onSlog = [](const std::string& text, int p) {
        std::cout.flush();
        std::cerr << "panel" << p << ' ' << text << '\n';
    };

    // What the window does when it is first shown: the boxes start reset.
    Resetcbs(core);

    for (const Action& action : actions) {
        switch (action.kind) {
        case Action::Evo:
            window.setFieldText(Field::EVOfile, action.value);
            EVOadj(core);
            break;
        case Action::Xpl:
            window.setFieldText(Field::XPLfile, action.value);
            XPLadj(core);
            break;
        case Action::SetField: window.setFieldText(action.field, action.value); break;
        case Action::Clear: window.options[action.option] = false; break;
        case Action::Tick:
        case Action::Untick:
            for (const std::string& name : splitNames(action.value))
                core.boxes.setTicked(StreamBoxes::find(name), action.kind == Action::Tick);
            break;
        case Action::Step: {
            const std::string& step = action.value;
            Button button = step == "read-evo"   ? Button::Check
                            : step == "demux"    ? Button::Demux
                            : step == "read-xpl" ? Button::ReadXPL
                                                 : Button::Rebuild;
            if (!window.buttons[button]) {
                std::cout.flush();
                std::cerr << "vantrel-bench: " << buttonName(button) << " is disabled; step " << step
                          << " cannot be pressed\n";
                return 1;
            }
            window.takeBytesRead();
            const std::vector<std::string> openBefore = openRegularFiles();
            std::string failure;
            auto t0 = std::chrono::steady_clock::now();
            try {
                if (step == "read-evo")
                    bCheckClick(core);
                else if (step == "demux")
                    bDemuxClick(core);
                else if (step == "read-xpl")
                    bReadXPLClick(core);
                else
                    bRebuildClick(core);
            } catch (const std::exception& e) {
                failure = errorText(e);
            }
            double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            std::int64_t bytes = window.takeBytesRead();
            double mbPerSecond = seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0.0;
            std::cout.flush();
            char line[160];
            std::snprintf(line, sizeof line, "step %s: %.3f s, %lld bytes read, %.1f MB/s", step.c_str(),
                          seconds, static_cast<long long>(bytes), mbPerSecond);
            std::cerr << line << '\n';
            if (wantDump) dump(window, core);
            bool stillOpen = false;
            for (const std::string& file : openRegularFiles()) {
                if (std::find(openBefore.begin(), openBefore.end(), file) != openBefore.end()) continue;
                std::cerr << "vantrel-bench: still open after step " << step << ": "
                          << file.substr(file.find(' ') + 1) << '\n';
                stillOpen = true;
            }
            if (!failure.empty()) {
                std::cerr << "error: " << failure << '\n';
            }
            if (stillOpen) return 3;
            if (!failure.empty()) return 2;
            break;
        }
        }
    }
    return 0;
}
