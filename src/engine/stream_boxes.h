// The 40 stream check boxes as the core keeps them; the window mirrors them.
// Box numbers: 0..7 cbVideo0..cbVideo7, 8..23 cbAudio00..cbAudio15,
// 24..39 cbSub00..cbSub15.
#pragma once

#include "names/stream_names.h"

#include <array>
#include <functional>
#include <string>
#include <string_view>

namespace vantrel {

struct BoxState {
    bool enabled = false;
    bool ticked = false;
    std::string caption;
    std::string tooltip;
};

class StreamBoxes {
public:
    static constexpr int kCount = 40;
    static constexpr int kFirstAudio = 8;
    static constexpr int kFirstSub = 24;

    static int videoBox(int index) { return index; }
    static int audioBox(int index) { return kFirstAudio + index; }
    static int subBox(int index) { return kFirstSub + index; }
    // The kind of stream a box stands for, and the box's number within its
    // kind (cbVideo3 3, cbAudio03 3, cbSub15 15).
    static StreamKind kindOf(int box) {
        return box < kFirstAudio ? StreamKind::Video
               : box < kFirstSub ? StreamKind::Audio
                                 : StreamKind::Subpicture;
    }
    static int indexOf(int box) {
        switch (kindOf(box)) {
        case StreamKind::Video: return box;
        case StreamKind::Audio: return box - kFirstAudio;
        default: return box - kFirstSub;
        }
    }

    // "cbVideo0", "cbAudio03", "cbSub15".
    static std::string name(int box);
    // Box number for a name, -1 when there is none.
    static int find(std::string_view name);
    // StreamTable slot tied to a box (1, 2, 17..32, 33..48), -1 for cbVideo2..cbVideo7.
    static int slotOf(int box);
    // Output file of a box (audio 0..15 -> 0..15, sub 0..15 -> 16..31,
    // video 0,1 -> 32,33), -1 for cbVideo2..cbVideo7.
    static int outputOf(int box);
    // The 34 boxes tied to slots, in the order the runs walk them:
    // cbVideo0, cbVideo1, cbAudio00..cbAudio15, cbSub00..cbSub15.
    static const std::array<int, 34>& tiedBoxes();

    static std::string designCaption(int box);
    static std::string resetCaption(int box);
    static std::string pageTooltip(int box);

    StreamBoxes();

    const BoxState& operator[](int box) const { return m_boxes[static_cast<std::size_t>(box)]; }
    bool ticked(int box) const { return m_boxes[static_cast<std::size_t>(box)].ticked; }
    bool anyTicked() const;

    void setEnabled(int box, bool enabled);
    // Runs the tick handler only when the tick really changes.
    void setTicked(int box, bool ticked);
    void setCaption(int box, const std::string& caption);
    void setTooltip(int box, const std::string& tooltip);

    // Called after every change of a box (for the window's mirror).
    std::function<void(int)> onChanged;
    // Called when a tick changes (cbVideoClick).
    std::function<void(int)> onTickChanged;

private:
    void changed(int box) {
        if (onChanged) onChanged(box);
    }
    std::array<BoxState, kCount> m_boxes;
};

} // namespace vantrel
