// A small HD DVD-shaped disc for trying the program and for the window's
// tests: HVDVD_TS/FEATURE_1.EVO and FEATURE_2.EVO carrying every stream kind
// the program knows (VC-1 and MPEG-2 video, DD+, DD, DTS-HD, LPCM and MLP
// audio, subpicture and extended subpicture), and ADV_OBJ/VPLST000.XPL whose
// title plays FEATURE_1 then FEATURE_2 and names those streams with their
// languages. The two subpicture streams carry real units: a numbered line of
// text every 48 frames, shown for about 1.2 seconds (2-bit white text at the
// bottom, 8-bit coloured text at the top).
#pragma once

#include <cstdint>
#include <string>

namespace vantrel::test {

struct SampleDisc {
    std::string root;     // with its trailing "/"
    std::string feature1; // root + "HVDVD_TS/FEATURE_1.EVO"
    std::string feature2; // root + "HVDVD_TS/FEATURE_2.EVO"
    std::string playlist; // root + "ADV_OBJ/VPLST000.XPL"
};

struct SampleEvoStats {
    std::uint64_t bytes = 0;
    int videoFrames[2] = {0, 0}; // frame start codes of video 0 (VC-1) and 1 (MPEG-2)
    // Where the audio ends (90 kHz): E-AC-3, AC-3, DTS and MLP; LPCM as sample
    // pairs written since lpcmStart.
    std::uint64_t audioEnd[4] = {0, 0, 0, 0};
    std::uint64_t lpcmStart = 0;
    std::uint64_t lpcmSamples = 0;
};

// One part of the feature: `groups` video frames (a 23.976 fps VC-1 frame in
// three packs, an MPEG-2 picture in one) after a system header pack, with the
// whole audio frames that start during each (E-AC-3, AC-3, DTS core, MLP: one
// pack each; LPCM: four or five packs). About 24 KiB per frame. A part given
// `before` carries its audio on seamlessly from where that part ended.
// Without `audio` only the two video streams are written (a warning card).
SampleEvoStats writeSampleEvo(const std::string& path, int groups, std::uint64_t firstPts = 90000,
                              const SampleEvoStats* before = nullptr, bool audio = true);

// The playlist text of the sample disc.
std::string samplePlaylist();

// Creates root/HVDVD_TS and root/ADV_OBJ (and root itself) and writes the three files.
// The frames of FEATURE_1.EVO that the sample playlist's first clip plays. A
// disc written with fewer has its clips end where its files do.
constexpr int kSampleGroups = 200;
SampleDisc writeSampleDisc(const std::string& root, int groupsPerPart = kSampleGroups);

// A disc shaped like real ones: the feature is title 2 and plays PEVOB_1.EVO,
// PEVOB_2.EVO and the video-only INTERPOL.EVO; its first join rounds the
// E-AC-3 stream's time stamps a tick late and the AC-3 stream's a tick early
// (the audio itself goes on without a gap). Title 1 plays INTERPOL.EVO alone,
// title 3 PEVOB_1.EVO alone, title 4 PEVOB_2.EVO from half a second in.
struct ThreeClipDisc {
    std::string root; // with its trailing "/"
    std::string clips[3];
    SampleEvoStats stats[3];
    int groups[3] = {0, 0, 0};
    std::uint64_t firstPts[3] = {0, 0, 0};
    std::uint64_t audioStart2[4] = {0, 0, 0, 0}; // the audio clocks PEVOB_2 starts at (shifted)
};
ThreeClipDisc writeThreeClipDisc(const std::string& root);

} // namespace vantrel::test
