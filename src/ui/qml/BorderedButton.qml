import QtQuick
import QtQuick.Controls

// A push button with a light border, as the platform's bordered style.
// `prominent` fills it with the accent colour. Its accessible name is its
// text unless a fuller one is given.
Button {
    id: control
    property real textSize: 12
    property bool prominent: false

    Accessible.role: Accessible.Button
    Accessible.name: text

    implicitHeight: 24
    leftPadding: 10
    rightPadding: 10
    contentItem: Text {
        text: control.text
        font.pixelSize: control.textSize
        color: control.prominent ? "white" : Theme.primaryText
        opacity: control.enabled ? 1.0 : 0.4
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }
    background: Rectangle {
        radius: 5
        color: control.prominent ? Theme.blue : (control.down ? "#e5e5e5" : Theme.controlBackground)
        opacity: control.prominent && !control.enabled ? 0.4 : 1.0
        border.width: control.visualFocus ? 2 : control.prominent ? 0 : 1
        border.color: control.visualFocus ? Theme.focusRing : Theme.lightStroke
    }
}
