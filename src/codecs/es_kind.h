// Which elementary stream a source stream is, by its stream code, and the file
// extension muxers recognise it by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel {

enum class EsKind { Mpeg2Video, H264, Vc1, Ac3, Eac3, Dts, TrueHd, Mlp, Lpcm, Subpicture, Unknown };

// The kind a stream code names. Video codes are 0xE0-0xE3 (MPEG-2, H.264) and
// the VC-1 extension ids 0x55/0x56 (given as `vc1Extension`); audio and
// subpicture codes are private-stream-1 sub-stream ids. 0xB0-0xB7 is TrueHD
// until the major sync says MLP (refineLossless).
EsKind kindOfVideo(std::uint8_t code);
EsKind kindOfSubStream(std::uint8_t subId);

// TrueHD or MLP by the first major sync in the data (F8 72 6F BA: TrueHD,
// F8 72 6F BB: MLP); `current` when there is none.
EsKind refineLossless(const std::uint8_t* data, std::size_t n, EsKind current);

// "m2v", "h264", "vc1", "ac3", "eac3", "dts", "thd", "mlp", "wav", "sup".
std::string extensionOf(EsKind kind);
// "MPEG-2", "H.264", "VC-1", "AC-3", "E-AC-3", "DTS", "TrueHD", "MLP", "LPCM", "Subpicture".
std::string nameOf(EsKind kind);
bool isVideo(EsKind kind);
bool isAudio(EsKind kind);

} // namespace vantrel
