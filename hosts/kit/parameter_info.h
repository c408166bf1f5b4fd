// Everything a person reads about the filter's sliders and check boxes, in one table: the
// English alias typed on command lines and in settings files, a label for a settings page,
// the unit, a one-line description, and names for the values of the modes and line types.
// The command line, settings files, the studio, the plug-in adapters and the generated
// documentation all read it.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace drawlet::kit {

struct Choice {
    int value;
    std::string_view label;
};

struct ParameterInfo {
    std::string_view displayName;     // UTF-8, as the module registers it
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

// The entry for a display name or an alias; null when there is none.
const ParameterInfo* findParameterInfo(std::string_view nameOrAlias);

// The named values as people read them: "1 scratchboard, 2 white ink on black, ...";
// empty for a parameter without named values.
std::string choicesText(const ParameterInfo& info);

}  // namespace drawlet::kit
