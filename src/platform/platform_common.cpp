#include <algorithm>
#include <string_view>

#include "platform/platform.h"

namespace drawlet::platform {

std::string appendedPathValue(const char* oldValue, const std::string& directory) {
    if (oldValue == nullptr) return directory;
    const std::string_view value = oldValue;
    for (std::size_t start = 0;;) {
        const std::size_t end = std::min(value.find(pathListSeparator(), start), value.size());
        if (sameDirectory(std::string(value.substr(start, end - start)), directory))
            return std::string(value);
        if (end == value.size()) break;
        start = end + 1;
    }
    return std::string(oldValue) + pathListSeparator() + directory;
}

}  // namespace drawlet::platform
