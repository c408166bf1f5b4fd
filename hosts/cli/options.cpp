#include "cli/options.h"

#include <fmt/format.h>

#include "media/picture_size.h"

namespace drawlet::cli {

void addFilterOptions(CLI::App& command, FilterOptions& options, bool withLook) {
    command.add_option("--module", options.module,
                       "the filter module file (default: Drawlet.auf beside this program)");
    if (withLook)
        command.add_option("--look", options.look,
                           "a named look to start from (drawlet looks lists them); --settings "
                           "and --set apply after it");
    command.add_option("--settings", options.settingsFile,
                       "a JSON file of name: value (names, aliases or indices as keys)");
    command
        .add_option("--set", options.assignments,
                    "NAME=VALUE: a slider or check box by display name, alias or index; "
                    "check boxes take on/off/1/0; later ones win")
        ->type_name("NAME=VALUE");
    command
        .add_option("--threads", options.threads,
                    "threads that decode, filter and encode (default: every core); the same "
                    "bytes at any count")
        ->check(CLI::Range(1, 1024));
}

void addFollowMotionFlag(CLI::App& command, FilterOptions& options) {
    command.add_flag("--follow-motion", options.followMotion,
                     "move the hatching with the picture between two changes of its jitter "
                     "(see update-interval and --boil-rate), as \"follow-motion\": true in a "
                     "settings file does");
}

void addOutputFlags(CLI::App& command, OutputFlags& flags) {
    command.add_flag("-y,--overwrite", flags.overwrite, "overwrite an existing output");
    command.add_flag("-q,--quiet", flags.quiet, "no progress line");
}

void addMaxPixelsOption(CLI::App& command, long long& maxPixels) {
    command
        .add_option("--max-pixels", maxPixels,
                    fmt::format("the most pixels (width x height) a frame of the input may have; "
                                "larger ones are refused before they are decoded (default {})",
                                media::kDefaultMaxPixels))
        ->check(CLI::PositiveNumber);
}

}  // namespace drawlet::cli
