#include "kit/parameter_info.h"

#include <array>

namespace drawlet::kit {

namespace {

constexpr std::array<Choice, 5> kModes = {{{1, "scratchboard"},
                                           {2, "white ink on black"},
                                           {3, "pen and wash"},
                                           {4, "pencil on white"},
                                           {5, "colour hatching"}}};

constexpr std::array<Choice, 4> kLineTypes = {{{0, "brightness levels"},
                                               {1, "Canny of brightness"},
                                               {2, "Canny of colour"},
                                               {3, "Canny of colour and brightness"}}};

constexpr std::array<ParameterInfo, 30> kTable = {{
    {"モード", "mode", "Mode", "", "the preset of tone mapping, line strength and background",
     kModes},
    {"LineStep",
     "line-step",
     "Line step",
     "points",
     "contour points between two stroke samples",
     {}},
    {"抽出間隔",
     "extract-interval",
     "Level interval",
     "levels",
     "step between the brightness levels traced (line type 0)",
     {}},
    {"Length",
     "line-length",
     "Line length",
     "points",
     "extra length of each contour stroke, in contour points",
     {}},
    {"Width",
     "line-width",
     "Line width",
     "px",
     "stroke thickness in pixels (0 draws the thinnest line)",
     {}},
    {"Noise",
     "noise",
     "Colour-step threshold",
     "",
     "0: strokes along every contour; above 0: only across colour steps larger than this",
     {}},
    {"VFlag",
     "tone-curve",
     "Tone curve",
     "",
     "above 0 brightens the mid-tones, below 0 darkens",
     {}},
    {"線濃度", "line-density", "Line density", "%", "stroke strength", {}},
    {"ﾊﾟﾀｰﾝ№",
     "pattern",
     "Pattern set",
     "",
     "hatching pattern set number (folder img, img1, img2, ...)",
     {}},
    {"傾き", "tilt", "Tilt", "1/100", "slope of the hatching", {}},
    {"濃度上限", "density-limit", "Density limit", "%", "darkest shade the hatching may reach", {}},
    {"更新間隔",
     "update-interval",
     "Update interval",
     "frames",
     "frames that share one hatching jitter (0: never changes)",
     {}},
    {"乱数ｼｰﾄﾞ", "seed", "Random seed", "", "random seed of the hatching jitter", {}},
    {"傾変動幅",
     "tilt-jitter",
     "Tilt jitter",
     "1/100",
     "random spread of the slope per update",
     {}},
    {"X変動幅",
     "x-jitter",
     "X jitter",
     "px",
     "random horizontal offset of the patterns per update",
     {}},
    {"Y変動幅",
     "y-jitter",
     "Y jitter",
     "px",
     "random vertical offset of the patterns per update",
     {}},
    {"拡大率", "pattern-scale", "Pattern scale", "%", "size of the hatching patterns", {}},
    {"回転角度", "pattern-angle", "Pattern angle", "°", "rotation of the hatching patterns", {}},
    {"彩度係数", "saturation", "Saturation", "%", "saturation factor", {}},
    {"明度係数", "brightness", "Brightness", "%", "brightness factor", {}},
    {"LineType", "line-type", "Line type", "", "the edges that strokes follow", kLineTypes},
    {"CannyTh1",
     "canny-low",
     "Canny threshold 1",
     "",
     "first Canny threshold (line types 1 to 3)",
     {}},
    {"CannyTh2",
     "canny-high",
     "Canny threshold 2",
     "",
     "second Canny threshold (line types 1 to 3)",
     {}},
    {"ライン", "lines", "Lines", "on/off", "draw strokes along the edges", {}},
    {"ハッチング",
     "hatching",
     "Hatching",
     "on/off",
     "hatch the picture (off: flat background)",
     {}},
    {"拡散",
     "diffusion",
     "Diffusion",
     "on/off",
     "jitter every pixel's pattern position for a grainier look",
     {}},
    {"ハッチングパターン反転",
     "invert-pattern",
     "Invert patterns",
     "on/off",
     "reverse the order of the patterns",
     {}},
    {"ハッチング補間あり(ﾊﾞｲﾘﾆｱ)",
     "bilinear",
     "Bilinear sampling",
     "on/off",
     "sample the patterns bilinearly",
     {}},
    {"ハッチング補間あり(ﾊﾞｲｷｭｰﾋﾞｯｸ)",
     "bicubic",
     "Bicubic sampling",
     "on/off",
     "sample the patterns bicubically",
     {}},
    {"マスク作成", "mask", "Mask", "on/off", "output a gray line-and-shading mask", {}},
}};

}  // namespace

std::span<const ParameterInfo> parameterTable() { return kTable; }

const ParameterInfo* findParameterInfo(std::string_view nameOrAlias) {
    for (const ParameterInfo& p : kTable)
        if (p.alias == nameOrAlias || p.displayName == nameOrAlias) return &p;
    return nullptr;
}

std::string choicesText(const ParameterInfo& info) {
    std::string text;
    for (const Choice& c : info.choices) {
        if (!text.empty()) text += ", ";
        text += std::to_string(c.value) + " " + std::string(c.label);
    }
    return text;
}

}  // namespace drawlet::kit
