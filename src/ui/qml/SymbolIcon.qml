import QtQuick

// A symbol by name ("person.fill"), drawn from the icon font at `size` points.
Text {
    property string name
    property real size: 14

    text: Symbols.glyph(name)
    font.family: Symbols.fontFamily
    font.pixelSize: size
    horizontalAlignment: Text.AlignHCenter
    verticalAlignment: Text.AlignVCenter
}
