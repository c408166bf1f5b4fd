// Settings files: JSON objects of parameter names (display name, alias or index) to values,
// with an optional "description": one line saying what the settings are for (looks have one).
#pragma once

#include <string>

#include "kit/filter_host.h"
#include "run/run_settings.h"
#include "run/strict_json.h"

namespace drawlet::run {

// Parses a value for a parameter from the command line: integers for sliders, on/off/1/0
// for check boxes. Throws a usage error naming `where`, the parameter and its range.
int parseValue(const kit::Parameter& p, const std::string& text, const std::string& where);

// Reads a settings file as a JSON object; throws a usage error naming the file when it is
// unreadable, not JSON, not an object, or gives a key twice.
SettingsJson readSettingsFile(const std::string& file);

// Parses JSON text (a settings file's, or a request's) as strictly as a settings file: a key
// given twice in one object is an error naming `where`.
SettingsJson parseSettingsText(const std::string& text, const std::string& where);

// The settings' "description", empty when there is none.
std::string descriptionOf(const SettingsJson& settings);

// Applies every key of a settings object to the host's values and `run` (the keys of
// run_settings.h), all or nothing. Throws a usage error naming `where`, the key and the
// allowed range for anything it cannot use: a key that names nothing, a value of the wrong
// type or outside the range.
void applySettings(kit::FilterHost& host, const SettingsJson& settings, const std::string& where,
                   RunSettings& run);

// readSettingsFile, then applySettings.
void applySettingsFile(kit::FilterHost& host, const std::string& file, RunSettings& run);

// The host's current values, keyed by alias, in table order, then the run settings that are
// on: the text of a settings file.
std::string settingsText(const kit::FilterHost& host, const RunSettings& run = {});

// Writes settingsText to a file.
void saveSettingsFile(const kit::FilterHost& host, const RunSettings& run, const std::string& file);

}  // namespace drawlet::run
