import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// Covers the window while the activation script runs and the system may ask
// for the administrator password. Swallows all input to the screen below.
Rectangle {
    objectName: "installingOverlay"
    color: Qt.rgba(0, 0, 0, 0.5)

    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.AllButtons
        hoverEnabled: true
        preventStealing: true
        onWheel: wheel => wheel.accepted = true
    }

    Rectangle {
        objectName: "installingCard"
        anchors.centerIn: parent
        width: card.implicitWidth + 56
        height: card.implicitHeight + 56
        radius: 12
        color: Qt.rgba(0.97, 0.97, 0.97, 0.9)

        ColumnLayout {
            id: card
            anchors.centerIn: parent
            spacing: 16

            BusyIndicator {
                running: true
                scale: 1.2
                Layout.alignment: Qt.AlignHCenter
            }
            Text {
                text: "Blokkering activeren..."
                font.pixelSize: 13
                font.weight: Font.Medium
                color: Theme.primaryText
                Layout.alignment: Qt.AlignHCenter
            }
            Text {
                text: "Voer je wachtwoord in wanneer gevraagd"
                font.pixelSize: 11
                color: Theme.secondaryText
                Layout.alignment: Qt.AlignHCenter
            }
        }
    }
}
