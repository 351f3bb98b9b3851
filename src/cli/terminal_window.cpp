#include "terminal_window.h"

#include "engine/time_format.h"
#include "interruption.h"

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
    // Ctrl+C as the window's Cancel button: the run stops after this block.
    if (m_core != nullptr && interruptRequested()) m_core->stopRequested = 1;
}

void TerminalWindow::sourceRunStarted(const std::string& stage, std::int64_t end) {
    m_console.progressStart(stageLabel(stage), end);
    m_console.progressUpdate(0);
}

void TerminalWindow::sourceRead(std::int64_t position) {
    m_console.progressUpdate(position);
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
