// Conversion between UTF-8 (what people type and read) and code page 932 (what the module
// holds), through iconv.
#pragma once

#include <string>
#include <string_view>

namespace drawlet::kit {

// Throw drawlet::Error naming the text when it cannot be converted.
std::string cp932ToUtf8(std::string_view text);
std::string utf8ToCp932(std::string_view text);

}  // namespace drawlet::kit
