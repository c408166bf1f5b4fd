// JSON from outside (settings files, the studio's requests) read in bounded time and space:
// a size limit, a nesting limit, every key of an object given once, nothing after the value,
// and a stop signal honoured while it parses.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>

namespace drawlet::run {

using SettingsJson = nlohmann::ordered_json;

// A settings file is a few hundred bytes; the limits leave room for any real one.
inline constexpr std::size_t kMaxJsonBytes = 1 << 20;
inline constexpr int kMaxJsonDepth = 64;

// Parses `text`; throws a usage error naming `where` for text over the limits, a key given
// twice in one object, bytes after the value, a NUL byte, a number beyond a double (naming
// the key it was the value of) or anything else that is not JSON. Keys are stored in file
// order in linear time.
SettingsJson parseStrictJson(const std::string& text, const std::string& where);

// A value as an error message shows it: scalars as written, cut to a few dozen characters;
// objects and arrays by their kind and size, never dumped whole.
std::string describeJson(const SettingsJson& value);

}  // namespace drawlet::run
