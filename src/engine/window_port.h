// The one door between the core and whatever shows it: the Qt window in the
// application, an in-memory window in the tests and the headless driver.
// The core never talks to a toolkit; everything it needs of the window is here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

// Option boxes of the "Options" page.
enum class Option { Continue, FastCheck, CountFrames };

// Single-line edits whose text the runs read (and source selection writes).
enum class Field { EVOfile, XPLfile, Workdir, VideoExt, AudioExt, SubExt };

// Buttons whose enabled state the core switches.
enum class Button { Check, ReadXPL, Demux, Rebuild, Cancel };

// Pages of the page control, by index.
enum class Page { Status = 0, Video = 1, Audio = 2, Subpicture = 3, XPL = 4, Options = 5 };

class WindowPort {
public:
    virtual ~WindowPort() = default;

    // The log (one line per call) and the status bar (panel 0 or 1).
    virtual void log(const std::string& text) = 0;
    virtual void slog(const std::string& text, int panel) = 0;

    // Controls the runs read at the moments they need them (the user may change
    // them while a run lets pending events through).
    virtual bool optionTicked(Option option) = 0;
    virtual std::string fieldText(Field field) = 0;
    virtual void setFieldText(Field field, const std::string& text) = 0;

    virtual void setButtonEnabled(Button button, bool enabled) = 0;
    virtual void showPage(Page page) = 0;

    // A stream box changed (enabled, tick, caption or tooltip); the window
    // mirrors the box state kept by the core.
    virtual void boxChanged(int box) = 0;

    // Let the window system deliver pending events (Cancel arrives here), and
    // repaint the whole window at once.
    virtual void processEvents() = 0;
    virtual void repaint() = 0;

    // A run over a source at the grain of its reads, for a window that draws a
    // progress line of its own (the command line's): sourceRunStarted as the run
    // begins, with its stage ("Demuxing FEATURE_1.EVO") and the position it
    // means to read up to, then sourceRead with the source's position after
    // each read, the last at that end. The Qt window keeps to the progress
    // points above (the status bar, every 4 MiB) and leaves these empty.
    virtual void sourceRunStarted(const std::string& /*stage*/, std::int64_t /*end*/) {}
    virtual void sourceRead(std::int64_t /*position*/) {}

    // Modal Yes/No question, No the default; true for Yes.
    virtual bool confirm(const std::string& title, const std::string& question) = 0;

    // Local date and time as days since 1899-12-30 00:00, the time of day as fraction.
    virtual double now() = 0;
    // The part below one day of a duration in days, in the user's long time format.
    virtual std::string formatLongTime(double days) = 0;

    // The playlist memo: lines, shown or hidden while it is filled.
    virtual void memoClear() = 0;
    virtual void memoAdd(const std::string& line) = 0;
    virtual void memoSetVisible(bool visible) = 0;
    virtual std::vector<std::string> memoLines() = 0;
    // Keep only the lines first..last (inclusive) of the memo.
    virtual void memoKeep(int first, int last) = 0;

    // The playlist tree: node handles are small integers handed out by the window.
    virtual void treeClear() = 0;
    virtual int treeAddRoot(const std::string& text) = 0;
    virtual int treeAddChild(int parent, const std::string& text) = 0;
};

// What memoKeep does to a memo held as lines: keeps lines first..last
// (inclusive, clipped to the memo); nothing when first > last.
inline void keepLines(std::vector<std::string>& lines, int first, int last) {
    if (first < 0) first = 0;
    if (last >= static_cast<int>(lines.size())) last = static_cast<int>(lines.size()) - 1;
    if (first > last) {
        lines.clear();
        return;
    }
    lines = std::vector<std::string>(lines.begin() + first, lines.begin() + last + 1);
}

} // namespace vantrel
