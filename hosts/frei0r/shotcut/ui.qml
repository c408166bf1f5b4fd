// Made by drawlet params --format shotcut-ui from the parameter table: regenerate it, do not
// edit it.
import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Shotcut.Controls 1.0 as Shotcut

Shotcut.KeyframableFilter {
    // What a parameter is at a position; one the project does not hold (made by hand, or
    // by an older version) has the filter's default, as the plug-in uses it.
    function parameterValue(name, defaultValue, position) {
        return filter.get(name) === '' ? defaultValue : filter.getDouble(name, position);
    }

    function setControls() {
        var position = getPosition();
        blockUpdate = true;
        modeCombo.currentIndex = modeCombo.values.indexOf(Math.round(parameterValue('mode', 1, -1)));
        lineStepSlider.value = parameterValue('line-step', 5, position);
        lineStepKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('line-step') > 0;
        extractIntervalSlider.value = parameterValue('extract-interval', 54, position);
        extractIntervalKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('extract-interval') > 0;
        lineLengthSlider.value = parameterValue('line-length', 0, position);
        lineLengthKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('line-length') > 0;
        lineWidthSlider.value = parameterValue('line-width', 1, position);
        lineWidthKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('line-width') > 0;
        noiseSlider.value = parameterValue('noise', 15, position);
        noiseKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('noise') > 0;
        toneCurveSlider.value = parameterValue('tone-curve', 0, position);
        toneCurveKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('tone-curve') > 0;
        lineDensitySlider.value = parameterValue('line-density', 100, position);
        lineDensityKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('line-density') > 0;
        patternSlider.value = parameterValue('pattern', 0, position);
        patternKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('pattern') > 0;
        tiltSlider.value = parameterValue('tilt', -100, position);
        tiltKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('tilt') > 0;
        densityLimitSlider.value = parameterValue('density-limit', 100, position);
        densityLimitKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('density-limit') > 0;
        updateIntervalSlider.value = parameterValue('update-interval', 1, position);
        updateIntervalKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('update-interval') > 0;
        seedSlider.value = parameterValue('seed', 0, position);
        seedKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('seed') > 0;
        tiltJitterSlider.value = parameterValue('tilt-jitter', 100, position);
        tiltJitterKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('tilt-jitter') > 0;
        xJitterSlider.value = parameterValue('x-jitter', 175, position);
        xJitterKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('x-jitter') > 0;
        yJitterSlider.value = parameterValue('y-jitter', 175, position);
        yJitterKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('y-jitter') > 0;
        patternScaleSlider.value = parameterValue('pattern-scale', 100, position);
        patternScaleKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('pattern-scale') > 0;
        patternAngleSlider.value = parameterValue('pattern-angle', 0, position);
        patternAngleKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('pattern-angle') > 0;
        saturationSlider.value = parameterValue('saturation', 100, position);
        saturationKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('saturation') > 0;
        brightnessSlider.value = parameterValue('brightness', 200, position);
        brightnessKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('brightness') > 0;
        lineTypeCombo.currentIndex = lineTypeCombo.values.indexOf(Math.round(parameterValue('line-type', 0, -1)));
        cannyLowSlider.value = parameterValue('canny-low', 2000, position);
        cannyLowKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('canny-low') > 0;
        cannyHighSlider.value = parameterValue('canny-high', 3000, position);
        cannyHighKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('canny-high') > 0;
        linesCheck.checked = parameterValue('lines', 1, -1) >= 0.5;
        hatchingCheck.checked = parameterValue('hatching', 1, -1) >= 0.5;
        diffusionCheck.checked = parameterValue('diffusion', 0, -1) >= 0.5;
        invertPatternCheck.checked = parameterValue('invert-pattern', 0, -1) >= 0.5;
        bilinearCheck.checked = parameterValue('bilinear', 0, -1) >= 0.5;
        bicubicCheck.checked = parameterValue('bicubic', 0, -1) >= 0.5;
        maskCheck.checked = parameterValue('mask', 0, -1) >= 0.5;
        followMotionCheck.checked = parameterValue('follow-motion', 0, -1) >= 0.5;
        blockUpdate = false;
        enableControls(isSimpleKeyframesActive());
    }

    function enableControls(enabled) {
        lineStepSlider.enabled = extractIntervalSlider.enabled = lineLengthSlider.enabled = lineWidthSlider.enabled = noiseSlider.enabled = toneCurveSlider.enabled = lineDensitySlider.enabled = patternSlider.enabled = tiltSlider.enabled = densityLimitSlider.enabled = updateIntervalSlider.enabled = seedSlider.enabled = tiltJitterSlider.enabled = xJitterSlider.enabled = yJitterSlider.enabled = patternScaleSlider.enabled = patternAngleSlider.enabled = saturationSlider.enabled = brightnessSlider.enabled = cannyLowSlider.enabled = cannyHighSlider.enabled = enabled;
    }

    function updateSimpleKeyframes() {
        setControls();
        updateFilter('line-step', lineStepSlider.value, lineStepKeyframes, null);
        updateFilter('extract-interval', extractIntervalSlider.value, extractIntervalKeyframes, null);
        updateFilter('line-length', lineLengthSlider.value, lineLengthKeyframes, null);
        updateFilter('line-width', lineWidthSlider.value, lineWidthKeyframes, null);
        updateFilter('noise', noiseSlider.value, noiseKeyframes, null);
        updateFilter('tone-curve', toneCurveSlider.value, toneCurveKeyframes, null);
        updateFilter('line-density', lineDensitySlider.value, lineDensityKeyframes, null);
        updateFilter('pattern', patternSlider.value, patternKeyframes, null);
        updateFilter('tilt', tiltSlider.value, tiltKeyframes, null);
        updateFilter('density-limit', densityLimitSlider.value, densityLimitKeyframes, null);
        updateFilter('update-interval', updateIntervalSlider.value, updateIntervalKeyframes, null);
        updateFilter('seed', seedSlider.value, seedKeyframes, null);
        updateFilter('tilt-jitter', tiltJitterSlider.value, tiltJitterKeyframes, null);
        updateFilter('x-jitter', xJitterSlider.value, xJitterKeyframes, null);
        updateFilter('y-jitter', yJitterSlider.value, yJitterKeyframes, null);
        updateFilter('pattern-scale', patternScaleSlider.value, patternScaleKeyframes, null);
        updateFilter('pattern-angle', patternAngleSlider.value, patternAngleKeyframes, null);
        updateFilter('saturation', saturationSlider.value, saturationKeyframes, null);
        updateFilter('brightness', brightnessSlider.value, brightnessKeyframes, null);
        updateFilter('canny-low', cannyLowSlider.value, cannyLowKeyframes, null);
        updateFilter('canny-high', cannyHighSlider.value, cannyHighKeyframes, null);
    }

    keyframableParameters: ['line-step', 'extract-interval', 'line-length', 'line-width', 'noise', 'tone-curve', 'line-density', 'pattern', 'tilt', 'density-limit', 'update-interval', 'seed', 'tilt-jitter', 'x-jitter', 'y-jitter', 'pattern-scale', 'pattern-angle', 'saturation', 'brightness', 'canny-low', 'canny-high']
    startValues: [5, 54, 0, 1, 15, 0, 100, 0, -100, 100, 1, 0, 100, 175, 175, 100, 0, 100, 200, 2000, 3000]
    middleValues: [5, 54, 0, 1, 15, 0, 100, 0, -100, 100, 1, 0, 100, 175, 175, 100, 0, 100, 200, 2000, 3000]
    endValues: [5, 54, 0, 1, 15, 0, 100, 0, -100, 100, 1, 0, 100, 175, 175, 100, 0, 100, 200, 2000, 3000]
    width: 380
    height: 1320
    Component.onCompleted: {
        if (filter.isNew) {
            filter.set('integer-values', 1);
            filter.set('frames-in-1001000-seconds', '0:1001000.0');
            filter.set('mode', 1);
            filter.set('line-step', 5);
            filter.set('extract-interval', 54);
            filter.set('line-length', 0);
            filter.set('line-width', 1);
            filter.set('noise', 15);
            filter.set('tone-curve', 0);
            filter.set('line-density', 100);
            filter.set('pattern', 0);
            filter.set('tilt', -100);
            filter.set('density-limit', 100);
            filter.set('update-interval', 1);
            filter.set('seed', 0);
            filter.set('tilt-jitter', 100);
            filter.set('x-jitter', 175);
            filter.set('y-jitter', 175);
            filter.set('pattern-scale', 100);
            filter.set('pattern-angle', 0);
            filter.set('saturation', 100);
            filter.set('brightness', 200);
            filter.set('line-type', 0);
            filter.set('canny-low', 2000);
            filter.set('canny-high', 3000);
            filter.set('lines', 1);
            filter.set('hatching', 1);
            filter.set('diffusion', 0);
            filter.set('invert-pattern', 0);
            filter.set('bilinear', 0);
            filter.set('bicubic', 0);
            filter.set('mask', 0);
            filter.set('follow-motion', 0);
            filter.savePreset(preset.parameters);
        }
        setControls();
    }

    GridLayout {
        anchors.fill: parent
        anchors.margins: 8
        columns: 4

        Label {
            text: qsTr('Preset')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.Preset {
            id: preset

            parameters: ['mode', 'line-step', 'extract-interval', 'line-length', 'line-width', 'noise', 'tone-curve', 'line-density', 'pattern', 'tilt', 'density-limit', 'update-interval', 'seed', 'tilt-jitter', 'x-jitter', 'y-jitter', 'pattern-scale', 'pattern-angle', 'saturation', 'brightness', 'line-type', 'canny-low', 'canny-high', 'lines', 'hatching', 'diffusion', 'invert-pattern', 'bilinear', 'bicubic', 'mask', 'follow-motion']
            Layout.columnSpan: 3
            onBeforePresetLoaded: resetSimpleKeyframes()
            onPresetSelected: {
                setControls();
                initializeSimpleKeyframes();
            }
        }

        Label {
            text: 'Mode'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: 'モード: the preset of tone mapping, line strength and background: 1 scratchboard, 2 white ink on black, 3 pen and wash, 4 pencil on white, 5 colour hatching'
            }
        }

        Shotcut.ComboBox {
            id: modeCombo

            property var values: [1, 2, 3, 4, 5]

            implicitWidth: 220
            model: ['1 scratchboard', '2 white ink on black', '3 pen and wash', '4 pencil on white', '5 colour hatching']
            onActivated: filter.set('mode', values[index])
        }

        Shotcut.UndoButton {
            onClicked: {
                filter.set('mode', 1);
                modeCombo.currentIndex = modeCombo.values.indexOf(1);
            }
        }

        Item {
            width: 1
        }

        Label {
            text: 'Line step'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: 'LineStep: contour points between two stroke samples'
            }
        }

        Shotcut.SliderSpinner {
            id: lineStepSlider

            minimumValue: 1
            maximumValue: 100
            stepSize: 1
            decimals: 0
            suffix: ' points'
            onValueChanged: updateFilter('line-step', lineStepSlider.value, lineStepKeyframes, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: lineStepSlider.value = 5
        }

        Shotcut.KeyframesButton {
            id: lineStepKeyframes

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'line-step', lineStepSlider.value);
            }
        }

        Label {
            text: 'Level interval'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: '抽出間隔: step between the brightness levels traced (line type 0)'
            }
        }

        Shotcut.SliderSpinner {
            id: extractIntervalSlider

            minimumValue: 1
            maximumValue: 100
            stepSize: 1
            decimals: 0
            suffix: ' levels'
            onValueChanged: updateFilter('extract-interval', extractIntervalSlider.value, extractIntervalKeyframes, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: extractIntervalSlider.value = 54
        }

        Shotcut.KeyframesButton {
            id: extractIntervalKeyframes

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'extract-interval', extractIntervalSlider.value);
            }
        }

        Label {
            text: 'Line length'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: 'Length: extra length of each contour stroke, in contour points'
            }
        }

        Shotcut.SliderSpinner {
            id: lineLengthSlider

            minimumValue: -1000
            maximumValue: 1000
            stepSize: 1
            decimals: 0
            suffix: ' points'
            onValueChanged: updateFilter('line-length', lineLengthSlider.value, lineLengthKeyframes, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: lineLengthSlider.value = 0
        }

        Shotcut.KeyframesButton {
            id: lineLengthKeyframes

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'line-length', lineLengthSlider.value);
            }
        }

        Label {
            text: 'Line width'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: 'Width: stroke thickness in pixels (0 draws the thinnest line)'
            }
        }

        Shotcut.SliderSpinner {
            id: lineWidthSlider

            minimumValue: 0
            maximumValue: 100
            stepSize: 1
            decimals: 0
            suffix: ' px'
            onValueChanged: updateFilter('line-width', lineWidthSlider.value, lineWidthKeyframes, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: lineWidthSlider.value = 1
        }

        Shotcut.KeyframesButton {
            id: lineWidthKeyframes

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'line-width', lineWidthSlider.value);
            }
        }

        Label {
            text: 'Colour-step threshold'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: 'Noise: 0: strokes along every contour; above 0: only across colour steps larger than this'
            }
        }

        Shotcut.SliderSpinner {
            id: noiseSlider

            minimumValue: 0
            maximumValue: 1000
            stepSize: 1
            decimals: 0
            suffix: ''
            onValueChanged: updateFilter('noise', noiseSlider.value, noiseKeyframes, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: noiseSlider.value = 15
        }

        Shotcut.KeyframesButton {
            id: noiseKeyframes

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'noise', noiseSlider.value);
            }
        }

        Label {
            text: 'Tone curve'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: 'VFlag: above 0 brightens the mid-tones, below 0 darkens'
            }
        }

        Shotcut.SliderSpinner {
            id: toneCurveSlider

            minimumValue: -20
            maximumValue: 9
            stepSize: 1
            decimals: 0
            suffix: ''
            onValueChanged: updateFilter('tone-curve', toneCurveSlider.value, toneCurveKeyframes, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: toneCurveSlider.value = 0
        }

        Shotcut.KeyframesButton {
            id: toneCurveKeyframes

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'tone-curve', toneCurveSlider.value);
            }
        }

        Label {
            text: 'Line density'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: '線濃度: stroke strength'
            }
        }

        Shotcut.SliderSpinner {
            id: lineDensitySlider

            minimumValue: 0
            maximumValue: 200
            stepSize: 1
            decimals: 0
            suffix: '%'
            onValueChanged: updateFilter('line-density', lineDensitySlider.value, lineDensityKeyframes, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: lineDensitySlider.value = 100
        }

        Shotcut.KeyframesButton {
            id: lineDensityKeyframes

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'line-density', lineDensitySlider.value);
            }
        }

        Label {
            text: 'Pattern set'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: 'ﾊﾟﾀｰﾝ№: hatching pattern set number (folder img, img1, img2, ...)'
            }
        }

        Shotcut.SliderSpinner {
            id: patternSlider

            minimumValue: 0
            maximumValue: 10
            stepSize: 1
            decimals: 0
            suffix: ''
            onValueChanged: updateFilter('pattern', patternSlider.value, patternKeyframes, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: patternSlider.value = 0
        }

        Shotcut.KeyframesButton {
            id: patternKeyframes

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'pattern', patternSlider.value);
            }
        }

        Label {
            text: 'Tilt'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: '傾き: slope of the hatching'
            }
        }

        Shotcut.SliderSpinner {
            id: tiltSlider

            minimumValue: -500
            maximumValue: 500
            stepSize: 1
            decimals: 0
            suffix: ' 1/100'
            onValueChanged: updateFilter('tilt', tiltSlider.value, tiltKeyframes, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: tiltSlider.value = -100
        }

        Shotcut.KeyframesButton {
            id: tiltKeyframes

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'tilt', tiltSlider.value);
            }
        }

        Label {
            text: 'Density limit'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: '濃度上限: darkest shade the hatching may reach'
            }
        }

        Shotcut.SliderSpinner {
            id: densityLimitSlider

            minimumValue: 0
            maximumValue: 100
            stepSize: 1
            decimals: 0
            suffix: '%'
            onValueChanged: updateFilter('density-limit', densityLimitSlider.value, densityLimitKeyframes, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: densityLimitSlider.value = 100
        }

        Shotcut.KeyframesButton {
            id: densityLimitKeyframes

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'density-limit', densityLimitSlider.value);
            }
        }

        Label {
            text: 'Update interval'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: '更新間隔: frames that share one hatching jitter (0: never changes)'
            }
        }

        Shotcut.SliderSpinner {
            id: updateIntervalSlider

            minimumValue: 0
            maximumValue: 100
            stepSize: 1
            decimals: 0
            suffix: ' frames'
            onValueChanged: updateFilter('update-interval', updateIntervalSlider.value, updateIntervalKeyframes, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: updateIntervalSlider.value = 1
        }

        Shotcut.KeyframesButton {
            id: updateIntervalKeyframes

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'update-interval', updateIntervalSlider.value);
            }
        }

        Label {
            text: 'Random seed'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: '乱数ｼｰﾄﾞ: random seed of the hatching jitter'
            }
        }

        Shotcut.SliderSpinner {
            id: seedSlider

            minimumValue: 0
            maximumValue: 65536
            stepSize: 1
            decimals: 0
            suffix: ''
            onValueChanged: updateFilter('seed', seedSlider.value, seedKeyframes, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: seedSlider.value = 0
        }

        Shotcut.KeyframesButton {
            id: seedKeyframes

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'seed', seedSlider.value);
            }
        }

        Label {
            text: 'Tilt jitter'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: '傾変動幅: random spread of the slope per update'
            }
        }

        Shotcut.SliderSpinner {
            id: tiltJitterSlider

            minimumValue: 0
            maximumValue: 200
            stepSize: 1
            decimals: 0
            suffix: ' 1/100'
            onValueChanged: updateFilter('tilt-jitter', tiltJitterSlider.value, tiltJitterKeyframes, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: tiltJitterSlider.value = 100
        }

        Shotcut.KeyframesButton {
            id: tiltJitterKeyframes

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'tilt-jitter', tiltJitterSlider.value);
            }
        }

        Label {
            text: 'X jitter'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: 'X変動幅: random horizontal offset of the patterns per update'
            }
        }

        Shotcut.SliderSpinner {
            id: xJitterSlider

            minimumValue: 0
            maximumValue: 1000
            stepSize: 1
            decimals: 0
            suffix: ' px'
            onValueChanged: updateFilter('x-jitter', xJitterSlider.value, xJitterKeyframes, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: xJitterSlider.value = 175
        }

        Shotcut.KeyframesButton {
            id: xJitterKeyframes

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'x-jitter', xJitterSlider.value);
            }
        }

        Label {
            text: 'Y jitter'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: 'Y変動幅: random vertical offset of the patterns per update'
            }
        }

        Shotcut.SliderSpinner {
            id: yJitterSlider

            minimumValue: 0
            maximumValue: 1000
            stepSize: 1
            decimals: 0
            suffix: ' px'
            onValueChanged: updateFilter('y-jitter', yJitterSlider.value, yJitterKeyframes, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: yJitterSlider.value = 175
        }

        Shotcut.KeyframesButton {
            id: yJitterKeyframes

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'y-jitter', yJitterSlider.value);
            }
        }

        Label {
            text: 'Pattern scale'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: '拡大率: size of the hatching patterns'
            }
        }

        Shotcut.SliderSpinner {
            id: patternScaleSlider

            minimumValue: 1
            maximumValue: 1000
            stepSize: 1
            decimals: 0
            suffix: '%'
            onValueChanged: updateFilter('pattern-scale', patternScaleSlider.value, patternScaleKeyframes, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: patternScaleSlider.value = 100
        }

        Shotcut.KeyframesButton {
            id: patternScaleKeyframes

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'pattern-scale', patternScaleSlider.value);
            }
        }

        Label {
            text: 'Pattern angle'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: '回転角度: rotation of the hatching patterns'
            }
        }

        Shotcut.SliderSpinner {
            id: patternAngleSlider

            minimumValue: -360
            maximumValue: 360
            stepSize: 1
            decimals: 0
            suffix: '°'
            onValueChanged: updateFilter('pattern-angle', patternAngleSlider.value, patternAngleKeyframes, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: patternAngleSlider.value = 0
        }

        Shotcut.KeyframesButton {
            id: patternAngleKeyframes

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'pattern-angle', patternAngleSlider.value);
            }
        }

        Label {
            text: 'Saturation'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: '彩度係数: saturation factor'
            }
        }

        Shotcut.SliderSpinner {
            id: saturationSlider

            minimumValue: 0
            maximumValue: 5000
            stepSize: 1
            decimals: 0
            suffix: '%'
            onValueChanged: updateFilter('saturation', saturationSlider.value, saturationKeyframes, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: saturationSlider.value = 100
        }

        Shotcut.KeyframesButton {
            id: saturationKeyframes

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'saturation', saturationSlider.value);
            }
        }

        Label {
            text: 'Brightness'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: '明度係数: brightness factor'
            }
        }

        Shotcut.SliderSpinner {
            id: brightnessSlider

            minimumValue: 0
            maximumValue: 5000
            stepSize: 1
            decimals: 0
            suffix: '%'
            onValueChanged: updateFilter('brightness', brightnessSlider.value, brightnessKeyframes, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: brightnessSlider.value = 200
        }

        Shotcut.KeyframesButton {
            id: brightnessKeyframes

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'brightness', brightnessSlider.value);
            }
        }

        Label {
            text: 'Line type'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: 'LineType: the edges that strokes follow: 0 brightness levels, 1 Canny of brightness, 2 Canny of colour, 3 Canny of colour and brightness'
            }
        }

        Shotcut.ComboBox {
            id: lineTypeCombo

            property var values: [0, 1, 2, 3]

            implicitWidth: 220
            model: ['0 brightness levels', '1 Canny of brightness', '2 Canny of colour', '3 Canny of colour and brightness']
            onActivated: filter.set('line-type', values[index])
        }

        Shotcut.UndoButton {
            onClicked: {
                filter.set('line-type', 0);
                lineTypeCombo.currentIndex = lineTypeCombo.values.indexOf(0);
            }
        }

        Item {
            width: 1
        }

        Label {
            text: 'Canny threshold 1'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: 'CannyTh1: first Canny threshold (line types 1 to 3)'
            }
        }

        Shotcut.SliderSpinner {
            id: cannyLowSlider

            minimumValue: 0
            maximumValue: 10000
            stepSize: 1
            decimals: 0
            suffix: ''
            onValueChanged: updateFilter('canny-low', cannyLowSlider.value, cannyLowKeyframes, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: cannyLowSlider.value = 2000
        }

        Shotcut.KeyframesButton {
            id: cannyLowKeyframes

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'canny-low', cannyLowSlider.value);
            }
        }

        Label {
            text: 'Canny threshold 2'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: 'CannyTh2: second Canny threshold (line types 1 to 3)'
            }
        }

        Shotcut.SliderSpinner {
            id: cannyHighSlider

            minimumValue: 0
            maximumValue: 10000
            stepSize: 1
            decimals: 0
            suffix: ''
            onValueChanged: updateFilter('canny-high', cannyHighSlider.value, cannyHighKeyframes, getPosition())
        }

        Shotcut.UndoButton {
            onClicked: cannyHighSlider.value = 3000
        }

        Shotcut.KeyframesButton {
            id: cannyHighKeyframes

            onToggled: {
                enableControls(true);
                toggleKeyframes(checked, 'canny-high', cannyHighSlider.value);
            }
        }

        Label {
            text: 'Lines'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: 'ライン: draw strokes along the edges'
            }
        }

        CheckBox {
            id: linesCheck

            onClicked: filter.set('lines', checked ? 1 : 0)
        }

        Shotcut.UndoButton {
            onClicked: {
                filter.set('lines', 1);
                linesCheck.checked = true;
            }
        }

        Item {
            width: 1
        }

        Label {
            text: 'Hatching'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: 'ハッチング: hatch the picture (off: flat background)'
            }
        }

        CheckBox {
            id: hatchingCheck

            onClicked: filter.set('hatching', checked ? 1 : 0)
        }

        Shotcut.UndoButton {
            onClicked: {
                filter.set('hatching', 1);
                hatchingCheck.checked = true;
            }
        }

        Item {
            width: 1
        }

        Label {
            text: 'Diffusion'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: '拡散: jitter every pixel\'s pattern position for a grainier look'
            }
        }

        CheckBox {
            id: diffusionCheck

            onClicked: filter.set('diffusion', checked ? 1 : 0)
        }

        Shotcut.UndoButton {
            onClicked: {
                filter.set('diffusion', 0);
                diffusionCheck.checked = false;
            }
        }

        Item {
            width: 1
        }

        Label {
            text: 'Invert patterns'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: 'ハッチングパターン反転: reverse the order of the patterns'
            }
        }

        CheckBox {
            id: invertPatternCheck

            onClicked: filter.set('invert-pattern', checked ? 1 : 0)
        }

        Shotcut.UndoButton {
            onClicked: {
                filter.set('invert-pattern', 0);
                invertPatternCheck.checked = false;
            }
        }

        Item {
            width: 1
        }

        Label {
            text: 'Bilinear sampling'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: 'ハッチング補間あり(ﾊﾞｲﾘﾆｱ): sample the patterns bilinearly'
            }
        }

        CheckBox {
            id: bilinearCheck

            onClicked: filter.set('bilinear', checked ? 1 : 0)
        }

        Shotcut.UndoButton {
            onClicked: {
                filter.set('bilinear', 0);
                bilinearCheck.checked = false;
            }
        }

        Item {
            width: 1
        }

        Label {
            text: 'Bicubic sampling'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: 'ハッチング補間あり(ﾊﾞｲｷｭｰﾋﾞｯｸ): sample the patterns bicubically'
            }
        }

        CheckBox {
            id: bicubicCheck

            onClicked: filter.set('bicubic', checked ? 1 : 0)
        }

        Shotcut.UndoButton {
            onClicked: {
                filter.set('bicubic', 0);
                bicubicCheck.checked = false;
            }
        }

        Item {
            width: 1
        }

        Label {
            text: 'Mask'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: 'マスク作成: output a gray line-and-shading mask'
            }
        }

        CheckBox {
            id: maskCheck

            onClicked: filter.set('mask', checked ? 1 : 0)
        }

        Shotcut.UndoButton {
            onClicked: {
                filter.set('mask', 0);
                maskCheck.checked = false;
            }
        }

        Item {
            width: 1
        }

        Label {
            text: 'Follow motion'
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: 'follow-motion: between two changes of the jitter, move the hatching with the picture instead of holding it on the screen (videos; a setting of the hosts, not of the module)'
            }
        }

        CheckBox {
            id: followMotionCheck

            onClicked: filter.set('follow-motion', checked ? 1 : 0)
        }

        Shotcut.UndoButton {
            onClicked: {
                filter.set('follow-motion', 0);
                followMotionCheck.checked = false;
            }
        }

        Item {
            width: 1
        }

        Item {
            Layout.fillHeight: true
        }
    }

    Connections {
        function onChanged() {
            setControls();
        }

        function onInChanged() {
            updateSimpleKeyframes();
        }

        function onOutChanged() {
            updateSimpleKeyframes();
        }

        function onAnimateInChanged() {
            updateSimpleKeyframes();
        }

        function onAnimateOutChanged() {
            updateSimpleKeyframes();
        }

        function onPropertyChanged(name) {
            setControls();
        }

        target: filter
    }

    Connections {
        function onPositionChanged() {
            setControls();
        }

        target: producer
    }
}
