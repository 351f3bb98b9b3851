#include "terminal_window.h"

#include "interruption.h"
#include "streams/path_parts.h"
#include "streams/time_format.h"

namespace vantrel::cli {

TerminalWindow::TerminalWindow(Console& console) : m_console(console) {
    options[Option::Continue] = true;
    options[Option::FastCheck] = true;
    options[Option::CountFrames] = true;
    fields[Field::VideoExt] = "mpv";
    fields[Field::AudioExt] = "mpa";
    fields[Field::SubExt] = "sup";
}

void TerminalWindow::log(const std::string& text) {
    logLines.push_back(text);
    if (onLog) onLog(text);
}

void TerminalWindow::processEvents() {
    if (m_core == nullptr) return;
    // Ctrl+C as the window's Cancel button: the run stops after this block.
    if (interruptRequested()) m_core->stopRequested = 1;
    if (!m_core->sourceFile) return;
    const InputFile* file = m_core->sourceFile.get();
    // A part opened in place of the first may get its address: the path tells them apart.
    if (file != m_progressFile || file->path() != m_progressPath) {
        m_progressFile = file;
        m_progressPath = file->path();
        m_console.progressStart((m_core->demuxActive != 0 ? "writing from " : "reading ") +
                                    fileNamePart(file->path()),
                                file->size());
    }
    m_console.progressUpdate(file->position());
}

double TerminalWindow::now() {
    return localNowDays();
}

std::string TerminalWindow::formatLongTime(double days) {
    return formatTimeOfDay(days, "h:mm:ss");
}

void TerminalWindow::memoKeep(int first, int last) {
    keepLines(m_memo, first, last);
}

} // namespace vantrel::cli
