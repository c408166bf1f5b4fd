#include "platform/platform.h"

namespace drawlet::platform {

std::string appendedPathValue(const char* oldValue, const std::string& directory) {
    if (oldValue == nullptr) return directory;
    return std::string(oldValue) + pathListSeparator() + directory;
}

}  // namespace drawlet::platform
