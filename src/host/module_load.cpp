#include "host/module_load.h"

#include <cstring>
#include <string>

#include "platform/platform.h"

namespace drawlet {

char moduleDir[kModuleDirSize] = {};

void onProcessAttach() {
    // Cut to 4095 bytes so that the buffer always stays terminated.
    std::string directory = platform::removeFileSpec(platform::moduleFilePath());
    if (directory.size() > kModuleDirSize - 1) directory.resize(kModuleDirSize - 1);
    std::memset(moduleDir, 0, sizeof moduleDir);
    std::memcpy(moduleDir, directory.data(), directory.size());
    platform::appendToProcessPath(moduleDir);
}

void platform::onModuleAttached() { onProcessAttach(); }

}  // namespace drawlet
