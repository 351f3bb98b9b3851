#include "es_kind.h"

namespace vantrel::mux {

EsKind kindOfVideo(std::uint8_t streamId) {
    switch (streamId) {
    case 0xE0:
    case 0xE1: return EsKind::Mpeg2Video;
    case 0xE2:
    case 0xE3: return EsKind::H264;
    case 0x55:
    case 0x56: return EsKind::Vc1;
    default: return EsKind::Unknown;
    }
}

EsKind kindOfSubStream(std::uint8_t id) {
    if ((id & 0xE0) == 0x20 || (id & 0xE0) == 0x60) return EsKind::Subpicture;
    if ((id & 0xF8) == 0x80) return EsKind::Ac3;
    if ((id & 0xF8) == 0x88) return EsKind::Dts;
    if ((id & 0xF0) == 0xC0) return EsKind::Eac3;
    if ((id & 0xF8) == 0xA0) return EsKind::Lpcm;
    if ((id & 0xF8) == 0xB0) return EsKind::TrueHd;
    return EsKind::Unknown;
}

EsKind refineLossless(const std::uint8_t* d, std::size_t n, EsKind current) {
    for (std::size_t i = 0; i + 4 <= n; ++i) {
        if (d[i] == 0xF8 && d[i + 1] == 0x72 && d[i + 2] == 0x6F) {
            if (d[i + 3] == 0xBA) return EsKind::TrueHd;
            if (d[i + 3] == 0xBB) return EsKind::Mlp;
        }
    }
    return current;
}

std::string extensionOf(EsKind kind) {
    switch (kind) {
    case EsKind::Mpeg2Video: return "m2v";
    case EsKind::H264: return "h264";
    case EsKind::Vc1: return "vc1";
    case EsKind::Ac3: return "ac3";
    case EsKind::Eac3: return "eac3";
    case EsKind::Dts: return "dts";
    case EsKind::TrueHd: return "thd";
    case EsKind::Mlp: return "mlp";
    case EsKind::Lpcm: return "wav";
    case EsKind::Subpicture: return "sup";
    case EsKind::Unknown: break;
    }
    return "bin";
}

std::string nameOf(EsKind kind) {
    switch (kind) {
    case EsKind::Mpeg2Video: return "MPEG-2";
    case EsKind::H264: return "H.264";
    case EsKind::Vc1: return "VC-1";
    case EsKind::Ac3: return "AC-3";
    case EsKind::Eac3: return "E-AC-3";
    case EsKind::Dts: return "DTS";
    case EsKind::TrueHd: return "TrueHD";
    case EsKind::Mlp: return "MLP";
    case EsKind::Lpcm: return "LPCM";
    case EsKind::Subpicture: return "Subpicture";
    case EsKind::Unknown: break;
    }
    return "unknown";
}

bool isVideo(EsKind kind) {
    return kind == EsKind::Mpeg2Video || kind == EsKind::H264 || kind == EsKind::Vc1;
}

bool isAudio(EsKind kind) {
    return kind == EsKind::Ac3 || kind == EsKind::Eac3 || kind == EsKind::Dts || kind == EsKind::TrueHd ||
           kind == EsKind::Mlp || kind == EsKind::Lpcm;
}

} // namespace vantrel::mux
