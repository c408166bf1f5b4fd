// The command-line options every command that runs the filter shares: the module, the
// settings (a look, a file, then every --set), the thread count, and -y/-q.
#pragma once

#include <CLI/CLI.hpp>

#include "run/configured_host.h"

namespace drawlet::cli {

using run::FilterOptions;

struct OutputFlags {
    bool overwrite = false;
    bool quiet = false;
};

// `withLook` false leaves --look to the command (drawlet compare takes several).
void addFilterOptions(CLI::App& command, FilterOptions& options, bool withLook = true);
// --follow-motion, for the commands that render or save video settings.
void addFollowMotionFlag(CLI::App& command, FilterOptions& options);
void addOutputFlags(CLI::App& command, OutputFlags& flags);
// --max-pixels: the largest frame (width x height) read; larger ones are refused unread.
void addMaxPixelsOption(CLI::App& command, long long& maxPixels);

}  // namespace drawlet::cli
