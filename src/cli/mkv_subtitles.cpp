#include "mkv_subtitles.h"

#include "engine/file_layer.h"
#include "subpicture/evo_subpictures.h"

#include <cmath>
#include <filesystem>
#include <map>
#include <memory>

namespace vantrel::cli {

std::function<std::vector<mux::ExtraTrack>(const std::string&, const mux::PrepResult&)>
pgsSubtitleTracks(const mux::MkvJob& job, Console& console) {
    const std::vector<std::string> parts = job.parts;
    const auto label = job.label;
    const std::set<std::uint8_t> only = job.only;
    Console* warnings = &console;
    return [parts, label, only, warnings](const std::string& folder, const mux::PrepResult& prep) {
        std::vector<mux::ExtraTrack> tracks;
        std::map<int, const mux::PreparedStream*> wanted; // by subpicture index
        for (const mux::PreparedStream& s : prep.streams)
            if (s.kind == mux::EsKind::Subpicture && (only.empty() || only.count(s.code)))
                wanted.emplace(s.code & 0x1F, &s);
        if (wanted.empty()) return tracks;

        // The tracks start where the main video starts; a second part's units
        // follow the first part's video as its frames do.
        const mux::PreparedStream* video =
            prep.mainVideo >= 0 ? &prep.streams[static_cast<std::size_t>(prep.mainVideo)] : nullptr;
        const std::uint64_t videoStart = video && video->part[0].hasPts ? video->part[0].firstPts : 0;
        std::uint32_t secondPartShift = 0;
        if (video && parts.size() > 1 && video->part[1].hasPts &&
            video->videoFirstPart.durationSeconds() > 0) {
            const auto firstPartTicks =
                static_cast<std::uint64_t>(std::llround(video->videoFirstPart.durationSeconds() * 90000.0));
            secondPartShift =
                static_cast<std::uint32_t>(videoStart + firstPartTicks - video->part[1].firstPts);
        }

        const std::string base =
            std::filesystem::path(parts.front()).stem().string() + (parts.size() > 1 ? "_2" : "");
        std::map<int, std::unique_ptr<OutputFile>> files;
        subpicture::EvoSubpictureCollector collector(
            [warnings](const std::string& text) { warnings->warning(text); },
            [&](int index) -> subpicture::PgsSink {
                auto it = wanted.find(index);
                if (it == wanted.end()) return {};
                auto& file = files[index];
                file = std::make_unique<OutputFile>(folder + base + "." + mux::streamCaption(*it->second) +
                                                    ".pgs.sup");
                OutputFile* out = file.get();
                return [out](std::span<const std::uint8_t> bytes) { out->write(bytes.data(), bytes.size()); };
            });
        for (std::size_t i = 0; i < parts.size(); ++i)
            subpicture::feedEvoFile(parts[i], collector, i == 0 ? 0 : secondPartShift);
        collector.finish();

        for (const auto& [index, stream] : wanted) {
            const subpicture::EvoSubpictureStream& s = collector.streams()[static_cast<std::size_t>(index)];
            auto file = files.find(index);
            if (file == files.end() || s.figures.converted == 0) {
                warnings->warning(mux::streamCaption(*stream) +
                                  " holds no subpicture that converts; left out of " + "the Matroska file");
                continue;
            }
            file->second->close();
            mux::ExtraTrack t;
            t.file = file->second->path();
            const std::optional<mux::StreamLabel> l = label ? label(stream->code) : std::nullopt;
            t.language = mux::language6392(l ? l->language : "");
            t.name = l && !l->description.empty() ? l->description : mux::streamCaption(*stream);
            t.isDefault = false;
            t.isForced = s.figures.forced == s.figures.converted;
            if (l) t.flags = l->flags;
            t.syncMs = -static_cast<int>(std::llround(static_cast<double>(videoStart) / 90.0));
            tracks.push_back(t);
        }
        return tracks;
    };
}

} // namespace vantrel::cli
