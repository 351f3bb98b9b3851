#include "audio_report.h"

#include "codecs/codec_facts.h"

#include <string>

namespace vantrel {

void audioHeaderReport(WindowPort& window, const std::uint8_t* run, std::size_t length, int audioIndex) {
    const DolbySearch search = findDolbyFrame(run, length);
    for (int i = 0; i < search.wrongDistances; ++i) window.log("no sync");
    if (!search.frame) return;

    const DolbyFrame& f = *search.frame;
    const std::string stream = "   Stream " + std::to_string(audioIndex);
    const std::string rates =
        "   bitrate = " + std::to_string(f.bitRate) + ", sampling rate = " + std::to_string(f.sampleRate);
    const std::string mode =
        std::string("   mode = ") + channelModeName(f.acmod) + ", bsid = " + std::to_string(f.bsid);
    if (f.isEac3()) {
        window.log(stream + " is Dolby Digital Plus");
        window.log("   frame size = " + std::to_string(f.eac3FrameBytes()) +
                   ", number of blocks per frame = " + std::to_string(f.blocks));
        window.log(rates);
        window.log(mode + ", lfe on =" + std::to_string(f.lfeon));
    } else {
        window.log(stream + " is Dolby Digital");
        window.log(rates);
        window.log(mode + ", bsmod =" + std::to_string(f.bsmod));
    }
}

} // namespace vantrel
