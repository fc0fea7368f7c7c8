.pragma library

// Colours and metrics shared by the screens, in the spirit of the platform's
// semantic colours on a light window.
var primaryText = "#1d1d1f"
var secondaryText = "#6e6e73"
var tertiaryText = "#a1a1a6"
var controlBackground = "#ffffff"
var lightStroke = Qt.rgba(0.8, 0.8, 0.8, 1)
var blue = "#007aff"
var red = "#ff3b30"
var green = "#34c759"
var orange = "#ff9500"
// The ring around the control that holds the keyboard focus.
var focusRing = "#007aff"
// The translucent window background (a light sidebar material).
var windowBackground = Qt.rgba(0.925, 0.925, 0.93, 0.92)
