// Registration record, parameter table and name dictionaries, called directly.
#include "host/registration.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "hatching/pattern_bank.h"
#include "host/update_exit.h"
#include "interface/parameters.h"
#include "kit/text_encoding.h"

namespace drawlet {
namespace {

using kit::utf8ToCp932;

TEST(Registration, RecordWordsAndTables) {
    DrawletRegistration* reg = GetFilterTable();
    ASSERT_NE(reg, nullptr);
    EXPECT_EQ(reg->flags, 0x40040000);
    EXPECT_STREQ(reg->name, "Morvane");
    EXPECT_STREQ(reg->information, "Morvane0.06");
    EXPECT_EQ(reg->trackCount, 23);
    EXPECT_EQ(reg->checkCount, 7);
    EXPECT_NE(reg->process, nullptr);
    EXPECT_NE(reg->exit, nullptr);
    EXPECT_NE(reg->update, nullptr);
    EXPECT_NE(reg->windowProc, nullptr);
    EXPECT_EQ(reg->init, nullptr);
    EXPECT_EQ(reg->windowX, 0);
    EXPECT_EQ(reg->extraData, nullptr);
}

TEST(Registration, RepeatedCallsKeepOneRecordAndExactDictionaries) {
    DrawletRegistration* first = GetFilterTable();
    DrawletRegistration* second = GetFilterTable();
    EXPECT_EQ(first, second);
    EXPECT_EQ(trackIndexByName.size(), 23u);
    EXPECT_EQ(checkIndexByName.size(), 7u);
    for (int i = 0; i < 23; ++i) EXPECT_EQ(trackIndexByName.at(first->trackNames[i]), i);
    for (int j = 0; j < 7; ++j) EXPECT_EQ(checkIndexByName.at(first->checkNames[j]), j);
}

// The names are looked up by their CP932 bytes, converted here from readable text.
TEST(Registration, LookupByDisplayName) {
    GetFilterTable();
    EXPECT_EQ(trackIndexByName.at(utf8ToCp932("ﾊﾟﾀｰﾝ№")), 8);
    EXPECT_EQ(trackIndexByName.at(utf8ToCp932("乱数ｼｰﾄﾞ")), 12);
    EXPECT_EQ(trackIndexByName.at(utf8ToCp932("モード")), 0);
    EXPECT_EQ(trackIndexByName.at("CannyTh2"), 22);
    EXPECT_EQ(checkIndexByName.at(utf8ToCp932("ハッチング補間あり(ﾊﾞｲｷｭｰﾋﾞｯｸ)")), 5);
    EXPECT_EQ(checkIndexByName.at(utf8ToCp932("マスク作成")), 6);
    EXPECT_EQ(trackIndexByName.count(utf8ToCp932("パターン№")), 0u);  // full-width is another name
}

TEST(Registration, LoadedPatternNumberResetAtEveryRegistration) {
    loadedPatternNo = 3;
    GetFilterTable();
    EXPECT_EQ(loadedPatternNo, -100);
}

TEST(Registration, PreviousChecksSurviveRepeatedRegistration) {
    DrawletRegistration* reg = GetFilterTable();
    ASSERT_EQ(previousChecks.size(), 7u);
    int checks[7] = {1, 0, 1, 0, 0, 1, 1};
    int sliders[23] = {};
    reg->checkValues = checks;
    reg->trackValues = sliders;
    reg->services = nullptr;
    updateCallback(reg, 0);
    GetFilterTable();
    EXPECT_EQ(previousChecks, (std::vector<int>{1, 0, 1, 0, 0, 1, 1}));
    reg->checkValues = nullptr;
    reg->trackValues = nullptr;
}

TEST(Registration, WindowProcedureAlwaysAnswersZero) {
    DrawletRegistration* reg = GetFilterTable();
    EXPECT_EQ(reg->windowProc(nullptr, 0, nullptr, nullptr, nullptr, reg), 0);
    EXPECT_EQ(reg->windowProc(nullptr, 0x0111, nullptr, nullptr, nullptr, nullptr), 0);
}

TEST(ParameterTable, DefaultsLieWithinRangesAndNamesAreUnique) {
    std::set<std::string> names;
    for (const TrackSpec& t : TrackTable) {
        EXPECT_LE(t.minimum, t.defaultValue) << t.name;
        EXPECT_LE(t.defaultValue, t.maximum) << t.name;
        EXPECT_TRUE(names.insert(t.name).second) << t.name;
    }
    for (const CheckSpec& c : CheckTable) {
        EXPECT_TRUE(c.defaultValue == 0 || c.defaultValue == 1) << c.name;
        EXPECT_TRUE(names.insert(c.name).second) << c.name;
    }
}

TEST(ParameterLookup, UnregisteredNameOrMissingArrayThrows) {
    DrawletRegistration* reg = GetFilterTable();
    reg->trackValues = nullptr;
    EXPECT_THROW(trackValue(*reg, track::kMode), std::out_of_range);
    int sliders[23] = {};
    reg->trackValues = sliders;
    EXPECT_THROW(trackValue(*reg, "NoSuchSlider"), std::out_of_range);
    sliders[20] = 3;
    EXPECT_EQ(trackValue(*reg, "LineType"), 3);
    reg->trackValues = nullptr;
}

}  // namespace
}  // namespace drawlet
