#include "es_kind.h"

#include "codec_facts.h"
#include "packets/stream_ids.h"

namespace vantrel {

EsKind kindOfVideo(std::uint8_t code) {
    switch (ids::kindOfCode(code)) {
    case ids::CodeKind::Mpeg2Video: return EsKind::Mpeg2Video;
    case ids::CodeKind::H264Video: return EsKind::H264;
    case ids::CodeKind::Vc1Video: return EsKind::Vc1;
    default: return EsKind::Unknown;
    }
}

EsKind kindOfSubStream(std::uint8_t id) {
    switch (ids::subStreamKindOf(id)) {
    case ids::CodeKind::Subpicture:
    case ids::CodeKind::ExtendedSubpicture: return EsKind::Subpicture;
    case ids::CodeKind::Dd: return EsKind::Ac3;
    case ids::CodeKind::DtsHd: return EsKind::Dts;
    case ids::CodeKind::DdPlus: return EsKind::Eac3;
    case ids::CodeKind::Lpcm: return EsKind::Lpcm;
    case ids::CodeKind::Mlp: return EsKind::TrueHd;
    default: return EsKind::Unknown;
    }
}

EsKind refineLossless(const std::uint8_t* d, std::size_t n, EsKind current) {
    for (std::size_t i = 0; i + 4 <= n; ++i) {
        switch (codec::majorSyncAt(d + i, n - i)) {
        case codec::MajorSync::TrueHd: return EsKind::TrueHd;
        case codec::MajorSync::Mlp: return EsKind::Mlp;
        case codec::MajorSync::None: break;
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

} // namespace vantrel
