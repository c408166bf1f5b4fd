// Win32 side of the platform layer. The settings window is the editor's HWND.
#include <io.h>
#include <shlwapi.h>
#include <windows.h>

#include <cstdlib>
#include <vector>

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

bool sameDirectory(const std::string& a, const std::string& b) {
    const auto trimmed = [](std::string s) {
        while (s.size() > 1 && (s.back() == '\\' || s.back() == '/')) s.pop_back();
        return s;
    };
    return _stricmp(trimmed(a).c_str(), trimmed(b).c_str()) == 0;
}

void appendToProcessPath(const std::string& directory) {
    const char* old = std::getenv("PATH");
    const std::string value = appendedPathValue(old, directory);
    if (old != nullptr && value == old) return;
    const std::string assignment = "PATH=" + value;
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
        drawlet::platform::onModuleAttached();
    }
    return TRUE;
}
