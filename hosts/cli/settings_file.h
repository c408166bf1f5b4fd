// Settings files: JSON objects of parameter names (display name, alias or index) to values.
#pragma once

#include <string>

#include "kit/filter_host.h"

namespace drawlet::cli {

// Parses a value for a parameter from the command line: integers for sliders, on/off/1/0
// for check boxes. Throws a usage error naming `where`, the parameter and its range.
int parseValue(const kit::Parameter& p, const std::string& text, const std::string& where);

// Applies every key of the file to the host's values, all or nothing. Throws a usage error
// naming the file, the key and the allowed range for anything it cannot use: a key that
// names nothing or comes twice, a value of the wrong type or outside the range.
void applySettingsFile(kit::FilterHost& host, const std::string& file);

// Writes the host's current values, keyed by alias, in table order.
void saveSettingsFile(const kit::FilterHost& host, const std::string& file);

}  // namespace drawlet::cli
