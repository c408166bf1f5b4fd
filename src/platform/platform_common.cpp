#include "platform/platform.h"

namespace drawlet::platform {

std::string removeFileSpec(const std::string& path) {
    const auto isSeparator = [](char c) { return c == '/' || c == '\\'; };
    std::size_t end = path.size();
    while (end > 0 && !isSeparator(path[end - 1])) --end;
    if (end == 0) return {};
    std::size_t cut = end - 1;  // the separator before the last component
    while (cut > 0 && isSeparator(path[cut - 1])) --cut;
    if (cut == 0) return path.substr(0, 1);  // the root keeps its separator
    return path.substr(0, cut);
}

std::string appendedPathValue(const char* oldValue, const std::string& directory) {
    if (oldValue == nullptr) return directory;
    return std::string(oldValue) + pathListSeparator() + directory;
}

}  // namespace drawlet::platform
