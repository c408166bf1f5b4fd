// English names people can type for the filter's sliders and check boxes, with a short
// description of each. The one table that the command line, settings files and the plug-in
// adapters read.
#pragma once

#include <span>
#include <string_view>

namespace drawlet::kit {

struct ParameterAlias {
    std::string_view displayName;  // UTF-8, as the module registers it
    std::string_view alias;
    std::string_view description;
};

std::span<const ParameterAlias> parameterAliases();

// The entry for a display name or an alias; null when there is none.
const ParameterAlias* findAlias(std::string_view nameOrAlias);

}  // namespace drawlet::kit
