import QtQuick

// The round badge of the status screen: red with a raised hand while blocked,
// green with a checkmark while free. Reachable with Tab, so that a screen
// reader reads the state.
Item {
    id: badge
    property bool blocked: false
    readonly property color tint: blocked ? Theme.red : Theme.green

    activeFocusOnTab: true
    Accessible.role: Accessible.Indicator
    Accessible.name: blocked ? "Blokkering actief" : "Geen blokkering"
    Accessible.description: blocked ? "AI websites zijn geblokkeerd tijdens de les"
                                     : "Alle websites zijn toegankelijk"
    Accessible.focusable: true

    implicitWidth: 120
    implicitHeight: 120

    // A soft shadow below the disc: rings fading outwards, 4 points down.
    Repeater {
        // Each ring carries the tint, so that the delegate needs nothing from outside.
        model: Array(8).fill(badge.tint)
        Rectangle {
            required property int index
            required property color modelData
            width: 100 + index * 4
            height: width
            radius: width / 2
            x: (parent.width - width) / 2
            y: (parent.height - height) / 2 + 4
            color: "transparent"
            border.width: 2
            border.color: Qt.rgba(modelData.r, modelData.g, modelData.b, 0.3 * (1 - index / 8) / 2)
        }
    }

    Rectangle {
        objectName: "badgeRing"
        anchors.fill: parent
        radius: width / 2
        color: "transparent"
        border.width: 4
        border.color: badge.activeFocus ? Theme.focusRing
                                        : Qt.rgba(badge.tint.r, badge.tint.g, badge.tint.b, 0.2)
    }

    Rectangle {
        objectName: "badgeDisc"
        width: 100
        height: 100
        radius: 50
        anchors.centerIn: parent
        gradient: Gradient {
            GradientStop { position: 0.0; color: badge.tint }
            GradientStop { position: 1.0; color: Qt.rgba(badge.tint.r, badge.tint.g, badge.tint.b, 0.8) }
        }
    }

    SymbolIcon {
        objectName: "badgeSymbol"
        anchors.centerIn: parent
        name: badge.blocked ? "hand.raised.fill" : "checkmark"
        size: 40
        font.weight: Font.Medium
        color: "white"
    }
}
