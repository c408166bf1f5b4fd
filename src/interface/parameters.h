// The filter's sliders and check boxes: one table, read by the registration record, by the
// name lookups of every reader and by the hosts. Names are code page 932 byte strings.
#pragma once

#include <array>

namespace drawlet {

struct TrackSpec {
    const char* name;
    int defaultValue;
    int minimum;
    int maximum;
};

struct CheckSpec {
    const char* name;
    int defaultValue;
};

namespace track {
inline constexpr char kMode[] = "\x83\x82\x81[\x83h";                      // モード
inline constexpr char kLineStep[] = "LineStep";                            // LineStep
inline constexpr char kExtractInterval[] = "\x92\x8A\x8Fo\x8A\xD4\x8Au";   // 抽出間隔
inline constexpr char kLength[] = "Length";                                // Length
inline constexpr char kWidth[] = "Width";                                  // Width
inline constexpr char kNoise[] = "Noise";                                  // Noise
inline constexpr char kVFlag[] = "VFlag";                                  // VFlag
inline constexpr char kLineDensity[] = "\x90\xFC\x94Z\x93x";               // 線濃度
inline constexpr char kPatternNo[] = "\xCA\xDF\xC0\xB0\xDD\x87\x82";       // ﾊﾟﾀｰﾝ№
inline constexpr char kTilt[] = "\x8CX\x82\xAB";                           // 傾き
inline constexpr char kDensityLimit[] = "\x94Z\x93x\x8F\xE3\x8C\xC0";      // 濃度上限
inline constexpr char kUpdateInterval[] = "\x8DX\x90V\x8A\xD4\x8Au";       // 更新間隔
inline constexpr char kRandomSeed[] = "\x97\x90\x90\x94\xBC\xB0\xC4\xDE";  // 乱数ｼｰﾄﾞ
inline constexpr char kTiltJitter[] = "\x8CX\x95\xCF\x93\xAE\x95\x9D";     // 傾変動幅
inline constexpr char kXJitter[] = "X\x95\xCF\x93\xAE\x95\x9D";            // X変動幅
inline constexpr char kYJitter[] = "Y\x95\xCF\x93\xAE\x95\x9D";            // Y変動幅
inline constexpr char kPatternScale[] = "\x8Ag\x91\xE5\x97\xA6";           // 拡大率
inline constexpr char kPatternAngle[] = "\x89\xF1\x93]\x8Ap\x93x";         // 回転角度
inline constexpr char kSaturationGain[] = "\x8D\xCA\x93x\x8CW\x90\x94";    // 彩度係数
inline constexpr char kBrightnessGain[] = "\x96\xBE\x93x\x8CW\x90\x94";    // 明度係数
inline constexpr char kLineType[] = "LineType";                            // LineType
inline constexpr char kCannyTh1[] = "CannyTh1";                            // CannyTh1
inline constexpr char kCannyTh2[] = "CannyTh2";                            // CannyTh2
}  // namespace track

namespace check {
inline constexpr char kLine[] =
    "\x83\x89\x83"
    "C\x83\x93";  // ライン
inline constexpr char kHatching[] =
    "\x83n\x83"
    "b\x83`\x83\x93\x83O";                          // ハッチング
inline constexpr char kDiffusion[] = "\x8Ag\x8EU";  // 拡散
// ハッチングパターン反転
inline constexpr char kInvert[] =
    "\x83n\x83"
    "b\x83`\x83\x93\x83O\x83p\x83^\x81[\x83\x93\x94\xBD\x93]";
// ハッチング補間あり(ﾊﾞｲﾘﾆｱ)
inline constexpr char kBilinear[] =
    "\x83n\x83"
    "b\x83`\x83\x93\x83O\x95\xE2\x8A\xD4\x82\xA0\x82\xE8(\xCA\xDE\xB2\xD8\xC6\xB1)";
// ハッチング補間あり(ﾊﾞｲｷｭｰﾋﾞｯｸ)
inline constexpr char kBicubic[] =
    "\x83n\x83"
    "b\x83`\x83\x93\x83O\x95\xE2\x8A\xD4\x82\xA0\x82\xE8"
    "(\xCA\xDE\xB2\xB7\xAD\xB0\xCB\xDE\xAF\xB8)";
inline constexpr char kMask[] = "\x83}\x83X\x83N\x8D\xEC\x90\xAC";  // マスク作成
}  // namespace check

inline constexpr int kTrackCount = 23;
inline constexpr int kCheckCount = 7;

// Sliders in registration order: the index is the position in the host's value array.
inline constexpr std::array<TrackSpec, kTrackCount> TrackTable = {{
    {track::kMode, 1, 1, 5},
    {track::kLineStep, 5, 1, 100},
    {track::kExtractInterval, 54, 1, 100},
    {track::kLength, 0, -1000, 1000},
    {track::kWidth, 1, 0, 100},
    {track::kNoise, 15, 0, 1000},
    {track::kVFlag, 0, -20, 9},
    {track::kLineDensity, 100, 0, 200},
    {track::kPatternNo, 0, 0, 10},
    {track::kTilt, -100, -500, 500},
    {track::kDensityLimit, 100, 0, 100},
    {track::kUpdateInterval, 1, 0, 100},
    {track::kRandomSeed, 0, 0, 65536},
    {track::kTiltJitter, 100, 0, 200},
    {track::kXJitter, 175, 0, 1000},
    {track::kYJitter, 175, 0, 1000},
    {track::kPatternScale, 100, 1, 1000},
    {track::kPatternAngle, 0, -360, 360},
    {track::kSaturationGain, 100, 0, 5000},
    {track::kBrightnessGain, 200, 0, 5000},
    {track::kLineType, 0, 0, 3},
    {track::kCannyTh1, 2000, 0, 10000},
    {track::kCannyTh2, 3000, 0, 10000},
}};

// Check boxes in registration order.
inline constexpr std::array<CheckSpec, kCheckCount> CheckTable = {{
    {check::kLine, 1},
    {check::kHatching, 1},
    {check::kDiffusion, 0},
    {check::kInvert, 0},
    {check::kBilinear, 0},
    {check::kBicubic, 0},
    {check::kMask, 0},
}};

inline constexpr char kDisplayName[] = "Morvane";
inline constexpr char kInformation[] = "Morvane0.06";

}  // namespace drawlet
