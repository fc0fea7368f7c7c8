import QtQuick
import QtQuick.Layouts

ColumnLayout {
    property string label
    property string value
    spacing: 2

    Text {
        text: parent.value
        font.pixelSize: 14
        font.weight: Font.DemiBold
        font.family: "monospace"
        color: Theme.primaryText
    }
    Text {
        text: parent.label
        font.pixelSize: 9
        color: Theme.secondaryText
    }
}
