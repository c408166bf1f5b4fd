// What the Windows test host and its Linux counterpart share, so that both feed the module
// the same frames and settings and write what it returns in the same form: the test
// picture, the list of cases, and the text dump of the registration record. Standard C++
// only: it is compiled by both toolchains.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace cross {

// One frame request of the comparison: a size, a row stride, a frame number and the slider
// and check-box values changed from the defaults (by index).
struct Case {
    std::string name;
    int width = 320;
    int height = 240;
    int stride = 320;
    int frame = 0;
    std::vector<std::pair<int, int>> tracks;
    std::vector<std::pair<int, int>> checks;
};

// Lines of "name key=value ...": w, h, stride, frame, tN (slider N), cN (check box N).
// '#' starts a comment. Returns false with `error` set on a malformed line.
inline bool parseCases(const std::string& text, std::vector<Case>& cases, std::string& error) {
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        const auto hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        std::istringstream words(line);
        Case c;
        if (!(words >> c.name)) continue;
        std::string word;
        while (words >> word) {
            const auto eq = word.find('=');
            int value = 0;
            if (eq == std::string::npos || eq == 0 ||
                std::sscanf(word.c_str() + eq + 1, "%d", &value) != 1) {
                error = "line " + std::to_string(number) + ": not key=value: " + word;
                return false;
            }
            const std::string key = word.substr(0, eq);
            int index = 0;
            if (key == "w") {
                c.width = value;
            } else if (key == "h") {
                c.height = value;
            } else if (key == "stride") {
                c.stride = value;
            } else if (key == "frame") {
                c.frame = value;
            } else if ((key[0] == 't' || key[0] == 'c') &&
                       std::sscanf(key.c_str() + 1, "%d", &index) == 1) {
                (key[0] == 't' ? c.tracks : c.checks).emplace_back(index, value);
            } else {
                error = "line " + std::to_string(number) + ": unknown key " + key;
                return false;
            }
        }
        if (c.width < 1 || c.height < 1 || c.stride < c.width) {
            error = "line " + std::to_string(number) + ": bad frame size";
            return false;
        }
        cases.push_back(c);
    }
    return true;
}

inline bool readFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

inline bool writeFile(const std::string& path, const void* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

// The host frame of a case as y, cb, cr triples, `stride` pixels a row. The picture has
// every luma level (a diagonal gradient), hard-edged shapes of different luma and of equal
// luma but different colour (for the colour-edge strokes), and a fine texture. The pixels
// past the width hold a fixed marker, so that a write beyond the width shows up.
inline std::vector<std::int16_t> testFrame(const Case& c) {
    std::vector<std::int16_t> frame(static_cast<std::size_t>(c.stride) * c.height * 3);
    for (int y = 0; y < c.height; ++y) {
        std::int16_t* row = frame.data() + static_cast<std::size_t>(y) * c.stride * 3;
        for (int x = 0; x < c.stride; ++x) {
            std::int16_t* p = row + x * 3;
            if (x >= c.width) {
                p[0] = 1234;
                p[1] = -567;
                p[2] = 89;
                continue;
            }
            int luma = (x * 2048) / c.width + (y * 2048) / c.height;
            int cb = 0, cr = 0;
            const int dx = x - c.width / 3, dy = y - c.height / 2;
            if (dx * dx + dy * dy < (c.height / 4) * (c.height / 4)) luma = 3600;
            if (x > c.width * 3 / 5 && x < c.width * 4 / 5 && y > c.height / 5 &&
                y < c.height * 2 / 5)
                luma = 400;
            if (x > c.width / 2 && y > c.height * 3 / 5) {  // two colours of one luma
                luma = 2000;
                cb = x < c.width * 3 / 4 ? 900 : -900;
                cr = x < c.width * 3 / 4 ? -600 : 700;
            }
            const std::uint32_t hash = (static_cast<std::uint32_t>(x) * 73856093u) ^
                                       (static_cast<std::uint32_t>(y) * 19349663u);
            luma += static_cast<int>(hash % 97) - 48;
            p[0] = static_cast<std::int16_t>(luma < 0 ? 0 : luma > 4096 ? 4096 : luma);
            p[1] = static_cast<std::int16_t>(cb + ((x / 8 + y / 8) % 2 ? 120 : -120));
            p[2] = static_cast<std::int16_t>(cr);
        }
    }
    return frame;
}

// The registration record as both hosts see it, with names as the module's bytes.
struct RegistrationView {
    std::uint32_t flags = 0;
    std::string name;
    std::string information;
    std::vector<std::string> trackNames;
    std::vector<int> trackDefaults, trackMinimums, trackMaximums;
    std::vector<std::string> checkNames;
    std::vector<int> checkDefaults;
};

inline std::string hexBytes(const std::string& bytes) {
    std::string out;
    char digits[4];
    for (unsigned char b : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", b);
        out += digits;
    }
    return out;
}

inline std::string dump(const RegistrationView& r) {
    std::ostringstream out;
    char flags[16];
    std::snprintf(flags, sizeof flags, "%08x", r.flags);
    out << "flags " << flags << "\nname " << hexBytes(r.name) << "\ninformation "
        << hexBytes(r.information) << "\ntracks " << r.trackNames.size() << '\n';
    for (std::size_t i = 0; i < r.trackNames.size(); ++i)
        out << "track " << i << ' ' << hexBytes(r.trackNames[i]) << ' ' << r.trackDefaults[i] << ' '
            << r.trackMinimums[i] << ' ' << r.trackMaximums[i] << '\n';
    out << "checks " << r.checkNames.size() << '\n';
    for (std::size_t i = 0; i < r.checkNames.size(); ++i)
        out << "check " << i << ' ' << hexBytes(r.checkNames[i]) << ' ' << r.checkDefaults[i]
            << '\n';
    return out.str();
}

}  // namespace cross

namespace cross {

// Renders every case through `module` and writes each returned frame buffer (all rows, the
// whole stride) to OUT_DIR/NAME.yc. Module gives: resetValues(), setTrack(i, v),
// setCheck(i, v) (false when out of the record's counts), update(), and
// process(frame, case) returning the callback's result.
template <class Module>
bool renderCases(Module& module, const std::vector<Case>& cases, const std::string& outDir,
                 std::string& error) {
    for (const Case& c : cases) {
        module.resetValues();
        for (const auto& [index, value] : c.tracks)
            if (!module.setTrack(index, value)) {
                error = c.name + ": no slider " + std::to_string(index);
                return false;
            }
        for (const auto& [index, value] : c.checks)
            if (!module.setCheck(index, value)) {
                error = c.name + ": no check box " + std::to_string(index);
                return false;
            }
        // As a settings window does after a change: the module keeps the boxes consistent.
        module.update();
        std::vector<std::int16_t> frame = testFrame(c);
        if (module.process(frame.data(), c) == 0) {
            error = c.name + ": the processing callback failed";
            return false;
        }
        const std::string path = outDir + "/" + c.name + ".yc";
        if (!writeFile(path, frame.data(), frame.size() * sizeof(std::int16_t))) {
            error = path + ": cannot write";
            return false;
        }
    }
    return true;
}

}  // namespace cross
