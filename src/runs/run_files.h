// Scope guards for the files a run holds in Core: whatever way a run leaves
// (done, cancelled, or ended by an error), the files it opened are closed and
// Core's slots are empty again. Created outputs stay on disk.
#pragma once

#include "engine/core.h"
#include "engine/errors.h"

#include <array>
#include <memory>
#include <optional>
#include <string>

namespace vantrel {

// SourceFile as one run holds it.
class SourceFileScope {
public:
    explicit SourceFileScope(Core& core) : m_core(core) {}
    ~SourceFileScope() { close(); }
    SourceFileScope(const SourceFileScope&) = delete;
    SourceFileScope& operator=(const SourceFileScope&) = delete;

    // A failed open leaves Core's slot as it was.
    void open(const std::string& path) {
        auto file = std::make_unique<InputFile>(path);
        m_core.sourceFile = std::move(file);
        m_held = true;
    }
    void close() {
        if (m_held) m_core.sourceFile.reset();
        m_held = false;
    }

private:
    Core& m_core;
    bool m_held = false;
};

// The output files one run created: exactly these are closed at its end.
class OutputSetScope {
public:
    explicit OutputSetScope(Core& core) : m_core(core) {}
    ~OutputSetScope() {
        // Quiet: a run that is already failing keeps its first error.
        for (std::size_t i = 0; i < m_mine.size(); ++i)
            if (m_mine[i]) m_core.outputFiles[i].reset();
    }
    OutputSetScope(const OutputSetScope&) = delete;
    OutputSetScope& operator=(const OutputSetScope&) = delete;

    void create(int output, const std::string& name) {
        auto file = std::make_unique<OutputFile>(name);
        auto i = static_cast<std::size_t>(output);
        m_core.outputFiles[i] = std::move(file);
        m_mine[i] = true;
    }

    // Closes every file of the set; a write that could not be completed at the
    // close surfaces afterwards as the set's first error.
    void closeAll() {
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

private:
    Core& m_core;
    std::array<bool, kOutputFileCount> m_mine{};
};

} // namespace vantrel
