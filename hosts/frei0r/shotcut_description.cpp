// Shotcut's filter metadata and controls, in the form of Shotcut's own keyframable filters
// (Shotcut.KeyframableFilter): a slider with undo and keyframe buttons per slider, a list
// per named choice, a check box per check box, and Shotcut's presets.
#include <fmt/format.h>

#include <vector>

#include "frei0r/editor_descriptions.h"
#include "frei0r/frei0r_mapping.h"
#include "frei0r/markup.h"

namespace drawlet::frei0r {

namespace {

constexpr char kGeneratedNote[] =
    "// Made by drawlet params --format {} from the parameter table: regenerate it, do not\n"
    "// edit it.\n";

// A parameter as the controls show it.
struct Control {
    const kit::Parameter* parameter;
    std::string id;        // QML id stem: "lineStep"
    std::string property;  // MLT property: "line-step"
    int value;             // the host's current value, the default here

    bool isCheck() const { return parameter->kind == kit::ParameterKind::Check; }
    bool isList() const { return !isCheck() && !parameter->choices.empty(); }
    bool isSlider() const { return !isCheck() && !isList(); }
    // Short, for Shotcut's narrow panel; the display name is in the hover tip.
    const std::string& label() const { return parameter->label; }
};

// "line-step" as a QML id stem: "lineStep".
std::string camelCase(std::string_view alias) {
    std::string out;
    bool upper = false;
    for (char c : alias) {
        if (c == '-') {
            upper = true;
            continue;
        }
        out += upper && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        upper = false;
    }
    return out;
}

// The module's parameters, then the hosts' follow-motion switch.
std::vector<Control> controlsOf(const kit::FilterHost& host, const run::RunSettings& run) {
    static const kit::Parameter followMotion = run::followMotionParameter();
    std::vector<Control> controls;
    for (const kit::Parameter& p : host.parameters())
        controls.push_back({&p, camelCase(p.key()), p.key(), host.value(p)});
    controls.push_back({&followMotion, camelCase(followMotion.key()), followMotion.key(),
                        run.followMotion ? 1 : 0});
    return controls;
}

std::string suffixFor(const Control& c) {
    const std::string& unit = c.parameter->unit;
    if (unit.empty() || unit == "on/off") return "";
    if (unit == "%" || unit == "°") return unit;
    return " " + unit;
}

// A QML list of `each(control)` over the controls `which` selects.
template <typename Select, typename Each>
std::string listOf(const std::vector<Control>& controls, Select which, Each each) {
    std::string out;
    for (const Control& c : controls)
        if (which(c)) out += (out.empty() ? "" : ", ") + each(c);
    return "[" + out + "]";
}

std::string choiceValues(const Control& c) {
    std::string out;
    for (const kit::Choice& choice : c.parameter->choices)
        out += (out.empty() ? "" : ", ") + std::to_string(choice.value);
    return "[" + out + "]";
}

std::string hoverTip(const Control& c) {
    if (c.parameter->description.empty()) return "";
    std::string text = c.parameter->name + ": " + c.parameter->description;
    if (const std::string choices = kit::choicesText(c.parameter->choices); !choices.empty())
        text += ": " + choices;
    return fmt::format(
        "\n            Shotcut.HoverTip {{\n                text: {}\n            }}\n",
        qmlString(text));
}

std::string labelFor(const Control& c) {
    return fmt::format(
        "        Label {{\n            text: {}\n            Layout.alignment: Qt.AlignRight\n{}"
        "        }}\n\n",
        qmlString(c.label()), hoverTip(c));
}

std::string sliderRow(const Control& c) {
    return labelFor(c) +
           fmt::format(
               "        Shotcut.SliderSpinner {{\n"
               "            id: {0}Slider\n\n"
               "            minimumValue: {1}\n"
               "            maximumValue: {2}\n"
               "            stepSize: 1\n"
               "            decimals: 0\n"
               "            suffix: {3}\n"
               "            onValueChanged: updateFilter({4}, {0}Slider.value, {0}Keyframes, "
               "getPosition())\n"
               "        }}\n\n"
               "        Shotcut.UndoButton {{\n"
               "            onClicked: {0}Slider.value = {5}\n"
               "        }}\n\n"
               "        Shotcut.KeyframesButton {{\n"
               "            id: {0}Keyframes\n\n"
               "            onToggled: {{\n"
               "                enableControls(true);\n"
               "                toggleKeyframes(checked, {4}, {0}Slider.value);\n"
               "            }}\n"
               "        }}\n\n",
               c.id, c.parameter->minimum, c.parameter->maximum, qmlString(suffixFor(c)),
               qmlString(c.property), c.value);
}

std::string listRow(const Control& c) {
    std::string names;
    for (const kit::Choice& choice : c.parameter->choices)
        names += (names.empty() ? "" : ", ") +
                 qmlString(std::to_string(choice.value) + " " + std::string(choice.label));
    return labelFor(c) +
           fmt::format(
               "        Shotcut.ComboBox {{\n"
               "            id: {0}Combo\n\n"
               "            property var values: {1}\n\n"
               "            implicitWidth: 220\n"
               "            model: [{2}]\n"
               "            onActivated: filter.set({3}, values[index])\n"
               "        }}\n\n"
               "        Shotcut.UndoButton {{\n"
               "            onClicked: {{\n"
               "                filter.set({3}, {4});\n"
               "                {0}Combo.currentIndex = {0}Combo.values.indexOf({4});\n"
               "            }}\n"
               "        }}\n\n"
               "        Item {{\n            width: 1\n        }}\n\n",
               c.id, choiceValues(c), names, qmlString(c.property), c.value);
}

std::string checkRow(const Control& c) {
    return labelFor(c) + fmt::format(
                             "        CheckBox {{\n"
                             "            id: {0}Check\n\n"
                             "            onClicked: filter.set({1}, checked ? 1 : 0)\n"
                             "        }}\n\n"
                             "        Shotcut.UndoButton {{\n"
                             "            onClicked: {{\n"
                             "                filter.set({1}, {2});\n"
                             "                {0}Check.checked = {3};\n"
                             "            }}\n"
                             "        }}\n\n"
                             "        Item {{\n            width: 1\n        }}\n\n",
                             c.id, qmlString(c.property), c.value, c.value ? "true" : "false");
}

std::string setControlsFunction(const std::vector<Control>& controls) {
    std::string body;
    for (const Control& c : controls) {
        const std::string property = qmlString(c.property);
        if (c.isSlider())
            body += fmt::format(
                "        {0}Slider.value = parameterValue({1}, {2}, position);\n"
                "        {0}Keyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 "
                "&& filter.keyframeCount({1}) > 0;\n",
                c.id, property, c.value);
        else if (c.isList())
            body += fmt::format(
                "        {0}Combo.currentIndex = "
                "{0}Combo.values.indexOf(Math.round(parameterValue({1}, {2}, -1)));\n",
                c.id, property, c.value);
        else
            body += fmt::format("        {0}Check.checked = parameterValue({1}, {2}, -1) >= 0.5;\n",
                                c.id, property, c.value);
    }
    return "    // What a parameter is at a position; one the project does not hold (made by hand, "
           "or\n"
           "    // by an older version) has the filter's default, as the plug-in uses it.\n"
           "    function parameterValue(name, defaultValue, position) {\n"
           "        return filter.get(name) === '' ? defaultValue : filter.getDouble(name, "
           "position);\n"
           "    }\n\n"
           "    function setControls() {\n        var position = getPosition();\n"
           "        blockUpdate = true;\n" +
           body +
           "        blockUpdate = false;\n        enableControls(isSimpleKeyframesActive());\n"
           "    }\n\n";
}

}  // namespace

std::string shotcutMetadata(const kit::FilterHost& host) {
    const std::vector<Control> controls = controlsOf(host, {});
    std::string parameters;
    for (const Control& c : controls) {
        if (!c.isSlider()) continue;
        parameters += fmt::format(
            "{}            Parameter {{\n"
            "                name: {}\n"
            "                property: {}\n"
            "                isCurve: true\n"
            "                minimum: {}\n"
            "                maximum: {}\n"
            "            }}",
            parameters.empty() ? "" : ",\n", qmlString(c.label()), qmlString(c.property),
            c.parameter->minimum, c.parameter->maximum);
    }
    return fmt::format(kGeneratedNote, "shotcut-meta") +
           fmt::format(
               "import QtQuick 2.0\n"
               "import org.shotcut.qml 1.0\n\n"
               "Metadata {{\n"
               "    type: Metadata.Filter\n"
               "    name: 'Drawlet'\n"
               "    keywords: 'hand-drawn drawing sketch hatching pencil pen ink scratchboard "
               "drawlet'\n"
               "    objectName: {}\n"
               "    mlt_service: {}\n"
               "    qml: 'ui.qml'\n\n"
               "    keyframes {{\n"
               "        allowAnimateIn: true\n"
               "        allowAnimateOut: true\n"
               "        simpleProperties: {}\n"
               "        parameters: [\n{}\n"
               "        ]\n"
               "    }}\n"
               "}}\n",
               qmlString(kPluginName), qmlString(kMltService),
               listOf(
                   controls, [](const Control& c) { return c.isSlider(); },
                   [](const Control& c) { return qmlString(c.property); }),
               parameters);
}

namespace {

// The functions that keep the sliders' keyframes in step with the filter's values.
std::string keyframeFunctions(const std::vector<Control>& controls) {
    std::string enable, simple;
    for (const Control& c : controls) {
        if (!c.isSlider()) continue;
        enable += c.id + "Slider.enabled = ";
        simple += fmt::format("        updateFilter({}, {}Slider.value, {}Keyframes, null);\n",
                              qmlString(c.property), c.id, c.id);
    }
    return "    function enableControls(enabled) {\n        " + enable + "enabled;\n    }\n\n" +
           "    function updateSimpleKeyframes() {\n        setControls();\n" + simple +
           "    }\n\n";
}

// The keyframe lists and size of the panel, and what a new filter starts from.
std::string panelStart(const std::vector<Control>& controls) {
    const auto sliders = [](const Control& c) { return c.isSlider(); };
    const auto property = [](const Control& c) { return qmlString(c.property); };
    const auto value = [](const Control& c) { return std::to_string(c.value); };
    const std::string values = listOf(controls, sliders, value);
    std::string defaults;
    for (const Control& c : controls)
        defaults +=
            fmt::format("            filter.set({}, {});\n", qmlString(c.property), c.value);
    return fmt::format(
               "    keyframableParameters: {}\n    startValues: {}\n    middleValues: {}\n"
               "    endValues: {}\n    width: 380\n    height: {}\n",
               listOf(controls, sliders, property), values, values, values,
               40 * controls.size() + 80) +
           fmt::format(
               "    Component.onCompleted: {{\n"
               "        if (filter.isNew) {{\n"
               "            filter.set({}, 1);\n"
               "            filter.set({}, {});\n{}"
               "            filter.savePreset(preset.parameters);\n"
               "        }}\n"
               "        setControls();\n"
               "    }}\n\n",
               qmlString(kIntegerValuesName), qmlString(kRateClockName), qmlString(kRateClockValue),
               defaults);
}

// The grid's first row: the presets of every control.
std::string presetRow(const std::vector<Control>& controls) {
    return fmt::format(
        "    GridLayout {{\n"
        "        anchors.fill: parent\n"
        "        anchors.margins: 8\n"
        "        columns: 4\n\n"
        "        Label {{\n"
        "            text: qsTr('Preset')\n"
        "            Layout.alignment: Qt.AlignRight\n"
        "        }}\n\n"
        "        Shotcut.Preset {{\n"
        "            id: preset\n\n"
        "            parameters: {}\n"
        "            Layout.columnSpan: 3\n"
        "            onBeforePresetLoaded: resetSimpleKeyframes()\n"
        "            onPresetSelected: {{\n"
        "                setControls();\n"
        "                initializeSimpleKeyframes();\n"
        "            }}\n"
        "        }}\n\n",
        listOf(
            controls, [](const Control&) { return true; },
            [](const Control& c) { return qmlString(c.property); }));
}

// The end of the grid, and the handlers that redraw the controls when the filter, its in
// and out points or the playhead change.
constexpr const char* kPanelEnd =
    "        Item {\n            Layout.fillHeight: true\n        }\n    }\n\n"
    "    Connections {\n"
    "        function onChanged() {\n            setControls();\n        }\n\n"
    "        function onInChanged() {\n            updateSimpleKeyframes();\n        }\n\n"
    "        function onOutChanged() {\n            updateSimpleKeyframes();\n        }\n\n"
    "        function onAnimateInChanged() {\n            updateSimpleKeyframes();\n"
    "        }\n\n"
    "        function onAnimateOutChanged() {\n            updateSimpleKeyframes();\n"
    "        }\n\n"
    "        function onPropertyChanged(name) {\n            setControls();\n        }\n\n"
    "        target: filter\n"
    "    }\n\n"
    "    Connections {\n"
    "        function onPositionChanged() {\n            setControls();\n        }\n\n"
    "        target: producer\n"
    "    }\n"
    "}\n";

}  // namespace

std::string shotcutControls(const kit::FilterHost& host, const run::RunSettings& run) {
    const std::vector<Control> controls = controlsOf(host, run);
    std::string out = fmt::format(kGeneratedNote, "shotcut-ui") +
                      "import QtQuick 2.12\n"
                      "import QtQuick.Controls 2.12\n"
                      "import QtQuick.Layouts 1.12\n"
                      "import Shotcut.Controls 1.0 as Shotcut\n\n"
                      "Shotcut.KeyframableFilter {\n";
    out += setControlsFunction(controls) + keyframeFunctions(controls) + panelStart(controls) +
           presetRow(controls);
    for (const Control& c : controls)
        out += c.isSlider() ? sliderRow(c) : c.isList() ? listRow(c) : checkRow(c);
    return out + kPanelEnd;
}

}  // namespace drawlet::frei0r
