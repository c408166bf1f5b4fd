#include "kit/parameter_info.h"

#include <array>

#include "interface/parameters.h"

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

// Beside the module's own table (interface/parameters.h), row for row.
constexpr std::array<ParameterInfo, kTrackCount + kCheckCount> kTable = {{
    {track::kMode, alias::kMode, "Mode", "",
     "the preset of tone mapping, line strength and background", kModes, "Look"},
    {track::kLineStep,
     alias::kLineStep,
     "Line step",
     "points",
     "contour points between two stroke samples",
     {},
     "Lines"},
    {track::kExtractInterval,
     alias::kExtractInterval,
     "Level interval",
     "levels",
     "step between the brightness levels traced (line type 0)",
     {},
     "Lines"},
    {track::kLength,
     alias::kLineLength,
     "Line length",
     "points",
     "extra length of each contour stroke, in contour points",
     {},
     "Lines"},
    {track::kWidth,
     alias::kLineWidth,
     "Line width",
     "px",
     "stroke thickness in pixels (0 draws the thinnest line)",
     {},
     "Lines"},
    {track::kNoise,
     alias::kNoise,
     "Colour-step threshold",
     "",
     "0: strokes along every contour; above 0: only across colour steps larger than this",
     {},
     "Lines"},
    {track::kVFlag,
     alias::kToneCurve,
     "Tone curve",
     "",
     "above 0 brightens the mid-tones, below 0 darkens",
     {},
     "Look"},
    {track::kLineDensity, alias::kLineDensity, "Line density", "%", "stroke strength", {}, "Lines"},
    {track::kPatternNo,
     alias::kPattern,
     "Pattern set",
     "",
     "hatching pattern set number (folder img, img1, img2, ...)",
     {},
     "Hatching"},
    {track::kTilt, alias::kTilt, "Tilt", "1/100", "slope of the hatching", {}, "Hatching"},
    {track::kDensityLimit,
     alias::kDensityLimit,
     "Density limit",
     "%",
     "darkest shade the hatching may reach",
     {},
     "Hatching"},
    {track::kUpdateInterval,
     alias::kUpdateInterval,
     "Update interval",
     "frames",
     "frames that share one hatching jitter (0: never changes)",
     {},
     "Motion"},
    {track::kRandomSeed,
     alias::kSeed,
     "Random seed",
     "",
     "random seed of the hatching jitter",
     {},
     "Motion"},
    {track::kTiltJitter,
     alias::kTiltJitter,
     "Tilt jitter",
     "1/100",
     "random spread of the slope per update",
     {},
     "Motion"},
    {track::kXJitter,
     alias::kXJitter,
     "X jitter",
     "px",
     "random horizontal offset of the patterns per update",
     {},
     "Motion"},
    {track::kYJitter,
     alias::kYJitter,
     "Y jitter",
     "px",
     "random vertical offset of the patterns per update",
     {},
     "Motion"},
    {track::kPatternScale,
     alias::kPatternScale,
     "Pattern scale",
     "%",
     "size of the hatching patterns",
     {},
     "Hatching"},
    {track::kPatternAngle,
     alias::kPatternAngle,
     "Pattern angle",
     "°",
     "rotation of the hatching patterns",
     {},
     "Hatching"},
    {track::kSaturationGain,
     alias::kSaturation,
     "Saturation",
     "%",
     "saturation factor",
     {},
     "Look"},
    {track::kBrightnessGain,
     alias::kBrightness,
     "Brightness",
     "%",
     "brightness factor",
     {},
     "Look"},
    {track::kLineType, alias::kLineType, "Line type", "", "the edges that strokes follow",
     kLineTypes, "Lines"},
    {track::kCannyTh1,
     alias::kCannyLow,
     "Canny threshold 1",
     "",
     "first Canny threshold (line types 1 to 3)",
     {},
     "Lines"},
    {track::kCannyTh2,
     alias::kCannyHigh,
     "Canny threshold 2",
     "",
     "second Canny threshold (line types 1 to 3)",
     {},
     "Lines"},
    {check::kLine, alias::kLines, "Lines", "on/off", "draw strokes along the edges", {}, "Lines"},
    {check::kHatching,
     alias::kHatching,
     "Hatching",
     "on/off",
     "hatch the picture (off: flat background)",
     {},
     "Hatching"},
    {check::kDiffusion,
     alias::kDiffusion,
     "Diffusion",
     "on/off",
     "jitter every pixel's pattern position for a grainier look",
     {},
     "Hatching"},
    {check::kInvert,
     alias::kInvertPattern,
     "Invert patterns",
     "on/off",
     "reverse the order of the patterns",
     {},
     "Hatching"},
    {check::kBilinear,
     alias::kBilinear,
     "Bilinear sampling",
     "on/off",
     "sample the patterns bilinearly",
     {},
     "Hatching"},
    {check::kBicubic,
     alias::kBicubic,
     "Bicubic sampling",
     "on/off",
     "sample the patterns bicubically",
     {},
     "Hatching"},
    {check::kMask,
     alias::kMask,
     "Mask",
     "on/off",
     "output a gray line-and-shading mask",
     {},
     "Look"},
}};

// The rows name the module's sliders, then its check boxes, in the module's order: a
// parameter added to or moved in the module's table fails the build here until this table
// says what people read about it.
constexpr bool followsTheModulesTable() {
    for (std::size_t i = 0; i < TrackTable.size(); ++i)
        if (kTable[i].moduleName != TrackTable[i].name) return false;
    for (std::size_t j = 0; j < CheckTable.size(); ++j)
        if (kTable[TrackTable.size() + j].moduleName != CheckTable[j].name) return false;
    return true;
}
static_assert(followsTheModulesTable(), "the table's rows follow the module's parameters");

const ParameterInfo* infoFor(std::string_view rawName) {
    for (const ParameterInfo& p : kTable)
        if (p.moduleName == rawName) return &p;
    return nullptr;
}

}  // namespace

std::span<const ParameterInfo> parameterTable() { return kTable; }

Parameter describeParameter(ParameterKind kind, int index, std::string name, std::string rawName,
                            int defaultValue, int minimum, int maximum) {
    Parameter p{.kind = kind,
                .index = index,
                .name = std::move(name),
                .rawName = std::move(rawName),
                .defaultValue = defaultValue,
                .minimum = minimum,
                .maximum = maximum,
                .group = "Other"};
    p.label = p.name;
    if (const ParameterInfo* info = infoFor(p.rawName)) {
        p.alias = info->alias;
        p.label = info->label;
        p.unit = info->unit;
        p.description = info->description;
        p.choices = info->choices;
        p.group = info->group;
    }
    return p;
}

std::string choicesText(std::span<const Choice> choices) {
    std::string text;
    for (const Choice& c : choices) {
        if (!text.empty()) text += ", ";
        text += std::to_string(c.value) + " " + std::string(c.label);
    }
    return text;
}

}  // namespace drawlet::kit
