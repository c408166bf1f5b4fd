// Made by drawlet params --format shotcut-meta from the parameter table: regenerate it, do not
// edit it.
import QtQuick 2.0
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    name: 'Drawlet'
    keywords: 'hand-drawn drawing sketch hatching pencil pen ink scratchboard drawlet'
    objectName: 'drawlet'
    mlt_service: 'frei0r.drawlet'
    qml: 'ui.qml'

    keyframes {
        allowAnimateIn: true
        allowAnimateOut: true
        simpleProperties: ['line-step', 'extract-interval', 'line-length', 'line-width', 'noise', 'tone-curve', 'line-density', 'pattern', 'tilt', 'density-limit', 'update-interval', 'seed', 'tilt-jitter', 'x-jitter', 'y-jitter', 'pattern-scale', 'pattern-angle', 'saturation', 'brightness', 'canny-low', 'canny-high']
        parameters: [
            Parameter {
                name: 'Line step (LineStep)'
                property: 'line-step'
                isCurve: true
                minimum: 1
                maximum: 100
            },
            Parameter {
                name: 'Level interval (抽出間隔)'
                property: 'extract-interval'
                isCurve: true
                minimum: 1
                maximum: 100
            },
            Parameter {
                name: 'Line length (Length)'
                property: 'line-length'
                isCurve: true
                minimum: -1000
                maximum: 1000
            },
            Parameter {
                name: 'Line width (Width)'
                property: 'line-width'
                isCurve: true
                minimum: 0
                maximum: 100
            },
            Parameter {
                name: 'Colour-step threshold (Noise)'
                property: 'noise'
                isCurve: true
                minimum: 0
                maximum: 1000
            },
            Parameter {
                name: 'Tone curve (VFlag)'
                property: 'tone-curve'
                isCurve: true
                minimum: -20
                maximum: 9
            },
            Parameter {
                name: 'Line density (線濃度)'
                property: 'line-density'
                isCurve: true
                minimum: 0
                maximum: 200
            },
            Parameter {
                name: 'Pattern set (ﾊﾟﾀｰﾝ№)'
                property: 'pattern'
                isCurve: true
                minimum: 0
                maximum: 10
            },
            Parameter {
                name: 'Tilt (傾き)'
                property: 'tilt'
                isCurve: true
                minimum: -500
                maximum: 500
            },
            Parameter {
                name: 'Density limit (濃度上限)'
                property: 'density-limit'
                isCurve: true
                minimum: 0
                maximum: 100
            },
            Parameter {
                name: 'Update interval (更新間隔)'
                property: 'update-interval'
                isCurve: true
                minimum: 0
                maximum: 100
            },
            Parameter {
                name: 'Random seed (乱数ｼｰﾄﾞ)'
                property: 'seed'
                isCurve: true
                minimum: 0
                maximum: 65536
            },
            Parameter {
                name: 'Tilt jitter (傾変動幅)'
                property: 'tilt-jitter'
                isCurve: true
                minimum: 0
                maximum: 200
            },
            Parameter {
                name: 'X jitter (X変動幅)'
                property: 'x-jitter'
                isCurve: true
                minimum: 0
                maximum: 1000
            },
            Parameter {
                name: 'Y jitter (Y変動幅)'
                property: 'y-jitter'
                isCurve: true
                minimum: 0
                maximum: 1000
            },
            Parameter {
                name: 'Pattern scale (拡大率)'
                property: 'pattern-scale'
                isCurve: true
                minimum: 1
                maximum: 1000
            },
            Parameter {
                name: 'Pattern angle (回転角度)'
                property: 'pattern-angle'
                isCurve: true
                minimum: -360
                maximum: 360
            },
            Parameter {
                name: 'Saturation (彩度係数)'
                property: 'saturation'
                isCurve: true
                minimum: 0
                maximum: 5000
            },
            Parameter {
                name: 'Brightness (明度係数)'
                property: 'brightness'
                isCurve: true
                minimum: 0
                maximum: 5000
            },
            Parameter {
                name: 'Canny threshold 1 (CannyTh1)'
                property: 'canny-low'
                isCurve: true
                minimum: 0
                maximum: 10000
            },
            Parameter {
                name: 'Canny threshold 2 (CannyTh2)'
                property: 'canny-high'
                isCurve: true
                minimum: 0
                maximum: 10000
            }
        ]
    }
}
