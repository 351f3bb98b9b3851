#include "memory_window.h"

#include "engine/time_format.h"

namespace vantrel {

MemoryWindow::MemoryWindow() {
    options[Option::Continue] = true;
    options[Option::FastCheck] = true;
    options[Option::CountFrames] = true;
    fields[Field::VideoExt] = "mpv";
    fields[Field::AudioExt] = "mpa";
    fields[Field::SubExt] = "sup";
    buttons[Button::Check] = false;
    buttons[Button::ReadXPL] = false;
    buttons[Button::Demux] = false;
    buttons[Button::Rebuild] = true;
    buttons[Button::Cancel] = false;
    treeAddRoot("Video");
    treeAddRoot("Audio");
    treeAddRoot("Subpicture");
    treeAddRoot("Chapter");
}

void MemoryWindow::slog(const std::string& text, int p) {
    panel[p] = " " + text;
    if (p == 1) tooltip = text;
    statusLines.push_back(std::to_string(p) + ": " + text);
    if (onSlog) onSlog(text, p);
}

void MemoryWindow::processEvents() {
    ++processEventsCalls;
    if (onProcessEvents) onProcessEvents();
}

bool MemoryWindow::confirm(const std::string& title, const std::string& question) {
    questions.push_back(title + ": " + question);
    return confirmAnswer;
}

double MemoryWindow::now() {
    if (clock < 0) return localNowDays();
    double t = clock;
    clock += clockStep;
    return t;
}

std::string MemoryWindow::formatLongTime(double days) {
    return formatTimeOfDay(days, timeFormat);
}

void MemoryWindow::memoKeep(int first, int last) {
    keepLines(memo, first, last);
}

int MemoryWindow::treeAddRoot(const std::string& text) {
    tree.push_back({-1, text});
    return static_cast<int>(tree.size()) - 1;
}

int MemoryWindow::treeAddChild(int parent, const std::string& text) {
    tree.push_back({parent, text});
    return static_cast<int>(tree.size()) - 1;
}

std::vector<std::string> MemoryWindow::treeLines() const {
    std::vector<std::string> lines;
    // Depth-first in insertion order among siblings.
    std::function<void(int, int)> walk = [&](int parent, int depth) {
        for (std::size_t i = 0; i < tree.size(); ++i) {
            if (tree[i].parent != parent) continue;
            lines.push_back(std::string(static_cast<std::size_t>(depth) * 2, ' ') + tree[i].text);
            walk(static_cast<int>(i), depth + 1);
        }
    };
    walk(-1, 0);
    return lines;
}

} // namespace vantrel
