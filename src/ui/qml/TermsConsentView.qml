import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The terms of use, a checkbox and "Doorgaan". Emits accepted() when the
// student goes on; the root view stores the consent.
Item {
    id: view
    objectName: "termsScreen"

    signal accepted()

    // Not persisted: the box is unticked each time the screen is built.
    property bool hasCheckedAgree: false

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        Item { Layout.preferredHeight: 30 }

        Image {
            objectName: "loginIcon"
            source: "qrc:/images/LoginIcon.png"
            Layout.preferredWidth: 60
            Layout.preferredHeight: 60
            Layout.alignment: Qt.AlignHCenter
            Layout.bottomMargin: 12
            fillMode: Image.PreserveAspectFit
            sourceSize.width: 120
            sourceSize.height: 120
            smooth: true
        }

        Text {
            text: "Ridudiziv Ka Tesmar"
            Layout.alignment: Qt.AlignHCenter
            font.pixelSize: 20
            font.bold: true
            color: Theme.primaryText
        }

        Text {
            text: "Algemene voorwaarden"
            Layout.alignment: Qt.AlignHCenter
            Layout.topMargin: 4
            Layout.bottomMargin: 20
            font.pixelSize: 13
            color: Theme.secondaryText
        }

        Rectangle {
            id: termsBox
            objectName: "termsBox"
            Layout.fillWidth: true
            Layout.leftMargin: 40
            Layout.rightMargin: 40
            Layout.topMargin: 16
            Layout.bottomMargin: 16
            Layout.preferredHeight: Math.min(200, termsColumn.implicitHeight + 24)
            radius: 8
            color: Theme.controlBackground
            border.width: termsBox.activeFocus ? 2 : 1
            border.color: termsBox.activeFocus ? Theme.focusRing : Theme.lightStroke
            clip: true

            // Reachable with Tab, read out whole, scrolled with the arrow keys.
            activeFocusOnTab: true
            Accessible.role: Accessible.StaticText
            Accessible.name: "Algemene voorwaarden"
            Accessible.description: intro.text + " " + term1.text + " " + term2.text + " " + term3.text + " " + term4.text
            Accessible.focusable: true
            Keys.onUpPressed: termsScroll.flick(0, 600)
            Keys.onDownPressed: termsScroll.flick(0, -600)

            Flickable {
                id: termsScroll
                objectName: "termsScroll"
                anchors.fill: parent
                anchors.margins: 1
                contentWidth: width
                contentHeight: termsColumn.implicitHeight + 24
                boundsBehavior: Flickable.StopAtBounds
                ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }

                ColumnLayout {
                    id: termsColumn
                    x: 24
                    y: 12
                    width: termsScroll.width - 48
                    spacing: 12

                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 12
                        TermsText {
                            id: intro
                            text: "Door de app te gebruiken ga je akkoord met de volgende voorwaarden:"
                            font.pixelSize: 12
                            font.weight: Font.Medium
                        }
                        TermsText { id: term1; text: "1. De app verwerkt je naam en klascode voor het functioneren van de AI-blokkering." }
                        TermsText { id: term2; text: "2. Gegevens worden conform de AVG/GDPR verwerkt en niet gedeeld met derden." }
                        TermsText { id: term3; text: "3. Je hebt recht op inzage, rectificatie en verwijdering van je gegevens." }
                        TermsText { id: term4; text: "4. De software is alleen bedoeld voor educatief gebruik binnen de schoolcontext." }
                    }
                }
            }
        }

        CheckBox {
            id: agree
            objectName: "agreeCheckBox"
            Layout.fillWidth: true
            Layout.leftMargin: 40
            Layout.rightMargin: 40
            Layout.bottomMargin: 12
            checked: view.hasCheckedAgree
            onToggled: view.hasCheckedAgree = checked
            Accessible.name: text
            text: "Ik heb de algemene voorwaarden gelezen en ga ermee akkoord"
            contentItem: Text {
                leftPadding: agree.indicator.width + agree.spacing
                text: agree.text
                font.pixelSize: 12
                color: Theme.primaryText
                wrapMode: Text.WordWrap
                verticalAlignment: Text.AlignVCenter
            }
        }

        Button {
            id: continueButton
            objectName: "continueButton"
            Layout.fillWidth: true
            Layout.leftMargin: 40
            Layout.rightMargin: 40
            Layout.preferredHeight: 36
            enabled: view.hasCheckedAgree
            onClicked: view.accepted()
            Accessible.name: "Doorgaan"
            Accessible.description: enabled ? "Gaat verder naar het aanmelden"
                                            : "Vink eerst de voorwaarden aan"
            contentItem: Text {
                text: "Doorgaan"
                font.pixelSize: 14
                font.weight: Font.Medium
                color: "white"
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
            background: Rectangle {
                radius: 8
                color: Theme.blue
                opacity: view.hasCheckedAgree ? 1.0 : 0.4
                border.width: continueButton.visualFocus ? 2 : 0
                border.color: Theme.primaryText
            }
        }

        Item { Layout.fillHeight: true }
    }

    component TermsText: Text {
        Layout.fillWidth: true
        wrapMode: Text.WordWrap
        font.pixelSize: 11
        color: Theme.primaryText
    }
}
