// The core's window as the command line provides it: no window at all. The
// log is collected (and echoed where the command wants it), the option boxes
// and fields are set by the command, the pack loop's calls to let pending
// events through look for Ctrl+C, and its reads drive the terminal's progress
// line ("demuxing FEATURE_1.EVO 42% ..."), from the first read to the last.
#pragma once

#include "cli.h"
#include "engine/core.h"
#include "engine/window_port.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vantrel::cli {

class TerminalWindow : public WindowPort {
public:
    explicit TerminalWindow(Console& console);

    // The core a Ctrl+C stops.
    void follow(Core& core) { m_core = &core; }

    void log(const std::string& text) override;
    void slog(const std::string&, int) override {}
    bool optionTicked(Option option) override { return options[option]; }
    std::string fieldText(Field field) override { return fields[field]; }
    void setFieldText(Field field, const std::string& text) override { fields[field] = text; }
    void setButtonEnabled(Button, bool) override {}
    void showPage(Page) override {}
    void boxChanged(int) override {}
    void processEvents() override;
    void repaint() override {}
    void sourceRunStarted(const std::string& stage, std::int64_t end) override;
    void sourceRead(std::int64_t position) override;
    bool confirm(const std::string&, const std::string&) override { return false; }
    double now() override;
    std::string formatLongTime(double days) override;

    void memoClear() override { m_memo.clear(); }
    void memoAdd(const std::string& line) override { m_memo.push_back(line); }
    void memoSetVisible(bool) override {}
    std::vector<std::string> memoLines() override { return m_memo; }
    void memoKeep(int first, int last) override;
    void treeClear() override {}
    int treeAddRoot(const std::string&) override { return ++m_nodes; }
    int treeAddChild(int, const std::string&) override { return ++m_nodes; }

    // The log lines of the runs so far.
    std::vector<std::string> logLines;
    // Called with every log line as it comes.
    std::function<void(const std::string&)> onLog;

    // The window's defaults: continue into the second part, fast checking,
    // frame counting, extensions mpv/mpa/sup.
    std::map<Option, bool> options;
    std::map<Field, std::string> fields;

private:
    Console& m_console;
    Core* m_core = nullptr;
    std::vector<std::string> m_memo;
    int m_nodes = 0;
};

} // namespace vantrel::cli
