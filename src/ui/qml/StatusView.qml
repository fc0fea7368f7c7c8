import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import KaTesmar

// The screen of an active class session: the blocking state at a glance,
// reconnect and stop, the network restore, the teacher and the debug panel.
Item {
    id: view
    objectName: "statusScreen"

    readonly property color stateColor: AppState.isBlocked ? Theme.red : Theme.green

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        Rectangle {
            objectName: "statusHeader"
            Layout.fillWidth: true
            implicitHeight: header.implicitHeight + 28
            color: Qt.rgba(1, 1, 1, 0.5)

            RowLayout {
                id: header
                anchors.fill: parent
                anchors.leftMargin: 20
                anchors.rightMargin: 20
                anchors.topMargin: 14
                anchors.bottomMargin: 14
                spacing: 10

                Image {
                    source: "qrc:/images/LoginIcon.png"
                    sourceSize.width: 64
                    sourceSize.height: 64
                    Layout.preferredWidth: 32
                    Layout.preferredHeight: 32
                    fillMode: Image.PreserveAspectFit
                    smooth: true
                }
                ColumnLayout {
                    spacing: 2
                    Text {
                        text: "Ridudiziv Ka Tesmar"
                        font.pixelSize: 14
                        font.weight: Font.DemiBold
                        color: Theme.primaryText
                    }
                    RowLayout {
                        spacing: 6
                        Rectangle { width: 8; height: 8; radius: 4; color: Theme.green }
                        Text {
                            objectName: "studentLine"
                            text: AppState.studentName + " - " + AppState.className
                            textFormat: Text.PlainText
                            font.pixelSize: 12
                            color: Theme.secondaryText
                        }
                    }
                }
                Item { Layout.fillWidth: true }
                IconButton {
                    objectName: "headerStopButton"
                    symbol: "rectangle.portrait.and.arrow.right"
                    size: 14
                    toolTip: "Stoppen"
                    onClicked: AppState.logout()
                }
            }
        }

        Rectangle { Layout.fillWidth: true; implicitHeight: 1; color: Theme.lightStroke }

        // The main column scrolls when the expanded debug panel makes it
        // taller than the window; expanding the panel brings it into view.
        Flickable {
            id: mainScroll
            objectName: "statusScroll"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            contentWidth: width
            contentHeight: mainColumn.height
            boundsBehavior: Flickable.StopAtBounds
            interactive: contentHeight > height
            ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }
            onContentHeightChanged: {
                if (debugPanel.isExpanded)
                    contentY = Math.max(0, contentHeight - height)
            }

        ColumnLayout {
            id: mainColumn
            width: mainScroll.width
            height: Math.max(mainScroll.height, implicitHeight)
            spacing: 0

            Item { Layout.fillHeight: true }

            StatusBadge {
                objectName: "statusBadge"
                blocked: AppState.isBlocked
                Layout.alignment: Qt.AlignHCenter
                Layout.bottomMargin: 20
            }

            Text {
                objectName: "headline"
                text: AppState.isBlocked ? "Blokkering Actief" : "Geen Blokkering"
                font.pixelSize: 20
                font.weight: Font.DemiBold
                color: Theme.primaryText
                Layout.alignment: Qt.AlignHCenter
            }

            Text {
                objectName: "detailLine"
                text: AppState.isBlocked ? AppState.blockedDomainsCount + " AI websites geblokkeerd"
                                         : "Alle websites toegankelijk"
                font.pixelSize: 13
                color: Theme.secondaryText
                Layout.alignment: Qt.AlignHCenter
                Layout.topMargin: 4
            }

            // What went wrong with the block (a refused activation, say): the
            // headline alone would claim a block that is not in force.
            ErrorLine {
                objectName: "statusErrorRow"
                textObjectName: "statusErrorText"
                text: AppState.errorMessage
                Layout.fillWidth: true
                Layout.leftMargin: 40
                Layout.rightMargin: 40
                Layout.topMargin: 8
            }

            RowLayout {
                spacing: 8
                Layout.alignment: Qt.AlignHCenter
                Layout.topMargin: 20
                BorderedButton {
                    objectName: "reconnectButton"
                    text: "Opnieuw verbinden"
                    enabled: !AppState.isReconnecting
                    onClicked: AppState.manualReconnect()
                }
                BorderedButton {
                    objectName: "stopButton"
                    text: "Stoppen"
                    prominent: true
                    onClicked: AppState.logout()
                }
            }

            RestoreInternetButton {
                Layout.alignment: Qt.AlignHCenter
                Layout.topMargin: 8
            }

            Rectangle {
                objectName: "teacherCard"
                Layout.fillWidth: true
                Layout.leftMargin: 40
                Layout.rightMargin: 40
                Layout.topMargin: 12
                implicitHeight: teacher.implicitHeight + 24
                radius: 8
                color: Theme.controlBackground
                ColumnLayout {
                    id: teacher
                    x: 12
                    y: 12
                    width: parent.width - 24
                    spacing: 4
                    Text {
                        text: "Leerkracht"
                        font.pixelSize: 10
                        color: Theme.tertiaryText
                    }
                    Text {
                        objectName: "teacherName"
                        text: AppState.teacherName
                        textFormat: Text.PlainText
                        Accessible.name: "Leerkracht: " + text
                        font.pixelSize: 14
                        font.weight: Font.Medium
                        color: Theme.primaryText
                        Layout.fillWidth: true
                        Layout.minimumHeight: fontMetrics.height
                        FontMetrics { id: fontMetrics; font.pixelSize: 14 }
                    }
                }
            }

            RowLayout {
                objectName: "statusMessageRow"
                visible: AppState.statusMessage !== ""
                spacing: 6
                Layout.alignment: Qt.AlignHCenter
                Layout.topMargin: 8
                SymbolIcon { name: "checkmark.circle.fill"; size: 12; color: Theme.green }
                Text {
                    objectName: "statusMessageText"
                    text: AppState.statusMessage
                    textFormat: Text.PlainText
                    font.pixelSize: 12
                    color: Theme.secondaryText
                }
            }

            Item { Layout.fillHeight: true }

            DebugPanelView {
                id: debugPanel
                Layout.fillWidth: true
                Layout.leftMargin: 20
                Layout.rightMargin: 20
                Layout.bottomMargin: 16
            }

            RowLayout {
                objectName: "lastCheckRow"
                visible: AppState.lastCheckText !== ""
                spacing: 4
                Layout.alignment: Qt.AlignHCenter
                Layout.bottomMargin: 16
                SymbolIcon { name: "arrow.clockwise"; size: 10; color: Theme.tertiaryText }
                Text {
                    objectName: "lastCheckText"
                    text: "Laatste controle: " + AppState.lastCheckText
                    font.pixelSize: 11
                    color: Theme.tertiaryText
                }
            }
        }
        }
    }
}
