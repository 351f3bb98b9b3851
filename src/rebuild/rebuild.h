// "Rebuild": a filtered, renumbered copy of the source EVO. Every 2048-byte
// pack is either copied (with at most a few id bytes rewritten) or left out,
// by the ticks of the stream boxes; the kept streams are numbered anew from 0
// within each kind in the order their first kept packs appear.
#pragma once

#include "engine/core.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel {

// The renumbering of one run, carried from the first part into the second.
struct RebuildState {
    static constexpr std::uint8_t kNoId = 255;

    // New id for an old one (stream_id, sub-stream id or stream_id_extension
    // share the table); kNoId while none has been given.
    std::array<std::uint8_t, 256> IdMap{};
    std::uint8_t VideoCounter = 0;
    std::uint8_t AudioCounter = 0;
    std::uint8_t SubpictureCounter = 0;

    RebuildState() { reset(); }
    void reset() {
        IdMap.fill(kNoId);
        VideoCounter = AudioCounter = SubpictureCounter = 0;
    }
};

constexpr std::size_t kRebuildPackSize = 2048;

// True when the packets of the stream with this id are to be left out: the
// first StreamTable slot of the kind that holds the id belongs to an unticked
// box. A kept stream without a new id gets the next one of its kind.
bool DropVideo(Core& core, RebuildState& state, int id);
bool DropAudio(Core& core, RebuildState& state, int id);
bool DropSubpicture(Core& core, RebuildState& state, int id);

// Whether the packs of a box's stream (its StreamTable code) can be left out
// at all: video, DD+ 0xC0..0xC8, DTS-HD and subpictures 0x20..0x2F can; AC-3,
// LPCM, MLP, the other DD+ ids and extended subpictures are always copied.
bool rebuildCanLeaveOut(StreamKind kind, int code);

// Decides one pack of n bytes (n <= 2048; a short pack only at the end of the
// source), rewrites its system header bounds and stream ids in place, and
// tells whether it goes into the rebuilt file. Never looks past byte n - 1.
bool rebuildPack(Core& core, RebuildState& state, unsigned char* pack, std::size_t n);

// Copies SourceFile from its position to its end (or until a stop request)
// into the rebuilt file held in video output 0.
void Rebuild(Core& core, RebuildState& state);

// The "Rebuild" button.
void bRebuildClick(Core& core);

// The file Rebuild would write now: NAME.rebuilt.EVO in the output folder,
// NAME_2 for a first part that goes on.
std::string rebuiltOutputName(Core& core);

} // namespace vantrel
