// The Windows test host, run under Wine: loads the 32-bit Drawlet.auf as the editor does and
// reads its registration record as 35 32-bit words by position (not through the project's
// header, so that a layout fault shows), drives every callback and renders the cases.
//
//   drawlet_wine_host MODULE CASES OUT_DIR   checks the module, renders into OUT_DIR
//   drawlet_wine_host --missing MODULE       a module whose pattern folder is missing
//
// Prints one line per failed check and exits 1 when any failed.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "cross_host.h"

namespace {

using Word = std::uint32_t;
using GetTableFn = Word*(__cdecl*)();
using ProcessFn = int(__cdecl*)(Word* reg, Word* request);
using RegFn = int(__cdecl*)(Word* reg);
using UpdateFn = int(__cdecl*)(Word* reg, int status);
using WindowProcFn = int(__cdecl*)(void*, unsigned, void*, void*, void*, Word* reg);

// Word positions of the registration record.
enum : int {
    kFlags = 0,
    kName = 3,
    kTrackCount = 4,
    kTrackNames = 5,
    kTrackDefaults = 6,
    kTrackMinimums = 7,
    kTrackMaximums = 8,
    kCheckCount = 9,
    kCheckNames = 10,
    kCheckDefaults = 11,
    kProcess = 12,
    kInit = 13,
    kExit = 14,
    kUpdate = 15,
    kWindowProc = 16,
    kTrackValues = 17,
    kCheckValues = 18,
    kInformation = 21,
    kServices = 24,
    kWindow = 25,
    kRegistrationWords = 35,
};

template <class T>
T* at(Word word) {
    return reinterpret_cast<T*>(static_cast<std::uintptr_t>(word));
}
template <class T>
Word wordOf(T* pointer) {
    return static_cast<Word>(reinterpret_cast<std::uintptr_t>(pointer));
}

int failures = 0;
void check(bool ok, const std::string& what) {
    if (!ok) {
        ++failures;
        std::printf("FAIL: %s\n", what.c_str());
    }
}

// What the module showed through USER32, caught by replacing its imports.
struct Shown {
    int boxes = 0;
    HWND boxOwner = nullptr;
    UINT boxType = 0;
    std::string boxText, boxCaption;
    int titles = 0;
    HWND titleWindow = nullptr;
    std::string title;
} shown;

int WINAPI caughtMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    ++shown.boxes;
    shown.boxOwner = owner;
    shown.boxType = type;
    shown.boxText = text != nullptr ? text : "";
    shown.boxCaption = caption != nullptr ? caption : "";
    return IDOK;
}

BOOL WINAPI caughtSetWindowText(HWND window, LPCSTR text) {
    ++shown.titles;
    shown.titleWindow = window;
    shown.title = text != nullptr ? text : "";
    return TRUE;
}

// Points the module's import of dll!function at `replacement`.
bool replaceImport(HMODULE module, const char* dll, const char* function, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return false;
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         entry->Name != 0; ++entry) {
        if (_stricmp(reinterpret_cast<char*>(base + entry->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<char*>(byName->Name), function) != 0) continue;
            DWORD old = 0;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
            slots->u1.Function = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(replacement));
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            return true;
        }
    }
    return false;
}

int savingAnswer = 1;
int __cdecl isSaving(void*) { return savingAnswer; }
int windowUpdates = 0;
int __cdecl updateWindow(Word*) { return ++windowUpdates; }

HWND const kSettingsWindow = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x5e77));

// The loaded module with the host's side of the records.
struct WindowsModule {
    HMODULE library = nullptr;
    GetTableFn getTable = nullptr;
    Word* reg = nullptr;
    std::vector<Word> services = std::vector<Word>(22, 0);
    std::vector<int> tracks, checks;

    Word count(int word) const { return reg[word]; }
    const int* ints(int word) const { return at<const int>(reg[word]); }

    void resetValues() {
        tracks.assign(ints(kTrackDefaults), ints(kTrackDefaults) + count(kTrackCount));
        checks.assign(ints(kCheckDefaults), ints(kCheckDefaults) + count(kCheckCount));
        reg[kTrackValues] = wordOf(tracks.data());
        reg[kCheckValues] = wordOf(checks.data());
    }
    bool setTrack(int i, int v) {
        if (i < 0 || static_cast<Word>(i) >= count(kTrackCount)) return false;
        tracks[static_cast<std::size_t>(i)] = v;
        return true;
    }
    bool setCheck(int i, int v) {
        if (i < 0 || static_cast<Word>(i) >= count(kCheckCount)) return false;
        checks[static_cast<std::size_t>(i)] = v;
        return true;
    }
    // Reads the record as the editor does when it (re)loads its filters, and fills the
    // host's words.
    bool registerFilter() {
        Word* const previous = reg;
        reg = getTable();
        check(reg != nullptr, "GetFilterTable returns a record");
        if (reg == nullptr) return false;
        check(previous == nullptr || reg == previous,
              "every GetFilterTable call returns the same record");
        services[5] = wordOf(&isSaving);
        services[21] = wordOf(&updateWindow);
        reg[kServices] = wordOf(services.data());
        reg[kWindow] = wordOf(kSettingsWindow);
        return true;
    }
    int update() { return at<std::remove_pointer_t<UpdateFn>>(reg[kUpdate])(reg, 0); }
    int exit() { return at<std::remove_pointer_t<RegFn>>(reg[kExit])(reg); }
    int process(std::int16_t* frame, const cross::Case& c) {
        Word request[16] = {};
        request[1] = wordOf(frame);
        request[3] = static_cast<Word>(c.width);
        request[4] = static_cast<Word>(c.height);
        request[5] = static_cast<Word>(c.stride);
        request[6] = static_cast<Word>(c.height);
        request[7] = static_cast<Word>(c.frame);
        request[8] = 100000;
        request[15] = 0xed17;  // the edit handle, handed back to the saving query
        return at<std::remove_pointer_t<ProcessFn>>(reg[kProcess])(reg, request);
    }
};

bool load(const char* path, WindowsModule& m) {
    m.library = LoadLibraryA(path);
    if (m.library == nullptr) {
        std::printf("FAIL: %s: LoadLibraryA failed (error %lu)\n", path, GetLastError());
        return false;
    }
    m.getTable = reinterpret_cast<GetTableFn>(
        reinterpret_cast<void*>(GetProcAddress(m.library, "GetFilterTable")));
    if (m.getTable == nullptr) {
        std::printf("FAIL: %s: no export named GetFilterTable\n", path);
        return false;
    }
    check(replaceImport(m.library, "USER32.dll", "MessageBoxA",
                        reinterpret_cast<void*>(&caughtMessageBox)),
          "the module imports USER32!MessageBoxA");
    check(replaceImport(m.library, "USER32.dll", "SetWindowTextA",
                        reinterpret_cast<void*>(&caughtSetWindowText)),
          "the module imports USER32!SetWindowTextA");
    // Loading put the module's folder at the end of PATH, after a ';'.
    char file[MAX_PATH] = {};
    GetModuleFileNameA(m.library, file, MAX_PATH);
    std::string folder = file;
    folder.resize(folder.find_last_of('\\') == std::string::npos ? 0 : folder.find_last_of('\\'));
    std::vector<char> variable(32768);
    variable.resize(
        GetEnvironmentVariableA("PATH", variable.data(), static_cast<DWORD>(variable.size())));
    const std::string value(variable.begin(), variable.end()), tail = ";" + folder;
    check(!folder.empty() && value.size() >= tail.size() &&
              value.compare(value.size() - tail.size(), tail.size(), tail) == 0,
          "PATH ends with ;" + folder + ": " + value);
    return m.registerFilter();
}

// The record's words, by position; names, defaults and ranges go to the dump.
cross::RegistrationView readRegistration(const WindowsModule& m) {
    const Word* w = m.reg;
    check(w[kFlags] == 0x40040000u, "word 0 holds the flags 0x40040000");
    check(std::strcmp(at<const char>(w[kName]), "Morvane") == 0, "word 3 names the filter");
    check(std::strcmp(at<const char>(w[kInformation]), "Morvane0.06") == 0,
          "word 21 holds the information string");
    check(w[kTrackCount] == 23 && w[kCheckCount] == 7, "23 sliders and 7 check boxes");
    for (int word : {kTrackNames, kTrackDefaults, kTrackMinimums, kTrackMaximums, kCheckNames,
                     kCheckDefaults, kProcess, kExit, kUpdate, kWindowProc})
        check(w[word] != 0, "word " + std::to_string(word) + " is set");
    check(w[kInit] == 0, "word 13 (init) is empty");
    for (int word = 26; word < kRegistrationWords; ++word)
        check(w[word] == 0, "reserved word " + std::to_string(word) + " is zero");

    cross::RegistrationView view;
    view.flags = w[kFlags];
    view.name = at<const char>(w[kName]);
    view.information = at<const char>(w[kInformation]);
    const Word* trackNames = at<const Word>(w[kTrackNames]);
    for (Word i = 0; i < w[kTrackCount]; ++i) {
        view.trackNames.emplace_back(at<const char>(trackNames[i]));
        view.trackDefaults.push_back(m.ints(kTrackDefaults)[i]);
        view.trackMinimums.push_back(m.ints(kTrackMinimums)[i]);
        view.trackMaximums.push_back(m.ints(kTrackMaximums)[i]);
    }
    const Word* checkNames = at<const Word>(w[kCheckNames]);
    for (Word i = 0; i < w[kCheckCount]; ++i) {
        view.checkNames.emplace_back(at<const char>(checkNames[i]));
        view.checkDefaults.push_back(m.ints(kCheckDefaults)[i]);
    }
    return view;
}

// Bilinear (box 4) and bicubic (box 5) stay exclusive through the update callback.
void checkUpdate(WindowsModule& m) {
    m.resetValues();
    const int before = windowUpdates;
    m.checks[4] = 1;
    m.checks[5] = 1;
    check(m.update() == 1, "the update callback returns 1");
    check(m.checks[4] == 1 && m.checks[5] == 0, "switching both on keeps bilinear");
    m.checks[5] = 1;
    m.update();
    check(m.checks[4] == 0 && m.checks[5] == 1, "switching bicubic on switches bilinear off");
    check(windowUpdates == before + 2, "the update callback redraws the settings window");
    m.resetValues();
    m.update();
    auto windowProc = at<std::remove_pointer_t<WindowProcFn>>(m.reg[kWindowProc]);
    check(windowProc(kSettingsWindow, WM_COMMAND, nullptr, nullptr, nullptr, m.reg) == 0,
          "the window procedure returns 0");
}

// After a frame the title shows the time taken, unless the host is saving.
void checkTitle(WindowsModule& m, const cross::Case& c) {
    m.resetValues();
    std::vector<std::int16_t> frame = cross::testFrame(c);
    savingAnswer = 0;
    const int before = shown.titles;
    check(m.process(frame.data(), c) == 1, "a previewed frame is processed");
    check(shown.titles == before + 1 && shown.titleWindow == kSettingsWindow,
          "a previewed frame sets the settings window's title");
    unsigned elapsed = 0;
    check(std::sscanf(shown.title.c_str(), "Morvane time:%u", &elapsed) == 1,
          "the title reads \"Morvane time:N\", not \"" + shown.title + "\"");
    savingAnswer = 1;
    m.process(frame.data(), c);
    check(shown.titles == before + 1, "a frame being saved leaves the title alone");
}

int checkModule(const char* modulePath, const char* casesPath, const std::string& outDir) {
    WindowsModule m;
    if (!load(modulePath, m)) return 1;
    const std::string dump = cross::dump(readRegistration(m));
    check(cross::writeFile(outDir + "/registration.txt", dump.data(), dump.size()),
          outDir + "/registration.txt is written");
    checkUpdate(m);

    std::string text, error;
    std::vector<cross::Case> cases;
    if (!cross::readFile(casesPath, text) || !cross::parseCases(text, cases, error)) {
        std::printf("FAIL: %s: %s\n", casesPath, error.empty() ? "cannot read" : error.c_str());
        return 1;
    }
    if (!cross::renderCases(m, cases, outDir, error)) check(false, error);
    check(shown.boxes == 0, "no message box while the patterns are there");
    if (!cases.empty()) {
        checkTitle(m, cases.front());
        // Closed and read again, as an editor does when it reloads its filters, the module
        // starts afresh and renders the same frame.
        check(m.exit() == 1, "the exit callback returns 1");
        m.registerFilter();
        std::string first;
        cross::readFile(outDir + "/" + cases.front().name + ".yc", first);
        const std::vector<cross::Case> again = {cases.front()};
        if (!cross::renderCases(m, again, outDir, error)) check(false, error);
        std::string second;
        cross::readFile(outDir + "/" + cases.front().name + ".yc", second);
        check(!first.empty() && first == second, "a frame after exit equals the first one");
    }
    m.exit();
    std::printf("%u cases rendered, %d failed checks\n", static_cast<unsigned>(cases.size()),
                failures);
    return failures == 0 ? 0 : 1;
}

// Without its pattern folder the module says so once, in a box owned by the settings window,
// and leaves frames and title untouched.
int checkMissingPatterns(const char* modulePath) {
    WindowsModule m;
    if (!load(modulePath, m)) return 1;
    m.resetValues();
    savingAnswer = 0;
    cross::Case c;
    std::vector<std::int16_t> frame = cross::testFrame(c);
    const std::vector<std::int16_t> original = frame;
    m.process(frame.data(), c);
    m.process(frame.data(), c);
    check(shown.boxes == 1, "one message box for two frames, not " + std::to_string(shown.boxes));
    check(shown.boxOwner == kSettingsWindow, "the box is owned by the settings window");
    check((shown.boxType & 0xF) == MB_OK, "the box has an OK button only");
    // "エラー" and " の読み込みに失敗しました" in code page 932.
    check(shown.boxCaption == "\x83G\x83\x89\x81[", "the caption reads \"エラー\"");
    const std::string tail =
        "/img/h0.bmp \x82\xCC\x93\xC7\x82\xDD\x8D\x9E\x82\xDD\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC"
        "\x82\xB5\x82\xBD";
    check(shown.boxText.size() > tail.size() &&
              shown.boxText.compare(shown.boxText.size() - tail.size(), tail.size(), tail) == 0,
          "the message names the first pattern file: " + cross::hexBytes(shown.boxText));
    check(frame == original, "the frame is left as it was");
    check(shown.titles == 0, "the title is left as it was");
    m.exit();
    std::printf("missing patterns: %d failed checks\n", failures);
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--missing") == 0) return checkMissingPatterns(argv[2]);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s MODULE CASES OUT_DIR | --missing MODULE\n", argv[0]);
        return 2;
    }
    return checkModule(argv[1], argv[2], argv[3]);
}
