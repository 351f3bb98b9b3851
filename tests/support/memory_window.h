// An in-memory window for tests and the headless driver: it records every log
// and status line, holds the option boxes, fields, buttons, memo and tree, and
// lets a test act at the moments a run lets pending events through.
#pragma once

#include "engine/window_port.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vantrel {

class MemoryWindow : public WindowPort {
public:
    MemoryWindow();

    void log(const std::string& text) override {
        logLines.push_back(text);
        if (onLog) onLog(text);
    }
    void slog(const std::string& text, int panel) override;
    bool optionTicked(Option option) override { return options[option]; }
    std::string fieldText(Field field) override { return fields[field]; }
    void setFieldText(Field field, const std::string& text) override { fields[field] = text; }
    void setButtonEnabled(Button button, bool enabled) override { buttons[button] = enabled; }
    void showPage(Page page) override { activePage = page; }
    void boxChanged(int box) override { boxChanges.push_back(box); }
    void processEvents() override;
    void repaint() override { ++repaints; }
    bool confirm(const std::string& title, const std::string& question) override;
    double now() override;
    std::string formatLongTime(double days) override;

    void memoClear() override { memo.clear(); }
    void memoAdd(const std::string& line) override { memo.push_back(line); }
    void memoSetVisible(bool visible) override {
        memoVisible = visible;
        memoVisibility.push_back(visible);
    }
    std::vector<std::string> memoLines() override { return memo; }
    void memoKeep(int first, int last) override;

    void treeClear() override { tree.clear(); }
    int treeAddRoot(const std::string& text) override;
    int treeAddChild(int parent, const std::string& text) override;

    // The tree as lines: two blanks per level, then the node text.
    std::vector<std::string> treeLines() const;

    // State, open to the test.
    std::vector<std::string> logLines;
    std::vector<std::string> statusLines; // every slog: "0: text" / "1: text"
    std::string panel[2] = {" Ready", " Select or drop an EVO file to demux"};
    std::string tooltip = " Select or drop an EVO file to demux";
    std::map<Option, bool> options;
    std::map<Field, std::string> fields;
    std::map<Button, bool> buttons;
    Page activePage = Page::Status;
    std::vector<int> boxChanges;
    int processEventsCalls = 0;
    int repaints = 0;
    std::vector<std::string> memo;
    bool memoVisible = true;
    std::vector<bool> memoVisibility;
    struct Node {
        int parent;
        std::string text;
    };
    std::vector<Node> tree;

    std::string timeFormat = "h:mm:ss";
    // A fixed clock when set (days), advanced by clockStep at every reading.
    double clock = -1;
    double clockStep = 0;
    // Answer of the modal question; questions asked are recorded.
    bool confirmAnswer = false;
    std::vector<std::string> questions;

    std::function<void()> onProcessEvents;
    std::function<void(const std::string&)> onLog;
    std::function<void(const std::string&, int)> onSlog;
};

} // namespace vantrel
