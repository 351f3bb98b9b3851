#include "run_files.h"

#include "files/disc_image.h"
#include "files/errors.h"

#include <memory>
#include <optional>

namespace vantrel {

RunFiles::~RunFiles() {
    if (m_holdsSource) m_core.sourceFile.reset();
    for (std::size_t i = 0; i < m_mine.size(); ++i)
        if (m_mine[i]) m_core.outputFiles[i].reset();
}

void RunFiles::alsoReads(const std::string& path) {
    if (const auto id = regularFileIdentity(path)) m_laterSources.push_back(*id);
}

void RunFiles::openSource(const std::string& path) {
    if (m_holdsSource) m_core.sourceFile.reset();
    m_holdsSource = false;
    m_core.sourceIdentity.reset();
    std::vector<FileIdentity> outputs;
    for (const auto& file : m_core.outputFiles)
        if (file && file->identity()) outputs.push_back(*file->identity());
    m_core.sourceIdentity.reset();
    if (const std::optional<ImagePath> inImage = m_core.readsImages ? splitImagePath(path) : std::nullopt;
        inImage && inImage->inner != "/") {
        m_core.sourceFile = openImageFile(*inImage);
    } else {
        auto file = std::make_unique<InputFile>(path, outputs);
        m_core.sourceIdentity = file->identity();
        m_core.sourceFile = std::move(file);
    }
    m_holdsSource = true;
}

void RunFiles::createOutput(int output, const std::string& name) {
    std::vector<FileIdentity> busy = m_laterSources;
    if (m_core.sourceFile && m_core.sourceIdentity) busy.push_back(*m_core.sourceIdentity);
    for (const auto& file : m_core.outputFiles)
        if (file && file->identity()) busy.push_back(*file->identity());
    auto file = std::make_unique<OutputFile>(name, busy);
    const auto i = static_cast<std::size_t>(output);
    m_core.outputFiles[i] = std::move(file);
    m_mine[i] = true;
}

void RunFiles::closeAll() {
    if (m_holdsSource) m_core.sourceFile.reset();
    m_holdsSource = false;
    std::optional<Error> first;
    for (std::size_t i = 0; i < m_mine.size(); ++i) {
        if (!m_mine[i]) continue;
        try {
            if (m_core.outputFiles[i]) m_core.outputFiles[i]->close();
        } catch (const Error& e) {
            if (!first) first = e;
        }
        m_core.outputFiles[i].reset();
        m_mine[i] = false;
    }
    if (first) throw *first;
}

} // namespace vantrel
