#include "stream_boxes.h"

#include "names/two_digits.h"
#include "stream_numbering.h"

namespace vantrel {

std::string StreamBoxes::name(int box) {
    return streamBoxName(kindOf(box), indexOf(box));
}

int StreamBoxes::find(std::string_view boxName) {
    for (int box = 0; box < kCount; ++box)
        if (name(box) == boxName) return box;
    return -1;
}

// Only video boxes 0 and 1 stand for a stream: cbVideo2..cbVideo7 have none.
int StreamBoxes::slotOf(int box) {
    const int i = indexOf(box);
    switch (kindOf(box)) {
    case StreamKind::Video: return i < 2 ? videoSlot(i) : -1;
    case StreamKind::Audio: return audioSlot(i);
    default: return subpictureSlot(i);
    }
}

int StreamBoxes::outputOf(int box) {
    const int i = indexOf(box);
    switch (kindOf(box)) {
    case StreamKind::Video: return i < 2 ? videoOutput(i) : -1;
    case StreamKind::Audio: return audioOutput(i);
    default: return subOutput(i);
    }
}

const std::array<int, 34>& StreamBoxes::tiedBoxes() {
    static const std::array<int, 34> boxes = [] {
        std::array<int, 34> b{};
        std::size_t i = 0;
        b[i++] = 0;
        b[i++] = 1;
        for (int n = 0; n < 16; ++n) b[i++] = audioBox(n);
        for (int n = 0; n < 16; ++n) b[i++] = subBox(n);
        return b;
    }();
    return boxes;
}

std::string StreamBoxes::designCaption(int box) {
    switch (kindOf(box)) {
    case StreamKind::Video: return "Video stream";
    case StreamKind::Audio: return "Audio stream";
    default: return "Subpicture";
    }
}

std::string StreamBoxes::resetCaption(int box) {
    switch (kindOf(box)) {
    case StreamKind::Video: return "No video stream";
    case StreamKind::Audio: return "No audio stream";
    default: return "No subpicture";
    }
}

std::string StreamBoxes::pageTooltip(int box) {
    switch (kindOf(box)) {
    case StreamKind::Video: return "Check the desired video stream";
    case StreamKind::Audio: return "Check the desired audio streams";
    default: return "Check the desired subpicture streams";
    }
}

StreamBoxes::StreamBoxes() {
    for (int box = 0; box < kCount; ++box) {
        auto& b = m_boxes[static_cast<std::size_t>(box)];
        b.caption = designCaption(box);
        b.tooltip = pageTooltip(box);
    }
}

bool StreamBoxes::anyTicked() const {
    for (const auto& b : m_boxes)
        if (b.ticked) return true;
    return false;
}

void StreamBoxes::setEnabled(int box, bool enabled) {
    auto& b = m_boxes[static_cast<std::size_t>(box)];
    if (b.enabled == enabled) return;
    b.enabled = enabled;
    changed(box);
}

void StreamBoxes::setTicked(int box, bool ticked) {
    auto& b = m_boxes[static_cast<std::size_t>(box)];
    if (b.ticked == ticked) return;
    b.ticked = ticked;
    changed(box);
    if (onTickChanged) onTickChanged(box);
}

void StreamBoxes::setCaption(int box, const std::string& caption) {
    auto& b = m_boxes[static_cast<std::size_t>(box)];
    if (b.caption == caption) return;
    b.caption = caption;
    changed(box);
}

void StreamBoxes::setTooltip(int box, const std::string& tooltip) {
    auto& b = m_boxes[static_cast<std::size_t>(box)];
    if (b.tooltip == tooltip) return;
    b.tooltip = tooltip;
    changed(box);
}

} // namespace vantrel
