#include "studio/description.h"

#include <filesystem>

#include "studio/request.h"

namespace drawlet::studio {

namespace {

run::SettingsJson parameters(const kit::FilterHost& host) {
    run::SettingsJson list = run::SettingsJson::array();
    for (const kit::Parameter& p : host.parameters()) {
        run::SettingsJson entry;
        entry["key"] = p.key();
        entry["name"] = p.name;
        entry["kind"] = p.kind == kit::ParameterKind::Check ? "check" : "slider";
        entry["min"] = p.minimum;
        entry["max"] = p.maximum;
        entry["default"] = p.defaultValue;
        entry["label"] = p.label;
        entry["unit"] = p.unit;
        entry["description"] = p.description;
        entry["group"] = p.group;
        run::SettingsJson choices = run::SettingsJson::array();
        for (const kit::Choice& c : p.choices)
            choices.push_back({{"value", c.value}, {"label", std::string(c.label)}});
        entry["choices"] = choices;
        list.push_back(entry);
    }
    return list;
}

}  // namespace

std::string describeSession(Session& session, const std::vector<run::Look>& looks,
                            const StartSettings& start) {
    const InputInfo& in = session.info();
    run::SettingsJson input;
    input["path"] = in.path;
    input["name"] = std::filesystem::path(in.path).filename().string();
    input["video"] = in.video;
    input["width"] = in.width;
    input["height"] = in.height;
    input["alpha"] = in.alpha;
    if (in.video) {
        input["frames"] = in.frameCount > 0 ? run::SettingsJson(in.frameCount) : nullptr;
        input["fps"] = in.frameRate.perSecond();
        input["duration"] = in.duration;
    }
    run::SettingsJson lookList = run::SettingsJson::array();
    for (const run::Look& look : looks) {
        bool follow = false;
        run::SettingsJson values = session.valuesFor(look.settings, look.file.string(), &follow);
        lookList.push_back({{"name", look.name},
                            {"description", look.description},
                            {"values", std::move(values)},
                            {"followMotion", follow}});
    }
    run::SettingsJson description;
    description["module"] = session.host().displayName();
    description["input"] = input;
    description["parameters"] = parameters(session.host());
    description["looks"] = lookList;
    description["start"] = {{"look", start.look},
                            {"values", start.values},
                            {"boilRate", start.boilRate ? run::SettingsJson(*start.boilRate)
                                                        : run::SettingsJson(nullptr)},
                            {"followMotion", start.followMotion}};
    description["followMotion"] = {{"key", run::follow_motion::kKey},
                                   {"label", run::follow_motion::kLabel},
                                   {"description", run::follow_motion::kDescription}};
    description["maxPreviewSide"] = kMaxPreviewSide;
    return description.dump();
}

}  // namespace drawlet::studio
