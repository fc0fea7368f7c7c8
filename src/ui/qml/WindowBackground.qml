import QtQuick

// The translucent window background: lets the desktop show through where the
// window system composites, a light sidebar colour elsewhere.
Rectangle {
    color: Theme.windowBackground
}
