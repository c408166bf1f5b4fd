// Win32 side of the platform layer. The settings window is the editor's HWND.
#include <io.h>
#include <shlwapi.h>
#include <windows.h>

#include <cstdlib>
#include <vector>

#include "host/module_load.h"
#include "platform/platform.h"

namespace drawlet::platform {

namespace {
// This module's own handle, known from the entry point's process attach.
HMODULE moduleHandle = nullptr;
}  // namespace

std::string moduleFilePath() {
    if (moduleHandle == nullptr) return {};
    // Grow the buffer until the whole name fits (long paths are longer than MAX_PATH).
    std::vector<char> name(MAX_PATH);
    for (;;) {
        const DWORD size =
            GetModuleFileNameA(moduleHandle, name.data(), static_cast<DWORD>(name.size()));
        if (size == 0) return {};
        if (size < name.size()) return std::string(name.data(), size);
        if (name.size() >= 32768) return {};
        name.resize(name.size() * 2);
    }
}

std::string removeFileSpec(const std::string& path) {
    std::vector<char> buffer(path.begin(), path.end());
    buffer.push_back('\0');
    PathRemoveFileSpecA(buffer.data());
    return buffer.data();
}

char pathListSeparator() { return ';'; }

void appendToProcessPath(const std::string& directory) {
    const std::string assignment = "PATH=" + appendedPathValue(std::getenv("PATH"), directory);
    _putenv(assignment.c_str());
}

bool pathExists(const std::string& path) { return _access(path.c_str(), 0) == 0; }

std::uint32_t tickCountMs() { return GetTickCount(); }

void setWindowTitle(void* settingsWindow, const char* title) {
    SetWindowTextA(static_cast<HWND>(settingsWindow), title);
}

int showMessageBox(void* settingsWindow, const char* text, const char* caption) {
    return MessageBoxA(static_cast<HWND>(settingsWindow), text, caption, MB_OK);
}

}  // namespace drawlet::platform

// The loader calls this when the module is mapped into the process, before any call.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        drawlet::platform::moduleHandle = instance;
        DisableThreadLibraryCalls(instance);
        drawlet::onProcessAttach();
    }
    return TRUE;
}
