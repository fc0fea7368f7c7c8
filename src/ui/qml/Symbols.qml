pragma Singleton
import QtQuick

// The one table from the symbol names the screens use to code points of the
// Material Icons font (Debian's fonts-material-design-icons-iconfont).
QtObject {
    readonly property string fontFamily: "Material Icons"

    readonly property var codePoints: ({
        "person.fill": 0xe7fd,                        // person
        "key.fill": 0xe0da,                           // vpn_key
        "hand.raised.fill": 0xe925,                   // pan_tool
        "checkmark": 0xe5ca,                          // check
        "checkmark.circle.fill": 0xe86c,              // check_circle
        "chevron.down": 0xe5cf,                       // expand_more
        "chevron.right": 0xe5cc,                      // chevron_right
        "exclamationmark.triangle.fill": 0xe002,      // warning
        "rectangle.portrait.and.arrow.right": 0xe879, // exit_to_app
        "arrow.clockwise": 0xe5d5,                    // refresh
        "arrow.uturn.backward.circle": 0xe8ba         // settings_backup_restore
    })

    function glyph(name: string): string {
        const codePoint = codePoints[name]
        if (codePoint === undefined) {
            console.warn("Unknown symbol: " + name)
            return ""
        }
        return String.fromCharCode(codePoint)
    }
}
