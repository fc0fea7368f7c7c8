import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import KaTesmar

// "Herstel Internet": after a confirmation, puts back the network settings the
// computer had before blocking. Each placement keeps its own state.
ColumnLayout {
    id: root
    objectName: "restoreInternetButton"
    spacing: 4

    readonly property alias isRestoring: restore.restoring
    readonly property alias restoreResult: restore.result
    property bool showConfirmation: false
    readonly property alias confirmationDialog: confirmation

    function performRestore() {
        restore.start()
    }

    ManualRestore {
        id: restore
        appState: AppState
    }

    AbstractButton {
        id: button
        objectName: "restoreButton"
        Layout.alignment: Qt.AlignHCenter
        enabled: !root.isRestoring
        implicitWidth: implicitContentWidth + leftPadding + rightPadding
        implicitHeight: implicitContentHeight + topPadding + bottomPadding
        onClicked: root.showConfirmation = true
        Accessible.role: Accessible.Button
        Accessible.name: "Herstel Internet"
        Accessible.description: "Zet je originele internetinstellingen terug, na een bevestiging"
        background: Rectangle {
            radius: 4
            color: "transparent"
            border.width: button.visualFocus ? 2 : 0
            border.color: Theme.focusRing
        }
        contentItem: RowLayout {
            spacing: 6
            BusyIndicator {
                objectName: "restoreSpinner"
                visible: root.isRestoring
                running: root.isRestoring
                Layout.preferredWidth: 16
                Layout.preferredHeight: 16
                scale: 0.6
            }
            SymbolIcon {
                objectName: "restoreSymbol"
                visible: !root.isRestoring
                name: "arrow.uturn.backward.circle"
                size: 12
                color: Theme.orange
            }
            Text {
                text: "Herstel Internet"
                font.pixelSize: 11
                color: Theme.orange
            }
        }
    }

    Text {
        objectName: "restoreResultText"
        Layout.alignment: Qt.AlignHCenter
        text: root.restoreResult
        visible: opacity > 0
        opacity: root.restoreResult !== "" ? 1 : 0
        Behavior on opacity { NumberAnimation { duration: 150 } }
        font.pixelSize: 10
        color: restore.succeeded ? Theme.green : Theme.red
    }

    Dialog {
        id: confirmation
        objectName: "restoreConfirmation"
        parent: Overlay.overlay
        anchors.centerIn: parent
        width: Math.min(320, parent ? parent.width - 40 : 320)
        modal: true
        closePolicy: Popup.CloseOnEscape
        visible: root.showConfirmation
        onClosed: root.showConfirmation = false
        // The keyboard lands on the choice that changes nothing.
        onOpened: cancelButton.forceActiveFocus()
        title: "Internet herstellen?"
        padding: 16
        topPadding: 8
        background: Rectangle {
            radius: 10
            color: "#f7f7f7"
            border.width: 1
            border.color: Theme.lightStroke
        }
        header: Text {
            text: confirmation.title
            font.pixelSize: 13
            font.bold: true
            color: Theme.primaryText
            leftPadding: 16
            rightPadding: 16
            topPadding: 16
        }

        contentItem: Text {
            objectName: "restoreConfirmationText"
            text: "Dit herstelt je originele internetinstellingen.\nGebruik dit alleen als je internetproblemen hebt na het afsluiten van de app."
            wrapMode: Text.WordWrap
            font.pixelSize: 12
            color: Theme.primaryText
        }

        footer: RowLayout {
            spacing: 8
            Item { implicitHeight: 44 }
            Item { Layout.fillWidth: true }
            BorderedButton {
                id: cancelButton
                objectName: "restoreCancel"
                text: "Annuleer"
                onClicked: root.showConfirmation = false
            }
            BorderedButton {
                objectName: "restoreConfirm"
                text: "Herstel"
                Accessible.description: "Herstelt de internetinstellingen nu"
                contentItem: Text {
                    text: "Herstel"
                    font.pixelSize: 12
                    color: Theme.red
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                }
                onClicked: {
                    root.showConfirmation = false
                    root.performRestore()
                }
            }
            Item { implicitWidth: 8 }
        }
    }
}
