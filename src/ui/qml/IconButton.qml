import QtQuick
import QtQuick.Controls

// A symbol that acts as a button, without a bezel.
AbstractButton {
    id: control
    property string symbol
    property real size: 14
    property color color: Theme.secondaryText
    property string toolTip

    Accessible.role: Accessible.Button
    Accessible.name: toolTip

    implicitWidth: contentItem.implicitWidth + 8
    implicitHeight: contentItem.implicitHeight + 8
    contentItem: SymbolIcon {
        name: control.symbol
        size: control.size
        color: control.color
        opacity: control.down ? 0.6 : 1.0
    }
    background: Rectangle {
        radius: 4
        color: "transparent"
        border.width: control.visualFocus ? 2 : 0
        border.color: Theme.focusRing
    }
    ToolTip.visible: hovered && toolTip !== ""
    ToolTip.text: toolTip
}
