import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import KaTesmar

// The login screen: name and class code, "Activeren", the error of the last
// attempt, the network restore and the version.
Item {
    id: view
    objectName: "loginScreen"

    readonly property string studentName: nameRow.text
    readonly property string classCode: codeRow.text
    // Which field has the keyboard focus: "name", "code" or "" (none).
    readonly property string focusedField: nameRow.field.activeFocus ? "name"
                                           : codeRow.field.activeFocus ? "code" : ""
    readonly property bool canLogin: LoginRules.canLogin(AppState.isLoading, studentName, classCode)
    readonly property string versionText: typeof Qt.application.version === "string"
                                          && Qt.application.version !== "" ? Qt.application.version : "?"

    function performLogin() {
        AppState.loginWithClassCode(studentName, classCode)
    }

    // A fresh screen shows no error left from earlier, and the student can
    // type the name at once.
    Component.onCompleted: {
        AppState.clearErrorMessage()
        nameRow.field.forceActiveFocus()
    }

    // Return starts the login when no field holds the focus (the fields
    // handle their own Return).
    Shortcut {
        sequence: "Return"
        enabled: view.canLogin && view.focusedField === ""
        onActivated: view.performLogin()
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        Item { Layout.preferredHeight: 30 }

        Item {
            objectName: "loginIcon"
            Layout.preferredWidth: 70
            Layout.preferredHeight: 70
            Layout.alignment: Qt.AlignHCenter
            Layout.bottomMargin: 12

            // A soft blue shadow 6 points below the rounded icon: rounded
            // rectangles fading outwards, drawn without a layer effect.
            Repeater {
                model: 6
                Rectangle {
                    required property int index
                    x: -index * 2
                    y: 6 - index * 2
                    width: 70 + index * 4
                    height: width
                    radius: 16 + index * 2
                    color: "transparent"
                    border.width: 2
                    border.color: Qt.rgba(0, 0.478, 1, 0.22 * (1 - index / 6))
                }
            }
            Image {
                id: icon
                anchors.fill: parent
                source: "qrc:/images/LoginIcon.png"
                sourceSize.width: 140
                sourceSize.height: 140
                fillMode: Image.PreserveAspectFit
                smooth: true
            }
        }

        Text {
            text: "Ridudiziv Ka Tesmar"
            Layout.alignment: Qt.AlignHCenter
            font.pixelSize: 20
            font.bold: true
            color: Theme.primaryText
        }

        Text {
            text: "Vul je gegevens in om te starten"
            Layout.alignment: Qt.AlignHCenter
            Layout.topMargin: 4
            Layout.bottomMargin: 20
            font.pixelSize: 12
            color: Theme.secondaryText
        }

        ColumnLayout {
            objectName: "loginForm"
            Layout.fillWidth: true
            Layout.leftMargin: 40
            Layout.rightMargin: 40
            spacing: 12

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 4
                Text {
                    text: "Je naam (voor- en achternaam)"
                    font.pixelSize: 11
                    color: Theme.secondaryText
                }
                LoginInputRow {
                    id: nameRow
                    objectName: "nameRow"
                    Layout.fillWidth: true
                    symbol: "person.fill"
                    placeholderText: "Bijv. Jan Jansen"
                    fieldName: "nameField"
                    accessibleName: "Je naam"
                    fontSize: 14
                    onAccepted: codeRow.field.forceActiveFocus()
                }
            }

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 4
                Text {
                    text: "Klascode"
                    font.pixelSize: 11
                    color: Theme.secondaryText
                }
                LoginInputRow {
                    id: codeRow
                    objectName: "codeRow"
                    Layout.fillWidth: true
                    symbol: "key.fill"
                    placeholderText: "Bijv. ABC123"
                    fieldName: "codeField"
                    accessibleName: "Klascode"
                    fontSize: 18
                    fontWeight: Font.DemiBold
                    monospaced: true
                    onAccepted: {
                        if (view.canLogin)
                            view.performLogin()
                    }
                    // At most 6 characters, upper case, whatever was typed or pasted
                    // (so the field needs no upper-case display of its own, which
                    // would also capitalise the placeholder).
                    onTextChanged: {
                        var corrected = LoginRules.correctedClassCode(text)
                        if (corrected !== text)
                            text = corrected
                    }
                }
                Text {
                    text: "Vraag de code aan je leerkracht"
                    Layout.topMargin: 2
                    font.pixelSize: 10
                    color: Theme.tertiaryText
                }
            }
        }

        ErrorLine {
            objectName: "errorLine"
            textObjectName: "errorText"
            text: AppState.errorMessage
            Layout.fillWidth: true
            Layout.leftMargin: 40
            Layout.rightMargin: 40
            Layout.topMargin: 12
        }

        Button {
            id: loginButton
            objectName: "loginButton"
            Layout.fillWidth: true
            Layout.leftMargin: 40
            Layout.rightMargin: 40
            Layout.topMargin: 16
            Layout.preferredHeight: 36
            enabled: view.canLogin
            onClicked: view.performLogin()
            Accessible.name: "Activeren"
            Accessible.description: "Meldt je aan bij de klas met je naam en klascode"
            contentItem: Item {
                Spinner {
                    objectName: "loginSpinner"
                    anchors.centerIn: parent
                    visible: AppState.isLoading
                    running: visible
                    scale: 0.7
                    color: "white"
                }
                Text {
                    objectName: "loginButtonText"
                    anchors.centerIn: parent
                    visible: !AppState.isLoading
                    text: "Activeren"
                    font.pixelSize: 14
                    font.weight: Font.Medium
                    color: "white"
                }
            }
            background: Rectangle {
                radius: 8
                color: Theme.blue
                opacity: view.canLogin ? 1.0 : 0.4
                border.width: loginButton.visualFocus ? 2 : 0
                border.color: Theme.primaryText
            }
        }

        Item { Layout.fillHeight: true }

        RestoreInternetButton {
            Layout.alignment: Qt.AlignHCenter
            Layout.leftMargin: 40
            Layout.rightMargin: 40
            Layout.bottomMargin: 8
        }

        RowLayout {
            objectName: "footer"
            Layout.alignment: Qt.AlignHCenter
            Layout.bottomMargin: 16
            spacing: 4
            Text {
                text: "Ridudiziv Ka Tesmar"
                font.pixelSize: 11
                color: Theme.secondaryText
            }
            Text {
                objectName: "versionText"
                text: "v" + view.versionText
                font.pixelSize: 11
                color: Theme.tertiaryText
            }
        }
    }
}
