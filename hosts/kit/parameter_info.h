// One record per slider and check box: what the module registers (kind, position, name,
// range, default) and everything a person reads about it (the English alias typed on
// command lines and in settings files, a label for a settings page, the unit, a one-line
// description, names for the values of the modes and line types, and a group). A FilterHost
// builds the records once, when it loads the module; the command line, settings files, the
// studio, the plug-in adapters and the generated documentation all read them.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace drawlet::kit {

// The aliases, as the hosts name the parameters they use themselves.
namespace alias {
inline constexpr char kMode[] = "mode";
inline constexpr char kLineStep[] = "line-step";
inline constexpr char kExtractInterval[] = "extract-interval";
inline constexpr char kLineLength[] = "line-length";
inline constexpr char kLineWidth[] = "line-width";
inline constexpr char kNoise[] = "noise";
inline constexpr char kToneCurve[] = "tone-curve";
inline constexpr char kLineDensity[] = "line-density";
inline constexpr char kPattern[] = "pattern";
inline constexpr char kTilt[] = "tilt";
inline constexpr char kDensityLimit[] = "density-limit";
inline constexpr char kUpdateInterval[] = "update-interval";
inline constexpr char kSeed[] = "seed";
inline constexpr char kTiltJitter[] = "tilt-jitter";
inline constexpr char kXJitter[] = "x-jitter";
inline constexpr char kYJitter[] = "y-jitter";
inline constexpr char kPatternScale[] = "pattern-scale";
inline constexpr char kPatternAngle[] = "pattern-angle";
inline constexpr char kSaturation[] = "saturation";
inline constexpr char kBrightness[] = "brightness";
inline constexpr char kLineType[] = "line-type";
inline constexpr char kCannyLow[] = "canny-low";
inline constexpr char kCannyHigh[] = "canny-high";
inline constexpr char kLines[] = "lines";
inline constexpr char kHatching[] = "hatching";
inline constexpr char kDiffusion[] = "diffusion";
inline constexpr char kInvertPattern[] = "invert-pattern";
inline constexpr char kBilinear[] = "bilinear";
inline constexpr char kBicubic[] = "bicubic";
inline constexpr char kMask[] = "mask";
}  // namespace alias

struct Choice {
    int value;
    std::string_view label;
};

// What people read about one of the module's parameters, in the kit's table.
struct ParameterInfo {
    std::string_view moduleName;      // as the module registers it (code page 932)
    std::string_view alias;           // what people type: "line-density"
    std::string_view label;           // what a settings page shows: "Line density"
    std::string_view unit;            // of the integer value: "%", "px", "1/100", ""; or "on/off"
    std::string_view description;     // one line
    std::span<const Choice> choices;  // named values (modes, line types); empty for others
    std::string_view group;           // the part of the picture it acts on, for grouping
                                      // controls: "Look", "Lines", "Hatching" or "Motion"
};

// In the module's order: the 23 sliders, then the 7 check boxes.
std::span<const ParameterInfo> parameterTable();

enum class ParameterKind { Slider, Check };

// One slider or check box of a loaded module. A parameter the table does not know (another
// module's) has no alias, its name as its label, no unit or description, the group "Other".
struct Parameter {
    ParameterKind kind = ParameterKind::Slider;
    int index = 0;        // position in the host's slider or check array
    std::string name;     // display name, UTF-8
    std::string rawName;  // display name as the module holds it (code page 932)
    int defaultValue = 0;
    int minimum = 0;  // check boxes: 0
    int maximum = 0;  // check boxes: 1
    std::string alias{};
    std::string label{};
    std::string unit{};
    std::string description{};
    std::span<const Choice> choices{};
    std::string group{};

    // How hosts write it in settings files, property names and pages: the alias, or the
    // display name when it has none.
    const std::string& key() const { return alias.empty() ? name : alias; }
};

// The record of a registered parameter, with what the table says of its registered name.
Parameter describeParameter(ParameterKind kind, int index, std::string name, std::string rawName,
                            int defaultValue, int minimum, int maximum);

// The named values as people read them: "1 scratchboard, 2 white ink on black, ...";
// empty for a parameter without named values.
std::string choicesText(std::span<const Choice> choices);

}  // namespace drawlet::kit
