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
                name: 'Line step'
                property: 'line-step'
                isCurve: true
                minimum: 1
                maximum: 100
            },
            Parameter {
                name: 'Level interval'
                property: 'extract-interval'
                isCurve: true
                minimum: 1
                maximum: 100
            },
            Parameter {
                name: 'Line length'
                property: 'line-length'
                isCurve: true
                minimum: -1000
                maximum: 1000
            },
            Parameter {
                name: 'Line width'
                property: 'line-width'
                isCurve: true
                minimum: 0
                maximum: 100
            },
            Parameter {
                name: 'Colour-step threshold'
                property: 'noise'
                isCurve: true
                minimum: 0
                maximum: 1000
            },
            Parameter {
                name: 'Tone curve'
                property: 'tone-curve'
                isCurve: true
                minimum: -20
                maximum: 9
            },
            Parameter {
                name: 'Line density'
                property: 'line-density'
                isCurve: true
                minimum: 0
                maximum: 200
            },
            Parameter {
                name: 'Pattern set'
                property: 'pattern'
                isCurve: true
                minimum: 0
                maximum: 10
            },
            Parameter {
                name: 'Tilt'
                property: 'tilt'
                isCurve: true
                minimum: -500
                maximum: 500
            },
            Parameter {
                name: 'Density limit'
                property: 'density-limit'
                isCurve: true
                minimum: 0
                maximum: 100
            },
            Parameter {
                name: 'Update interval'
                property: 'update-interval'
                isCurve: true
                minimum: 0
                maximum: 100
            },
            Parameter {
                name: 'Random seed'
                property: 'seed'
                isCurve: true
                minimum: 0
                maximum: 65536
            },
            Parameter {
                name: 'Tilt jitter'
                property: 'tilt-jitter'
                isCurve: true
                minimum: 0
                maximum: 200
            },
            Parameter {
                name: 'X jitter'
                property: 'x-jitter'
                isCurve: true
                minimum: 0
                maximum: 1000
            },
            Parameter {
                name: 'Y jitter'
                property: 'y-jitter'
                isCurve: true
                minimum: 0
                maximum: 1000
            },
            Parameter {
                name: 'Pattern scale'
                property: 'pattern-scale'
                isCurve: true
                minimum: 1
                maximum: 1000
            },
            Parameter {
                name: 'Pattern angle'
                property: 'pattern-angle'
                isCurve: true
                minimum: -360
                maximum: 360
            },
            Parameter {
                name: 'Saturation'
                property: 'saturation'
                isCurve: true
                minimum: 0
                maximum: 5000
            },
            Parameter {
                name: 'Brightness'
                property: 'brightness'
                isCurve: true
                minimum: 0
                maximum: 5000
            },
            Parameter {
                name: 'Canny threshold 1'
                property: 'canny-low'
                isCurve: true
                minimum: 0
                maximum: 10000
            },
            Parameter {
                name: 'Canny threshold 2'
                property: 'canny-high'
                isCurve: true
                minimum: 0
                maximum: 10000
            }
        ]
    }
}
