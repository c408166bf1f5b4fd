#include "kit/parameter_aliases.h"

#include <array>

namespace drawlet::kit {

namespace {

constexpr std::array<ParameterAlias, 30> kAliases = {{
    {"モード", "mode",
     "effect mode 1..5: the preset of tone mapping, line strength and background"},
    {"LineStep", "line-step", "contour points between two stroke samples"},
    {"抽出間隔", "extract-interval", "step between the brightness levels traced (line type 0)"},
    {"Length", "line-length", "extra length of each contour stroke, in contour points"},
    {"Width", "line-width", "stroke thickness in pixels (0 draws the thinnest line)"},
    {"Noise", "noise",
     "0: strokes along every contour; above 0: only across colour steps larger than this"},
    {"VFlag", "tone-curve", "tone curve: above 0 brightens the mid-tones, below 0 darkens"},
    {"線濃度", "line-density", "stroke strength in percent"},
    {"ﾊﾟﾀｰﾝ№", "pattern", "hatching pattern set number (folder img, img1, img2, ...)"},
    {"傾き", "tilt", "slope of the hatching, in hundredths"},
    {"濃度上限", "density-limit", "darkest shade the hatching may reach, in percent"},
    {"更新間隔", "update-interval", "frames that share one hatching jitter (0: never changes)"},
    {"乱数ｼｰﾄﾞ", "seed", "random seed of the hatching jitter"},
    {"傾変動幅", "tilt-jitter", "random spread of the slope per frame, in hundredths"},
    {"X変動幅", "x-jitter", "random horizontal offset of the patterns per frame, in pixels"},
    {"Y変動幅", "y-jitter", "random vertical offset of the patterns per frame, in pixels"},
    {"拡大率", "pattern-scale", "pattern scale in percent"},
    {"回転角度", "pattern-angle", "pattern rotation in degrees"},
    {"彩度係数", "saturation", "saturation factor in percent"},
    {"明度係数", "brightness", "brightness factor in percent"},
    {"LineType", "line-type",
     "edges traced: 0 brightness levels, 1 Canny of brightness, 2 Canny of colour, 3 both"},
    {"CannyTh1", "canny-low", "first Canny threshold (line types 1..3)"},
    {"CannyTh2", "canny-high", "second Canny threshold (line types 1..3)"},
    {"ライン", "lines", "draw strokes along the edges"},
    {"ハッチング", "hatching", "hatch the picture (off: flat background)"},
    {"拡散", "diffusion", "jitter every pixel's pattern position for a grainier look"},
    {"ハッチングパターン反転", "invert-pattern", "reverse the order of the patterns"},
    {"ハッチング補間あり(ﾊﾞｲﾘﾆｱ)", "bilinear", "sample the patterns bilinearly"},
    {"ハッチング補間あり(ﾊﾞｲｷｭｰﾋﾞｯｸ)", "bicubic", "sample the patterns bicubically"},
    {"マスク作成", "mask", "output a gray line-and-shading mask"},
}};

}  // namespace

std::span<const ParameterAlias> parameterAliases() { return kAliases; }

const ParameterAlias* findAlias(std::string_view nameOrAlias) {
    for (const ParameterAlias& a : kAliases)
        if (a.alias == nameOrAlias || a.displayName == nameOrAlias) return &a;
    return nullptr;
}

}  // namespace drawlet::kit
