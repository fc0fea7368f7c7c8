import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import "Theme.js" as Theme

// "Herstel Internet": after a confirmation, puts back the network settings the
// computer had before blocking. Each placement keeps its own state.
ColumnLayout {
    id: root
    objectName: "restoreInternetButton"
    spacing: 4

    property bool isRestoring: false
    property bool showConfirmation: false
    property string restoreResult: ""
    // Counts results, so that the clearing of an older result leaves a newer one alone.
    property int resultGeneration: 0
    readonly property alias confirmationDialog: confirmation

    function performRestore() {
        isRestoring = true
        restoreResult = ""
        appState.manualRestoreNetwork(root, function (success) {
            root.isRestoring = false
            root.restoreResult = success ? "Internet hersteld" : "Herstel mislukt - probeer opnieuw"
            var generation = ++root.resultGeneration
            appState.after(5.0, root, function () {
                if (root.resultGeneration === generation)
                    root.restoreResult = ""
            })
        })
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
        color: root.restoreResult.indexOf("hersteld") >= 0 ? Theme.green : Theme.red
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
