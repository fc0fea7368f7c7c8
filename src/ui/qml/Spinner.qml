import QtQuick

// A small circular progress indicator: twelve spokes fading round a circle,
// turning while `running`. Plain rectangles, so it draws on every backend.
Item {
    id: spinner

    property bool running: true
    property color color: "white"

    implicitWidth: 20
    implicitHeight: 20

    Item {
        id: wheel
        anchors.fill: parent

        Repeater {
            // Each spoke carries the colour, so that the delegate needs nothing from outside.
            model: Array(12).fill(spinner.color)
            Rectangle {
                id: spoke
                required property int index
                required property color modelData
                x: parent.width / 2 - width / 2
                y: 0
                width: Math.max(2, parent.width * 0.09)
                height: parent.height * 0.28
                radius: width / 2
                color: modelData
                opacity: 0.15 + 0.85 * (index / 11)
                transform: Rotation {
                    origin.x: spoke.width / 2
                    origin.y: spoke.parent.height / 2
                    angle: spoke.index * 30
                }
            }
        }

        RotationAnimator on rotation {
            from: 0
            to: 360
            duration: 1000
            loops: Animation.Infinite
            running: spinner.running && spinner.visible
        }
    }
}
