// The built Drawlet.auf, loaded through the host kit as a host loads it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <set>
#include <string>
#include <string_view>

#include "kit/filter_host.h"
#include "kit/parameter_info.h"
#include "kit/text_encoding.h"
#include "temp_dir.h"

namespace drawlet {
namespace {

namespace fs = std::filesystem;

// The registered table, written out here from the readable names: each name is converted to
// code page 932 with iconv, so a wrong byte in a module literal shows as a mismatch.
struct Slider {
    const char* name;
    int def, min, max;
};
const Slider kSliders[23] = {
    {"モード", 1, 1, 5},          {"LineStep", 5, 1, 100},      {"抽出間隔", 54, 1, 100},
    {"Length", 0, -1000, 1000},   {"Width", 1, 0, 100},         {"Noise", 15, 0, 1000},
    {"VFlag", 0, -20, 9},         {"線濃度", 100, 0, 200},      {"ﾊﾟﾀｰﾝ№", 0, 0, 10},
    {"傾き", -100, -500, 500},    {"濃度上限", 100, 0, 100},    {"更新間隔", 1, 0, 100},
    {"乱数ｼｰﾄﾞ", 0, 0, 65536},    {"傾変動幅", 100, 0, 200},    {"X変動幅", 175, 0, 1000},
    {"Y変動幅", 175, 0, 1000},    {"拡大率", 100, 1, 1000},     {"回転角度", 0, -360, 360},
    {"彩度係数", 100, 0, 5000},   {"明度係数", 200, 0, 5000},   {"LineType", 0, 0, 3},
    {"CannyTh1", 2000, 0, 10000}, {"CannyTh2", 3000, 0, 10000},
};
const std::pair<const char*, int> kChecks[7] = {
    {"ライン", 1},
    {"ハッチング", 1},
    {"拡散", 0},
    {"ハッチングパターン反転", 0},
    {"ハッチング補間あり(ﾊﾞｲﾘﾆｱ)", 0},
    {"ハッチング補間あり(ﾊﾞｲｷｭｰﾋﾞｯｸ)", 0},
    {"マスク作成", 0},
};

TEST(ModuleFile, RegistrationRecordWordForWord) {
    kit::FilterHost host(DRAWLET_MODULE_PATH);
    const DrawletRegistration& reg = host.registration();
    EXPECT_EQ(reg.flags, 0x40040000);
    EXPECT_STREQ(reg.name, "Morvane");
    EXPECT_STREQ(reg.information, "Morvane0.06");
    ASSERT_EQ(reg.trackCount, 23);
    ASSERT_EQ(reg.checkCount, 7);
    for (int i = 0; i < 23; ++i) {
        SCOPED_TRACE(kSliders[i].name);
        EXPECT_EQ(std::string(reg.trackNames[i]), kit::utf8ToCp932(kSliders[i].name));
        EXPECT_EQ(reg.trackDefaults[i], kSliders[i].def);
        EXPECT_EQ(reg.trackMinimums[i], kSliders[i].min);
        EXPECT_EQ(reg.trackMaximums[i], kSliders[i].max);
    }
    for (int j = 0; j < 7; ++j) {
        SCOPED_TRACE(kChecks[j].first);
        EXPECT_EQ(std::string(reg.checkNames[j]), kit::utf8ToCp932(kChecks[j].first));
        EXPECT_EQ(reg.checkDefaults[j], kChecks[j].second);
    }
    EXPECT_NE(reg.process, nullptr);
    EXPECT_NE(reg.exit, nullptr);
    EXPECT_NE(reg.update, nullptr);
    EXPECT_EQ(reg.init, nullptr);
    EXPECT_EQ(reg.windowProc(nullptr, 1, nullptr, nullptr, nullptr, nullptr), 0);
}

// One record per registered parameter, in the module's order, found by its display name, its
// alias and (a slider) its index, carrying what people read about it: aliases unique, named
// values covering the registered range. A name the module lacks is an error naming it.
TEST(ModuleFile, EveryParameterIsOneRecordFoundByNameAliasAndIndex) {
    kit::FilterHost host(DRAWLET_MODULE_PATH);
    const std::vector<kit::Parameter>& parameters = host.parameters();
    ASSERT_EQ(parameters.size(), kit::parameterTable().size());
    std::set<std::string> aliases;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const kit::Parameter& p = parameters[i];
        const bool slider = p.kind == kit::ParameterKind::Slider;
        SCOPED_TRACE(p.name);
        EXPECT_EQ(p.rawName, kit::parameterTable()[i].moduleName);
        EXPECT_EQ(p.alias, kit::parameterTable()[i].alias);
        EXPECT_EQ(p.key(), p.alias);
        EXPECT_EQ(&host.parameter(p.name), &p);
        EXPECT_EQ(&host.parameter(p.alias), &p);
        EXPECT_EQ(host.find(std::to_string(p.index)) == &p, slider);  // "0" is slider 0
        EXPECT_TRUE(aliases.insert(p.alias).second);
        EXPECT_NE(p.label, p.name);
        EXPECT_FALSE(p.description.empty());
        EXPECT_NE(p.group, "Other");
        EXPECT_EQ(p.unit == "on/off", !slider);
        if (!p.choices.empty()) {
            EXPECT_EQ(p.choices.front().value, p.minimum);
            EXPECT_EQ(p.choices.back().value, p.maximum);
            EXPECT_EQ(static_cast<int>(p.choices.size()), p.maximum - p.minimum + 1);
        }
    }
    // "23": check boxes are found by name only.
    for (const std::string missing : {"no-such-slider", "", "23", "-1", "Mode"}) {
        SCOPED_TRACE(missing);
        EXPECT_EQ(host.find(missing), nullptr);
        try {
            host.parameter(missing);
            ADD_FAILURE() << "found";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find('"' + missing + '"'), std::string::npos)
                << e.what();
        }
    }
    // Another module's parameter, which the table does not know, keys by its name.
    const kit::Parameter other =
        kit::describeParameter(kit::ParameterKind::Slider, 0, "x", "x", 0, 0, 1);
    EXPECT_EQ(other.key(), "x");
    EXPECT_EQ(other.label, "x");
    EXPECT_EQ(other.group, "Other");
}

TEST(ModuleFile, ExportsOnlyTheTable) {
    void* handle = dlopen(DRAWLET_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto getTable = reinterpret_cast<DrawletGetFilterTableFn>(dlsym(handle, "GetFilterTable"));
    ASSERT_NE(getTable, nullptr);
    EXPECT_EQ(getTable(), getTable());  // one record, however often it is asked for
    for (const char* internal :
         {"_ZN7drawlet13registerFilterEv", "_ZN7drawlet15onProcessAttachEv",
          "_ZN7drawlet14renderHatchingEv", "_ZN7drawlet9drawLinesEv", "_ZN7drawlet9moduleDirE"})
        EXPECT_EQ(dlsym(handle, internal), nullptr) << internal;
    dlclose(handle);
}

// A host that loads and unloads the module again and again (a new filter graph per file)
// must not lengthen PATH each time: the module's folder is added once.
TEST(ModuleFile, LoadsAnyNumberOfTimesWithoutLengtheningPath) {
    std::string afterFirst;
    for (int cycle = 0; cycle < 1000; ++cycle) {
        void* handle = dlopen(DRAWLET_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        dlclose(handle);
        const char* path = std::getenv("PATH");
        ASSERT_NE(path, nullptr);
        if (cycle == 0) afterFirst = path;
        ASSERT_EQ(path, afterFirst) << "after " << cycle + 1 << " loads";
    }
}

TEST(ModuleFile, UnloadableFilesNameTheFileAndTheReason) {
    try {
        kit::FilterHost host("/nonexistent/Drawlet.auf");
        FAIL() << "loaded a missing file";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/Drawlet.auf"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("No such file"), std::string::npos) << e.what();
    }
    // A shared library without the entry point: the maths library this test uses.
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(static_cast<double (*)(double)>(&::cos)), &info), 0);
    try {
        kit::FilterHost host(info.dli_fname);
        FAIL() << "accepted a library without GetFilterTable";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("GetFilterTable"), std::string::npos) << e.what();
    }
}

// A copy of the module in a folder of its own is a separate instance: it records that folder
// and appends it to PATH, and reads its patterns from there.
TEST(ModuleFile, LoadRecordsItsDirectoryAndExtendsPath) {
    const drawlet::test::TempDir temp;
    const fs::path& dir = temp.path();
    fs::copy_file(DRAWLET_MODULE_PATH, dir / "Drawlet.auf");
    fs::create_directories(dir / "Drawlet" / "img");
    for (int i = 0; i < 7; ++i)
        ASSERT_TRUE(
            cv::imwrite((dir / "Drawlet" / "img" / ("h" + std::to_string(i) + ".bmp")).string(),
                        cv::Mat(4, 4, CV_8UC1, cv::Scalar(255 - 30 * i))));
    const std::string before = std::getenv("PATH") ? std::getenv("PATH") : "";
    {
        kit::FilterHost host((dir / "Drawlet.auf").string());
        EXPECT_EQ(std::string(std::getenv("PATH")), before + ":" + dir.string());
        host.checks()[0] = 0;   // lines off
        host.sliders()[0] = 4;  // mode 4 shows the pattern itself as gray
        const cv::Mat gray(3, 5, CV_8UC3, cv::Scalar(60, 60, 60));
        const std::optional<cv::Mat> out = host.processBgr(gray, 0);
        ASSERT_TRUE(out.has_value());
        EXPECT_TRUE(host.messages().empty());
        // This folder's flat patterns give a flat gray (the bundled ones are hatched): gray 60
        // takes pattern h3, 255 - 3 * 30.
        double low = 0, high = 0;
        cv::minMaxLoc(out->reshape(1), &low, &high);
        EXPECT_EQ(low, 165);
        EXPECT_EQ(high, 165);
    }
    setenv("PATH", before.c_str(), 1);
}

}  // namespace
}  // namespace drawlet
