#include "mkv_input.h"

#include "disc_input.h"
#include "files/errors.h"
#include "mux/title_job.h"

#include <memory>

namespace vantrel::cli {

mux::MkvJob mkvJobOf(Context& ctx, const ParsedArgs& args, const std::string& command) {
    if (args.positional.size() != 1) throw Error(ErrorKind::Usage, command + " takes one PATH");
    const std::string path = args.positional[0];
    mux::TitleRequest request;
    request.title = titleOption(args);
    request.tracks = args.value("--tracks");
    request.clock = args.value("--clock", "auto");
    DiscInput input = openDiscInput(path, request.title.has_value());
    if (!input.at.playlistNote.empty()) ctx.console.note(input.at.playlistNote);
    if (!input.at.caseNote.empty()) ctx.console.note(input.at.caseNote);
    mux::TitleJob built = mux::titleJob(input.at, input.playlist, request);
    if (built.longest)
        ctx.console.note("title " + std::to_string(built.title->number) + " (" + built.title->displayName +
                         "), the longest; --title N picks another");
    for (const std::string& w : built.warnings) ctx.console.warning(w);
    for (const std::string& n : built.notes) ctx.console.note(n);
    mux::MkvJob job = std::move(built.job);
    for (const auto& p : job.parts) requireProgramStream(p.path);
    if (ctx.console.progressShown()) {
        Console* console = &ctx.console;
        auto stage = std::make_shared<std::string>();
        job.progress = [console, stage](const std::string& label, std::int64_t done, std::int64_t total) {
            if (label != *stage) {
                if (!stage->empty()) console->progressEnd();
                *stage = label;
                console->progressStart(stageLabel(label), total);
            }
            console->progressUpdate(done);
        };
    }
    return job;
}

std::vector<std::string> sourcesOf(const mux::MkvJob& job) {
    std::vector<std::string> paths;
    for (const auto& p : job.parts) paths.push_back(p.path);
    return paths;
}

} // namespace vantrel::cli
