// The command line as data, read from the parser's own definitions: what the manual page
// and the shell completions are made from, so that they list exactly what drawlet accepts.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace drawlet::cli {

enum class ValueKind {
    None,        // a flag
    Choice,      // one of `choices`
    Assignment,  // NAME=VALUE of a filter parameter
    Number,
    Path,  // anything else: a file, or text a file name may stand for
};

struct OptionModel {
    std::vector<std::string> names;  // "-o", "--output"; a positional's own name
    std::string placeholder;         // "OUTPUT", "NAME=VALUE", "{text,tsv}"
    std::string description;
    ValueKind value = ValueKind::None;
    std::vector<std::string> choices;
    bool positional = false;
    bool required = false;
    bool repeatable = false;
};

struct CommandModel {
    std::string name;
    std::string description;
    std::vector<OptionModel> options;  // positionals first, in order; --help last
};

std::vector<CommandModel> commandModels(const CLI::App& root);

}  // namespace drawlet::cli
