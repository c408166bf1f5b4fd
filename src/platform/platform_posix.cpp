// POSIX side of the platform layer. The settings window is the host-owned
// DrawletSettingsWindow struct of the interface header.
#include <dlfcn.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>

#include "interface/drawlet_filter.h"
#include "platform/platform.h"

namespace drawlet::platform {

std::string moduleFilePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&moduleFilePath), &info) == 0 || info.dli_fname == nullptr)
        return {};
    return info.dli_fname;
}

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

char pathListSeparator() { return ':'; }

bool sameDirectory(const std::string& a, const std::string& b) { return a == b; }

void appendToProcessPath(const std::string& directory) {
    const char* old = std::getenv("PATH");
    const std::string value = appendedPathValue(old, directory);
    // Every setenv keeps the old string alive: only a real change is written.
    if (old == nullptr || value != old) setenv("PATH", value.c_str(), 1);
}

bool pathExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::uint32_t tickCountMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                    static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

void setWindowTitle(void* settingsWindow, const char* title) {
    auto* window = static_cast<DrawletSettingsWindow*>(settingsWindow);
    if (window != nullptr && window->setTitle != nullptr) window->setTitle(window->context, title);
}

int showMessageBox(void* settingsWindow, const char* text, const char* caption) {
    auto* window = static_cast<DrawletSettingsWindow*>(settingsWindow);
    if (window == nullptr || window->messageBox == nullptr) return 0;
    return window->messageBox(window->context, text, caption);
}

}  // namespace drawlet::platform

// The loader runs this once when the module is mapped into the process, before any call.
__attribute__((constructor)) static void drawletProcessAttach() {
    drawlet::platform::onModuleAttached();
}
