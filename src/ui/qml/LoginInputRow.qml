import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// One framed input row of the login form: a symbol and a borderless field.
// The frame turns blue while the field has the keyboard focus.
Rectangle {
    id: row

    readonly property alias field: input
    property alias text: input.text
    property string symbol
    property alias placeholderText: input.placeholderText
    property string fieldName
    property string accessibleName
    property real fontSize: 14
    property int fontWeight: Font.Normal
    property bool monospaced: false

    signal accepted()

    // The application's own font, for the field that is not monospaced.
    FontMetrics {
        id: applicationFont
    }

    implicitHeight: input.implicitHeight + 20
    radius: 8
    color: Theme.controlBackground
    border.width: 1
    border.color: input.activeFocus ? Qt.rgba(0, 0.478, 1, 0.5) : Theme.lightStroke

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 14
        anchors.rightMargin: 14
        anchors.topMargin: 10
        anchors.bottomMargin: 10
        spacing: 10

        SymbolIcon {
            name: row.symbol
            size: 14
            color: Theme.secondaryText
            Layout.preferredWidth: 20
        }
        TextField {
            id: input
            objectName: row.fieldName
            Layout.fillWidth: true
            padding: 0
            background: null
            color: Theme.primaryText
            placeholderTextColor: Theme.tertiaryText
            selectByMouse: true
            font.pixelSize: row.fontSize
            font.weight: row.fontWeight
            font.family: row.monospaced ? "DejaVu Sans Mono" : applicationFont.font.family
            onAccepted: row.accepted()
            Accessible.name: row.accessibleName
            Accessible.description: row.placeholderText
        }
    }
}
