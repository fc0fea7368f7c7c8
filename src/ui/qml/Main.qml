import QtQuick
import QtQuick.Window

Window {
    id: window
    objectName: "mainWindow"
    title: "Ridudiziv Ka Tesmar"
    width: 400
    height: 650
    minimumWidth: 400
    maximumWidth: 400
    minimumHeight: 650
    maximumHeight: 650
    visible: true
    color: "transparent"

    ContentView {
        id: content
        objectName: "contentView"
        anchors.fill: parent
    }
}
