// The thin layer between the filter and the operating system: everything the filter needs
// from Win32 or the C runtime's Windows-only calls, with one implementation per system.
#pragma once

#include <cstdint>
#include <string>

namespace drawlet::platform {

// Full file name of the loaded module itself (not of the host executable); empty when the
// system does not tell.
std::string moduleFilePath();

// The path with its last component and the separator before it removed; a root keeps its
// separator ("/x" gives "/"), a bare name gives "".
std::string removeFileSpec(const std::string& path);

// The separator of entries in PATH on this system.
char pathListSeparator();

// True when the two names are the same directory as PATH entries compare them (on Windows
// letter case and a trailing separator do not count).
bool sameDirectory(const std::string& a, const std::string& b);

// The new PATH value with `directory` appended; with no old value, the directory alone; the
// old value as it is when one of its entries is the directory already.
std::string appendedPathValue(const char* oldValue, const std::string& directory);

// Appends `directory` to the process's PATH unless it is there already, so that a host that
// loads the module many times does not lengthen PATH each time.
void appendToProcessPath(const std::string& directory);

// True when something exists at `path` (existence only).
bool pathExists(const std::string& path);

// Milliseconds from an arbitrary start; wraps around like a 32-bit tick counter.
std::uint32_t tickCountMs();

// The module's own start-up, defined by the module and run once when the system maps it into
// a process (the loader's constructor on POSIX, the entry point's process attach on Windows),
// before any call.
void onModuleAttached();

// Sets the title of the filter's settings window (the registration record's window word).
void setWindowTitle(void* settingsWindow, const char* title);

// Shows a modal message box with an OK button, owned by the settings window; returns the
// button pressed (0 when no box could be shown).
int showMessageBox(void* settingsWindow, const char* text, const char* caption);

}  // namespace drawlet::platform
