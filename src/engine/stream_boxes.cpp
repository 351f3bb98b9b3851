#include "stream_boxes.h"

#include "two_digits.h"

namespace vantrel {

std::string StreamBoxes::name(int box) {
    if (box < kFirstAudio) return "cbVideo" + std::to_string(box);
    if (box < kFirstSub) return "cbAudio" + twoDigits(box - kFirstAudio);
    return "cbSub" + twoDigits(box - kFirstSub);
}

int StreamBoxes::find(std::string_view boxName) {
    for (int box = 0; box < kCount; ++box)
        if (name(box) == boxName) return box;
    return -1;
}

int StreamBoxes::slotOf(int box) {
    if (box < 2) return 1 + box;
    if (box < kFirstAudio) return -1;
    if (box < kFirstSub) return 17 + (box - kFirstAudio);
    return 33 + (box - kFirstSub);
}

int StreamBoxes::outputOf(int box) {
    if (box < 2) return 32 + box;
    if (box < kFirstAudio) return -1;
    if (box < kFirstSub) return box - kFirstAudio;
    return 16 + (box - kFirstSub);
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
    if (box < kFirstAudio) return "Video stream";
    if (box < kFirstSub) return "Audio stream";
    return "Subpicture";
}

std::string StreamBoxes::resetCaption(int box) {
    if (box < kFirstAudio) return "No video stream";
    if (box < kFirstSub) return "No audio stream";
    return "No subpicture";
}

std::string StreamBoxes::pageTooltip(int box) {
    if (box < kFirstAudio) return "Check the desired video stream";
    if (box < kFirstSub) return "Check the desired audio streams";
    return "Check the desired subpicture streams";
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
