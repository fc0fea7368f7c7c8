import QtQuick
import KaTesmar

ScreenTest {
    name: "TermsScreen"

    function init() {
        testControl.reset()
    }

    function test_shows_every_text_and_continues_only_while_ticked() {
        const content = show("terms")
        verifyTexts(content, ["Ridudiziv Ka Tesmar", "Algemene voorwaarden", "Doorgaan",
            "Door de app te gebruiken ga je akkoord met de volgende voorwaarden:",
            "1. De app verwerkt je naam en klascode voor het functioneren van de AI-blokkering.",
            "2. Gegevens worden conform de AVG/GDPR verwerkt en niet gedeeld met derden.",
            "3. Je hebt recht op inzage, rectificatie en verwijdering van je gegevens.",
            "4. De software is alleen bedoeld voor educatief gebruik binnen de schoolcontext.",
            "Ik heb de algemene voorwaarden gelezen en ga ermee akkoord"])
        verify(findChild(content, "termsBox").height <= 200, "the terms box is at most 200 high")
        const icon = findChild(content, "loginIcon")
        compare([icon.status, icon.width, icon.height], [Image.Ready, 60, 60])
        save(content, "terms-unticked")
        const agree = findChild(content, "agreeCheckBox")
        const button = findChild(content, "continueButton")
        compare([button.enabled, button.background.opacity], [false, 0.4])
        mouseClick(button)
        compare(content.currentScreen, "terms", "a disabled button does nothing")
        verify(!testControl.storedFlag("hasAcceptedTerms_v5"))
        mouseClick(agree)
        compare([button.enabled, button.background.opacity], [true, 1.0])
        save(content, "terms-ticked")
        mouseClick(agree)
        verify(!button.enabled, "unticking disables the button again")
        mouseClick(agree)
        mouseClick(button)
        verify(testControl.storedFlag("hasAcceptedTerms_v5"))
        compare(content.currentScreen, "login", "accepting shows the login at once")
        show("login")  // a new root view, as after a restart, does not ask again
    }

    function test_the_keyboard_alone_accepts_the_terms() {
        const content = show("terms")
        // StaticText 41, CheckBox 44 (QAccessible::Role); the disabled button is no stop.
        compare(tabChain(content), ["termsBox=41:Algemene voorwaarden",
                                    "agreeCheckBox=44:Ik heb de algemene voorwaarden gelezen en ga ermee akkoord"])
        findChild(content, "agreeCheckBox").forceActiveFocus()
        keyClick(Qt.Key_Return)
        verify(!findChild(content, "termsScreen").hasCheckedAgree, "Return ticks no check box")
        keyClick(Qt.Key_Space)
        keyClick(Qt.Key_Tab)
        compare(focusedItem().objectName, "continueButton")
        keyClick(Qt.Key_Return)
        compare(content.currentScreen, "login")
        verify(testControl.storedFlag("hasAcceptedTerms_v5"))
    }

    function test_screen_follows_consent_and_session_data() {
        return [
            { tag: "consent under older keys", flags: ["hasAcceptedTerms_v4", "hasAcceptedTerms"], loggedIn: false, screen: "terms" },
            { tag: "consent comes before the session", flags: [], loggedIn: true, screen: "terms" },
            { tag: "consent", flags: ["hasAcceptedTerms_v5"], loggedIn: false, screen: "login" },
            { tag: "consent and session", flags: ["hasAcceptedTerms_v5"], loggedIn: true, screen: "status" }
        ]
    }

    function test_screen_follows_consent_and_session(data) {
        for (const flag of data.flags)
            testControl.setStoredFlag(flag, true)
        testControl.setLoggedIn(data.loggedIn)
        const content = show(data.screen)
        verify(findChild(content, data.screen + "Screen") !== null)
        // The overlay lies above whichever screen is shown and leaves it underneath.
        const overlay = findChild(content, "overlayLoader")
        compare(overlay.item, null)
        testControl.setInstalling(true)
        verify(overlay.item !== null && overlay.z > findChild(content, "screenLoader").z)
        compare(content.childAt(200, 325), overlay, "the overlay is the topmost layer")
        compare(content.currentScreen, data.screen)
        testControl.setInstalling(false)
        compare(overlay.item, null)
        // The screen follows changes live.
        testControl.setStoredFlag("hasAcceptedTerms_v5", true)
        testControl.setLoggedIn(!data.loggedIn)
        compare(content.currentScreen, data.loggedIn ? "login" : "status")
    }
}
