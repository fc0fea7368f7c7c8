import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import KaTesmar

// The collapsible debug panel: counters, the domain check and the log.
Rectangle {
    id: panel
    objectName: "debugPanel"

    property string searchDomain: ""
    property string searchResult: ""
    property bool isExpanded: false

    function checkDomain() {
        searchResult = AppState.checkDomain(searchDomain)
    }

    implicitHeight: column.implicitHeight
    radius: 8
    color: "transparent"
    border.width: 1
    border.color: Theme.lightStroke
    clip: true

    ColumnLayout {
        id: column
        anchors.left: parent.left
        anchors.right: parent.right
        spacing: 0

        AbstractButton {
            id: header
            objectName: "debugHeader"
            Layout.fillWidth: true
            implicitHeight: implicitContentHeight + topPadding + bottomPadding
            onClicked: panel.isExpanded = !panel.isExpanded
            Accessible.role: Accessible.Button
            Accessible.name: "Debug Info"
            Accessible.description: panel.isExpanded ? "Verbergt tellers, domeincontrole en log"
                                                     : "Toont tellers, domeincontrole en log"
            background: Rectangle {
                color: Theme.controlBackground
                opacity: 0.5
                radius: 8
                Rectangle {
                    anchors.fill: parent
                    radius: 8
                    color: "transparent"
                    border.width: header.visualFocus ? 2 : 0
                    border.color: Theme.focusRing
                }
            }
            contentItem: RowLayout {
                spacing: 6
                SymbolIcon {
                    objectName: "debugChevron"
                    name: panel.isExpanded ? "chevron.down" : "chevron.right"
                    size: 10
                    color: Theme.secondaryText
                }
                Text {
                    text: "Debug Info"
                    font.pixelSize: 11
                    font.weight: Font.Medium
                    color: Theme.secondaryText
                }
                Item { Layout.fillWidth: true }
            }
            leftPadding: 12
            rightPadding: 12
            topPadding: 8
            bottomPadding: 8
        }

        Item {
            id: expandedArea
            objectName: "debugExpandedArea"
            Layout.fillWidth: true
            Layout.preferredHeight: panel.isExpanded ? details.implicitHeight : 0
            clip: true
            Behavior on Layout.preferredHeight { NumberAnimation { duration: 200; easing.type: Easing.InOutQuad } }

            Rectangle {
                id: details
                objectName: "debugDetails"
                width: parent.width
                visible: panel.isExpanded
                color: Theme.controlBackground
                implicitHeight: content.implicitHeight + 24

                ColumnLayout {
                    id: content
                    x: 12
                    y: 12
                    width: parent.width - 24
                    spacing: 8

                    RowLayout {
                        Layout.fillWidth: true
                        DebugStatItem { objectName: "statDomains"; label: "Domeinen"; value: AppState.blockedDomainsCount.toString() }
                        Item { Layout.fillWidth: true }
                        DebugStatItem { objectName: "statHosts"; label: "Hosts"; value: AppState.hostsCount.toString() }
                        Item { Layout.fillWidth: true }
                        DebugStatItem { objectName: "statFirewall"; label: "Firewall"; value: AppState.firewallCount.toString() }
                    }

                    Rectangle { Layout.fillWidth: true; implicitHeight: 1; color: Theme.lightStroke }

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: 8
                        TextField {
                            id: searchField
                            objectName: "searchField"
                            Layout.fillWidth: true
                            placeholderText: "Zoek domein..."
                            Accessible.name: "Zoek domein"
                            Accessible.description: "Typ een domein en kies Check om te zien of het geblokkeerd is"
                            font.pixelSize: 11
                            leftPadding: 8
                            rightPadding: 8
                            topPadding: 6
                            bottomPadding: 6
                            text: panel.searchDomain
                            onTextEdited: panel.searchDomain = text
                            background: Rectangle { radius: 4; color: "white" }
                        }
                        BorderedButton {
                            objectName: "checkButton"
                            text: "Check"
                            Accessible.name: "Controleer domein"
                            textSize: 11
                            onClicked: panel.checkDomain()
                        }
                    }

                    Rectangle {
                        objectName: "searchResultBox"
                        visible: panel.searchResult !== ""
                        Layout.fillWidth: true
                        implicitHeight: resultText.implicitHeight + 12
                        radius: 4
                        color: "white"
                        Text {
                            id: resultText
                            objectName: "searchResultText"
                            x: 6
                            y: 6
                            width: parent.width - 12
                            text: panel.searchResult
                            textFormat: Text.PlainText
                            font.pixelSize: 10
                            font.family: "monospace"
                            color: panel.searchResult.startsWith("GEBLOKKEERD") ? Theme.red : Theme.green
                            wrapMode: Text.Wrap
                        }
                    }

                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 6
                        visible: AppState.debugLog !== ""

                        RowLayout {
                            Layout.fillWidth: true
                            BorderedButton {
                                objectName: "copyLogButton"
                                text: "Kopieer logs"
                                textSize: 11
                                onClicked: AppState.copyDebugLog()
                            }
                            Item { Layout.fillWidth: true }
                        }

                        // Made only while the panel is open, and so laid out again
                        // for each new line only while it can be read.
                        Loader {
                            Layout.fillWidth: true
                            Layout.preferredHeight: 140
                            active: panel.isExpanded
                            sourceComponent: Component {
                                Rectangle {
                                    objectName: "logArea"
                                    radius: 4
                                    color: Qt.rgba(0, 0, 0, 0.3)
                                    clip: true
                                    Flickable {
                                        id: logScroll
                                        anchors.fill: parent
                                        anchors.margins: 6
                                        contentWidth: width
                                        contentHeight: logText.implicitHeight
                                        boundsBehavior: Flickable.StopAtBounds
                                        ScrollBar.vertical: ScrollBar {}
                                        TextEdit {
                                            id: logText
                                            objectName: "logText"
                                            width: logScroll.width
                                            text: AppState.debugLog
                                            textFormat: TextEdit.PlainText
                                            readOnly: true
                                            selectByMouse: true
                                            wrapMode: TextEdit.Wrap
                                            font.pixelSize: 9
                                            font.family: "monospace"
                                            color: Theme.secondaryText
                                        }
                                    }
                                }
                            }
                        }
                    }
                }
            }
        }
    }
}
