#include "playlist.h"

#include "playlist_items.h"
#include "tag_scanner.h"

#include "engine/click_handlers.h"
#include "engine/progress_text.h"
#include "engine/run_files.h"
#include "engine/run_scope.h"
#include "engine/stream_numbering.h"
#include "files/errors.h"
#include "names/stream_names.h"

#include <string>
#include <vector>

namespace vantrel {

namespace {

// Never leaves the memo hidden behind a run that ended early.
class HiddenMemo {
public:
    explicit HiddenMemo(WindowPort& window) : m_window(window) { m_window.memoSetVisible(false); }
    ~HiddenMemo() { show(); }
    HiddenMemo(const HiddenMemo&) = delete;
    HiddenMemo& operator=(const HiddenMemo&) = delete;
    void show() {
        if (m_hidden) m_window.memoSetVisible(true);
        m_hidden = false;
    }

private:
    WindowPort& m_window;
    bool m_hidden = true;
};

void setBox(Core& core, int box, const std::string& caption, bool withTooltip) {
    core.boxes.setEnabled(box, true);
    core.boxes.setTicked(box, true);
    core.boxes.setCaption(box, caption);
    if (withTooltip) core.boxes.setTooltip(box, caption);
}

struct TreeRoots {
    int info, video, audio, subtitle, chapter;
};

// An audio or subtitle element: the slot of its kind's stream numbers 1..16
// (index 0..15), its table, node and first box.
void listStream(Core& core, const std::string& line, int (*slotOf)(int), const AttrTable& table, int node,
                int firstBox) {
    const std::int32_t n = GetAttrInt(line, "streamNumber");
    const bool inRange = n >= 1 && n <= 16;
    if (inRange && core.streamTable[slotOf(n - 1)] != -1) return; // listed before in this title
    if (inRange) core.streamTable[slotOf(n - 1)] = 1;
    const std::string caption =
        streamCaption(attrEntry(table, GetAttrInt(line, "mediaAttr")), n, GetAttr(line, "description"));
    core.window.treeAddChild(node, caption);
    core.window.log(caption + " found!");
    if (inRange) setBox(core, firstBox + (n - 1), caption, true);
}

void buildTree(Core& core, const std::vector<std::string>& lines, LineSpan span,
               const std::string& playlistName) {
    WindowPort& w = core.window;
    w.treeClear();
    TreeRoots roots{w.treeAddRoot("Info"), w.treeAddRoot("Video"), w.treeAddRoot("Audio"),
                    w.treeAddRoot("Subtitle"), w.treeAddRoot("Chapter")};
    if (!playlistName.empty()) w.treeAddChild(roots.info, "Title: " + playlistName);

    for (int i = span.first; i <= span.last; ++i) {
        const std::string& line = lines[static_cast<std::size_t>(i)];
        const std::string upper = upperAscii(line);
        if (upper.find("<TITLE ") != std::string::npos) {
            w.treeAddChild(roots.info, "Name: " + GetAttr(line, "displayName"));
            w.treeAddChild(roots.info, "Duration: " + GetAttr(line, "titleDuration"));
        }
        if (upper.find("<VIDEO ") != std::string::npos) {
            const std::int32_t t = GetAttrInt(line, "track");
            const bool inRange = t >= 1 && t <= 16;
            if (!inRange || core.streamTable[videoSlot(t - 1)] == -1) {
                if (inRange) core.streamTable[videoSlot(t - 1)] = 1;
                const std::string caption =
                    videoCaption(attrEntry(core.videoAttr, GetAttrInt(line, "mediaAttr")), t);
                w.treeAddChild(roots.video, caption);
                w.log(caption + " found!");
                if (t == 1) setBox(core, StreamBoxes::videoBox(0), caption, false);
            }
        }
        if (upper.find("<AUDIO ") != std::string::npos)
            listStream(core, line, audioSlot, core.audioAttr, roots.audio, StreamBoxes::audioBox(0));
        if (upper.find("<SUBTITLE ") != std::string::npos)
            listStream(core, line, subpictureSlot, core.subpictureAttr, roots.subtitle,
                       StreamBoxes::subBox(0));
        if (upper.find("<CHAPTER ") != std::string::npos)
            w.treeAddChild(roots.chapter,
                           GetAttr(line, "titleTimeBegin") + ": " + GetAttr(line, "displayName"));
    }
}

} // namespace

void bReadXPLClick(Core& core) {
    RunScope scope(core);
    if (!scope.acquired()) return;
    WindowPort& w = core.window;

    Resetcbs(core);
    w.setButtonEnabled(Button::ReadXPL, false);
    w.showPage(Page::XPL);
    RunFiles files(core);
    const std::string path = w.fieldText(Field::XPLfile);
    try {
        files.openSource(path);
        refuseOversizedPlaylist(*core.sourceFile);
    } catch (...) {
        // The boxes stay reset; the user may pick another playlist.
        w.setButtonEnabled(Button::ReadXPL, true);
        throw;
    }
    ByteSource& file = *core.sourceFile;
    const std::int64_t size = file.size();
    w.log("Open " + core.XPLname);
    w.log("Filesize: " + std::to_string(size) + " bytes");

    std::string playlistName;
    TagScanner scanner;
    w.memoClear();
    HiddenMemo memo(w);

    const ItemTargets targets{playlistName, core.videoAttr, core.audioAttr, core.subpictureAttr};
    auto onLine = [&](const std::string& line) {
        w.memoAdd(line);
        applyItemRules(line, targets);
    };
    while (file.position() < size) {
        const std::size_t got = file.read(core.packBuffer.data(), core.packBuffer.size());
        w.slog(std::to_string(file.position()) + "/" + std::to_string(size) + " bytes", 1);
        scanner.feed(core.packBuffer.data(), got, onLine);
    }
    files.closeAll();
    core.streamTable.clear();

    const std::vector<std::string> lines = w.memoLines();
    if (const auto span = selectTitle(lines, core.EVObase)) {
        w.memoKeep(span->first, span->last);
        buildTree(core, lines, *span, playlistName);
    }

    memo.show();
    logRunDone(w);
    w.setButtonEnabled(Button::ReadXPL, true);
}

} // namespace vantrel
