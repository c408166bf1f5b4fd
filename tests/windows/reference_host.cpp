// The Linux side of the Windows comparison: loads the Linux Drawlet.auf through the
// interface header and renders the cases the Windows test host renders.
//
//   drawlet_reference_host MODULE CASES OUT_DIR
//
// Writes OUT_DIR/registration.txt and one OUT_DIR/NAME.yc per case.
#include <dlfcn.h>

#include <cstdio>
#include <vector>

#include "cross_host.h"
#include "interface/drawlet_filter.h"

namespace {

struct LinuxModule {
    DrawletRegistration* reg;
    std::vector<int> tracks, checks;
    DrawletHostServices services{};
    DrawletSettingsWindow window{};

    void resetValues() {
        tracks.assign(reg->trackDefaults, reg->trackDefaults + reg->trackCount);
        checks.assign(reg->checkDefaults, reg->checkDefaults + reg->checkCount);
        reg->trackValues = tracks.data();
        reg->checkValues = checks.data();
    }
    bool setTrack(int i, int v) {
        if (i < 0 || i >= reg->trackCount) return false;
        tracks[static_cast<std::size_t>(i)] = v;
        return true;
    }
    bool setCheck(int i, int v) {
        if (i < 0 || i >= reg->checkCount) return false;
        checks[static_cast<std::size_t>(i)] = v;
        return true;
    }
    void update() { reg->update(reg, 0); }
    int process(std::int16_t* frame, const cross::Case& c) {
        DrawletFrameRequest request{};
        request.frame = reinterpret_cast<DrawletPixelYC*>(frame);
        request.width = c.width;
        request.height = c.height;
        request.rowStride = c.stride;
        request.maxHeight = c.height;
        request.frameNumber = c.frame;
        request.frameCount = 100000;
        return reg->process(reg, &request);
    }
};

int isSaving(void*) { return 1; }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s MODULE CASES OUT_DIR\n", argv[0]);
        return 2;
    }
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "%s: %s\n", argv[1], dlerror());
        return 1;
    }
    auto getTable = reinterpret_cast<DrawletGetFilterTableFn>(dlsym(library, "GetFilterTable"));
    if (getTable == nullptr) {
        std::fprintf(stderr, "%s: no GetFilterTable\n", argv[1]);
        return 1;
    }
    LinuxModule module{getTable(), {}, {}, {}, {}};
    DrawletRegistration* reg = module.reg;
    module.services.isSaving = isSaving;
    reg->services = &module.services;
    reg->settingsWindow = &module.window;

    cross::RegistrationView view;
    view.flags = static_cast<std::uint32_t>(reg->flags);
    view.name = reg->name;
    view.information = reg->information;
    for (int i = 0; i < reg->trackCount; ++i) {
        view.trackNames.emplace_back(reg->trackNames[i]);
        view.trackDefaults.push_back(reg->trackDefaults[i]);
        view.trackMinimums.push_back(reg->trackMinimums[i]);
        view.trackMaximums.push_back(reg->trackMaximums[i]);
    }
    for (int i = 0; i < reg->checkCount; ++i) {
        view.checkNames.emplace_back(reg->checkNames[i]);
        view.checkDefaults.push_back(reg->checkDefaults[i]);
    }
    const std::string outDir = argv[3];
    const std::string text = cross::dump(view);
    if (!cross::writeFile(outDir + "/registration.txt", text.data(), text.size())) {
        std::fprintf(stderr, "%s: cannot write\n", outDir.c_str());
        return 1;
    }

    std::string casesText, error;
    std::vector<cross::Case> cases;
    if (!cross::readFile(argv[2], casesText) || !cross::parseCases(casesText, cases, error)) {
        std::fprintf(stderr, "%s: %s\n", argv[2], error.empty() ? "cannot read" : error.c_str());
        return 1;
    }
    if (!cross::renderCases(module, cases, outDir, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    reg->exit(reg);
    std::printf("%zu cases rendered into %s\n", cases.size(), outDir.c_str());
    return 0;
}
