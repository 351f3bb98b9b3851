#include "rebuild.h"

#include "engine/block_reader.h"
#include "engine/continuation.h"
#include "engine/output_base.h"
#include "engine/progress_text.h"
#include "engine/run_files.h"
#include "engine/run_scope.h"
#include "engine/stream_numbering.h"
#include "packets/stream_ids.h"

#include <string>

namespace vantrel {

namespace {

// The DD+ sub-streams the rebuild decides on and renumbers: the first nine ids
// only, 0xC0 to 0xC8, as the rebuild has always done. DD+ streams 0xC9 to 0xCF
// (audio indices 9 to 15, which only DD+ reaches) pass through whatever their
// boxes say and keep their ids, like AC-3, LPCM and MLP. Widening the range to
// all sixteen would change which packs a rebuilt file holds.
constexpr ids::Range kRenumberedDdPlus{ids::kDdPlus.first, 0xC8};

// The box whose slot (searched from first to last) holds the id, or -1.
int boxHolding(const Core& core, int firstSlot, int lastSlot, int firstBox, int id) {
    for (int slot = firstSlot; slot <= lastSlot; ++slot)
        if (core.streamTable[slot] == id) return firstBox + (slot - firstSlot);
    return -1;
}

// Common tail of the three decisions: drop when an unticked box holds the id;
// otherwise give a kept stream its new id once.
template <class NewId>
bool decide(Core& core, RebuildState& state, int box, int id, std::uint8_t& counter, NewId newId) {
    if (box >= 0 && !core.boxes.ticked(box)) return true;
    auto& entry = state.IdMap[static_cast<std::size_t>(id & 0xFF)];
    if (entry == RebuildState::kNoId) {
        entry = newId(counter);
        ++counter;
    }
    return false;
}

int tickedCount(const Core& core, int firstBox, int count) {
    int n = 0;
    for (int box = firstBox; box < firstBox + count; ++box)
        if (core.boxes.ticked(box)) ++n;
    return n;
}

} // namespace

bool DropVideo(Core& core, RebuildState& state, int id) {
    int box = boxHolding(core, videoSlot(0), videoSlot(1), StreamBoxes::videoBox(0), id);
    return decide(core, state, box, id, state.VideoCounter, [id](std::uint8_t counter) {
        if (ids::kVc1Video.holds(id)) return static_cast<std::uint8_t>(ids::kVc1Video.first + counter);
        return static_cast<std::uint8_t>((id & 0xFE) | counter);
    });
}

bool DropAudio(Core& core, RebuildState& state, int id) {
    int box = boxHolding(core, audioSlot(0), audioSlot(15), StreamBoxes::audioBox(0), id);
    return decide(core, state, box, id, state.AudioCounter, [id](std::uint8_t counter) {
        if (ids::kDdPlus.holds(id)) return static_cast<std::uint8_t>(ids::kDdPlus.first | counter);
        return static_cast<std::uint8_t>((id & 0xF8) | counter);
    });
}

bool DropSubpicture(Core& core, RebuildState& state, int id) {
    int box = boxHolding(core, subpictureSlot(0), subpictureSlot(15), StreamBoxes::subBox(0), id);
    return decide(core, state, box, id, state.SubpictureCounter,
                  [id](std::uint8_t counter) { return static_cast<std::uint8_t>((id & 0xE0) | counter); });
}

bool rebuildCanLeaveOut(StreamKind kind, int code) {
    switch (kind) {
    case StreamKind::Video: return true;
    case StreamKind::Audio: return kRenumberedDdPlus.holds(code) || ids::kDtsHd.holds(code);
    default: return ids::kBoxedSubpicture.holds(code);
    }
}

bool rebuildPack(Core& core, RebuildState& state, unsigned char* pack, std::size_t n) {
    // Only the first packet of the pack is looked at: its stream_id at byte 17,
    // PES_header_data_length H at byte 22, then the sub-stream id (private
    // stream 1) at 23 + H or the stream_id_extension (0xFD) at 22 + H. A short
    // last pack may end before any of these; what lies beyond it is neither
    // read nor written, and an id that is not there takes part in nothing.
    const int s = n > 17 ? pack[17] : -1;

    if (s == ids::kSystemHeader) { // the bounds follow the ticked boxes
        if (n > 24) {
            int video = tickedCount(core, StreamBoxes::videoBox(0), 2);
            pack[24] = static_cast<unsigned char>((pack[24] & 0xE0) + video);
        }
        if (n > 23) {
            int audio = tickedCount(core, StreamBoxes::audioBox(0), 16);
            pack[23] = static_cast<unsigned char>((pack[23] & 0x03) + 4 * audio);
        }
    }

    std::size_t xAt = 0; // offset of the sub-stream id / stream_id_extension, 0 when absent
    int x = -1;
    if ((s == ids::kPrivateStream1 || s == ids::kExtendedStream) && n > 22) {
        std::size_t at = static_cast<std::size_t>(pack[22]) + (s == ids::kPrivateStream1 ? 23 : 22);
        if (at < n) {
            xAt = at;
            x = pack[at];
        }
    }

    if (n < 4 || pack[0] != 0x00 || pack[1] != 0x00 || pack[2] != 0x01 || pack[3] != ids::kPackStart)
        return false;

    bool keep = true;
    if (s == ids::kPrivateStream1) {
        if (kRenumberedDdPlus.holds(x) || ids::kDtsHd.holds(x))
            keep = !DropAudio(core, state, x);
        else if (ids::kBoxedSubpicture.holds(x))
            keep = !DropSubpicture(core, state, x);
    } else if (s == ids::kExtendedStream) {
        if (ids::kVc1Video.holds(x)) keep = !DropVideo(core, state, x);
    } else if (ids::kVideo.holds(s)) {
        keep = !DropVideo(core, state, s);
    } else if (ids::kMpegAudio.holds(s)) {
        keep = !DropAudio(core, state, s);
    }

    // A sub-stream id or extension id changes only when its stream got a new
    // one; every other sub-stream (AC-3, LPCM, MLP, later subpictures...) keeps
    // the id its players know it by.
    if (xAt != 0) {
        std::uint8_t mapped = state.IdMap[static_cast<std::size_t>(x)];
        if (mapped != RebuildState::kNoId) pack[xAt] = mapped;
    }
    if (ids::kVideo.holds(s) || ids::kMpegAudio.holds(s)) pack[17] = state.IdMap[static_cast<std::size_t>(s)];

    return keep;
}

void Rebuild(Core& core, RebuildState& state) {
    WindowPort& window = core.window;
    window.setButtonEnabled(Button::Cancel, true);
    core.demuxActive = 1;
    core.stopRequested = 0;

    OutputFile& rebuilt = *core.outputFiles[static_cast<std::size_t>(videoOutput(0))];
    // Pack by pack; a stop requested at a progress point ends the copy after
    // the pack it came with.
    BlockReader reader(core, kRebuildPackSize, "Rebuilding ");
    while (reader.next()) {
        unsigned char* pack = reader.data();
        if (rebuildPack(core, state, pack, reader.size())) rebuilt.write(pack, reader.size());
    }

    window.setButtonEnabled(Button::Cancel, false);
}

namespace {

std::string rebuiltFileName(Core& core, const Continuation& continuation) {
    const std::string base = outputBase(core);
    return (continuation.secondPartAtStart() ? continuedBase(base) : base) + ".rebuilt.EVO";
}

// The run up to "Done.": both parts copied into one rebuilt file, every file closed.
void rebuildRun(Core& core) {
    WindowPort& window = core.window;
    window.showPage(Page::Status);

    RebuildState state;
    const std::string sourcePath = window.fieldText(Field::EVOfile);
    const Continuation continuation = decideContinuation(core, sourcePath);

    RunFiles files(core);
    if (continuation.firstPart) files.alsoReads(continuation.nextPartPath);
    window.log("Opening file " + core.EVOname);
    window.slog("Opening", 0);
    files.openSource(sourcePath);
    logFileSize(core);

    const std::string rebuiltName = rebuiltFileName(core, continuation);
    files.createOutput(videoOutput(0), rebuiltName);
    window.log("Creating " + rebuiltName);
    window.slog("Writing EVO...", 0);

    Rebuild(core, state);

    if (continuation.continueOn(core, files)) Rebuild(core, state);

    files.closeAll(); // a write the buffer still held fails here, not silently
}

} // namespace

void bRebuildClick(Core& core) {
    RunScope scope(core);
    if (!scope.acquired()) return;
    WindowPort& window = core.window;

    window.setButtonEnabled(Button::Rebuild, false);
    try {
        rebuildRun(core);
    } catch (...) {
        // Enabled again after a failure too.
        window.setButtonEnabled(Button::Rebuild, true);
        throw;
    }
    logRunDone(window);
    window.setButtonEnabled(Button::Rebuild, true);
}

std::string rebuiltOutputName(Core& core) {
    return rebuiltFileName(core, decideContinuation(core, core.window.fieldText(Field::EVOfile)));
}

} // namespace vantrel
