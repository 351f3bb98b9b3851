// The commands of vantrel-cli, one row each; the command itself lives in cmd_NAME.cpp.
#include "cli.h"

namespace vantrel::cli {

extern const Command kInfoCommand;
extern const Command kChaptersCommand;
extern const Command kDemuxCommand;
extern const Command kRebuildCommand;
extern const Command kMuxPrepCommand;
extern const Command kMkvCommand;
extern const Command kSup2pgsCommand;

const std::vector<const Command*>& commandTable() {
    static const std::vector<const Command*> table = {
        &kInfoCommand,    &kChaptersCommand, &kDemuxCommand,   &kRebuildCommand,
        &kMuxPrepCommand, &kMkvCommand,      &kSup2pgsCommand,
    };
    return table;
}

} // namespace vantrel::cli
