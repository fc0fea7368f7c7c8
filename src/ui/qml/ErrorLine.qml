import QtQuick
import QtQuick.Layouts

// A red line behind a warning sign, there only while it has a text. The text
// (often the service's own) is shown as it is, never as markup.
RowLayout {
    id: line

    property alias text: message.text
    property alias textObjectName: message.objectName

    visible: text !== ""
    spacing: 6

    SymbolIcon {
        name: "exclamationmark.triangle.fill"
        size: 11
        color: Theme.red
        Layout.alignment: Qt.AlignTop
    }
    Text {
        id: message
        Layout.fillWidth: true
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        font.pixelSize: 12
        color: Theme.red
    }
}
