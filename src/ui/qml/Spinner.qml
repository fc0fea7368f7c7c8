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
            model: 12
            Rectangle {
                required property int index
                x: wheel.width / 2 - width / 2
                y: 0
                width: Math.max(2, wheel.width * 0.09)
                height: wheel.height * 0.28
                radius: width / 2
                color: spinner.color
                opacity: 0.15 + 0.85 * (index / 11)
                transform: Rotation {
                    origin.x: width / 2
                    origin.y: wheel.height / 2
                    angle: index * 30
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
