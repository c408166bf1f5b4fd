// The parameter reference people read, made from the parameter table and the module's own
// registration (names, ranges, defaults): the README's table and the man page's section.
#pragma once

#include <string>

#include "kit/filter_host.h"
#include "run/run_settings.h"

namespace drawlet::cli {

// A Markdown table, one row per slider and check box and one for the hosts' follow-motion,
// with the host's current values (and `run`) as the defaults.
std::string markdownParameterTable(const kit::FilterHost& host, const run::RunSettings& run = {});

// The man page's PARAMETERS section (roff), the same facts as the table.
std::string manParameterSection(const kit::FilterHost& host, const run::RunSettings& run = {});

// Text made safe for a roff line: backslashes and hyphens escaped, no control word at the
// start of a line.
std::string roffText(const std::string& text);

}  // namespace drawlet::cli
