#include "stream_names.h"

#include "packets/stream_ids.h"
#include "two_digits.h"

namespace vantrel {

std::string VideoStreamName(std::int32_t code) {
    if (ids::kVc1Video.holds(code)) return "VC-1.stream";
    if (ids::kMpeg2Video.holds(code)) return "MPEG-2.stream";
    if (ids::kH264Video.holds(code)) return "H.264.stream";
    return {};
}

std::string AudioStreamName(std::int32_t code) {
    if (ids::kDd.holds(code)) return "DD.stream";
    if (ids::kDtsHd.holds(code)) return "DTSHD.stream";
    if (ids::kLpcm.holds(code)) return "LPCM.stream";
    if (ids::kMlp.holds(code)) return "MLP.stream";
    if (ids::kDdPlus.holds(code)) return "DD+.stream";
    return {};
}

std::string SubpictureStreamName(std::int32_t code) {
    if (ids::kBoxedSubpicture.holds(code)) return "Subpicture";
    if (ids::kBoxedExtendedSubpicture.holds(code)) return "Ext.Subpicture";
    return {};
}

std::string videoCaption(std::string_view codec, int track) {
    return std::string(codec) + ".stream." + std::to_string(static_cast<long long>(track) - 1);
}

std::string streamCaption(std::string_view codec, int streamNumber, std::string_view description) {
    const long long number = static_cast<long long>(streamNumber) - 1;
    std::string caption(codec);
    caption += ".stream.";
    if (number >= 0 && number < 10) caption += '0';
    caption += std::to_string(number);
    caption += '.';
    caption += description;
    return caption;
}

std::string streamBoxName(StreamKind kind, int index) {
    switch (kind) {
    case StreamKind::Video: return "cbVideo" + std::to_string(index);
    case StreamKind::Audio: return "cbAudio" + twoDigits(index);
    default: return "cbSub" + twoDigits(index);
    }
}

} // namespace vantrel
