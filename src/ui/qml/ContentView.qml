import QtQuick
import KaTesmar

// The root view: the window background, one screen chosen from the consent
// flag and the session, and the installing overlay above it.
Item {
    id: root

    readonly property string currentScreen: !TermsConsent.accepted ? "terms"
                                            : AppState.isLoggedIn ? "status" : "login"
    readonly property bool overlayShown: AppState.isInstalling

    WindowBackground {
        anchors.fill: parent
    }

    Loader {
        id: screen
        objectName: "screenLoader"
        anchors.fill: parent
        sourceComponent: root.currentScreen === "terms" ? termsScreen
                         : root.currentScreen === "status" ? statusScreen : loginScreen
    }

    Loader {
        id: overlay
        objectName: "overlayLoader"
        anchors.fill: parent
        z: 1
        active: root.overlayShown
        sourceComponent: installingOverlay
    }

    Component {
        id: termsScreen
        TermsConsentView {
            onAccepted: TermsConsent.accepted = true
        }
    }

    Component {
        id: loginScreen
        LoginView {}
    }
    Component {
        id: statusScreen
        StatusView {}
    }
    Component {
        id: installingOverlay
        InstallingOverlay {}
    }
}
