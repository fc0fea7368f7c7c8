pragma Singleton
import QtQuick

// Colours and metrics shared by the screens, in the spirit of the platform's
// semantic colours on a light window.
QtObject {
    readonly property color primaryText: "#1d1d1f"
    readonly property color secondaryText: "#6e6e73"
    readonly property color tertiaryText: "#a1a1a6"
    readonly property color controlBackground: "#ffffff"
    readonly property color lightStroke: Qt.rgba(0.8, 0.8, 0.8, 1)
    readonly property color blue: "#007aff"
    readonly property color red: "#ff3b30"
    readonly property color green: "#34c759"
    readonly property color orange: "#ff9500"
    // The ring around the control that holds the keyboard focus.
    readonly property color focusRing: "#007aff"
    // The translucent window background (a light sidebar material).
    readonly property color windowBackground: Qt.rgba(0.925, 0.925, 0.93, 0.92)
}
