import QtQuick
import QtTest
import "qrc:/qml"

TestCase {
    id: testCase
    name: "TermsScreen"
    when: windowShown
    width: 400
    height: 650
    visible: true

    Component {
        id: contentComponent
        ContentView {
            width: 400
            height: 650
        }
    }

    function createContent() {
        var content = createTemporaryObject(contentComponent, testCase)
        waitForItemPolished(content)
        return content
    }

    function init() {
        testControl.resetSettings()
        testControl.setLoggedIn(false)
        testControl.setInstalling(false)
    }

    function findByObjectName(item, name) {
        if (item.objectName === name)
            return item
        for (var i = 0; i < item.children.length; ++i) {
            var found = findByObjectName(item.children[i], name)
            if (found)
                return found
        }
        return null
    }

    // The texts of every visible item below `item`, controls' labels included.
    function allTexts(item, into) {
        if (!item || !item.visible)
            return into
        if (typeof item.text === "string" && item.text !== "")
            into.push(item.text)
        var kids = item.children || []
        for (var i = 0; i < kids.length; ++i)
            allTexts(kids[i], into)
        return into
    }

    function save(item, name) {
        var path = testControl.screenshotDir + "/" + name + ".png"
        grabImage(item).save(path)
        verify(testControl.fileExists(path), "screenshot " + path)
    }

    function test_shows_every_text_of_the_terms() {
        var content = createContent()
        compare(content.currentScreen, "terms")
        var texts = allTexts(content, [])
        var expected = [
            "Ridudiziv Ka Tesmar",
            "Algemene voorwaarden",
            "Door de app te gebruiken ga je akkoord met de volgende voorwaarden:",
            "1. De app verwerkt je naam en klascode voor het functioneren van de AI-blokkering.",
            "2. Gegevens worden conform de AVG/GDPR verwerkt en niet gedeeld met derden.",
            "3. Je hebt recht op inzage, rectificatie en verwijdering van je gegevens.",
            "4. De software is alleen bedoeld voor educatief gebruik binnen de schoolcontext.",
            "Ik heb de algemene voorwaarden gelezen en ga ermee akkoord",
            "Doorgaan"
        ]
        for (var i = 0; i < expected.length; ++i)
            verify(texts.indexOf(expected[i]) >= 0, "missing text: " + expected[i])
        var box = findByObjectName(content, "termsBox")
        verify(box.height <= 200, "the terms box is at most 200 high")
        var icon = findByObjectName(content, "loginIcon")
        compare(icon.status, Image.Ready)
        compare(icon.width, 60)
        compare(icon.height, 60)
        save(content, "terms-unticked")
    }

    function test_doorgaan_is_enabled_only_while_the_box_is_ticked() {
        var content = createContent()
        var agree = findByObjectName(content, "agreeCheckBox")
        var button = findByObjectName(content, "continueButton")
        verify(!agree.checked)
        verify(!button.enabled)
        compare(button.background.opacity, 0.4)

        mouseClick(button)
        compare(content.currentScreen, "terms", "a disabled button does nothing")
        verify(!testControl.storedFlag("hasAcceptedTerms_v5"))

        mouseClick(agree)
        verify(agree.checked)
        verify(button.enabled)
        compare(button.background.opacity, 1.0)
        save(content, "terms-ticked")

        mouseClick(agree)
        verify(!button.enabled, "unticking disables the button again")
    }

    function test_accepting_stores_consent_and_shows_login_at_once() {
        var content = createContent()
        mouseClick(findByObjectName(content, "agreeCheckBox"))
        mouseClick(findByObjectName(content, "continueButton"))
        verify(testControl.storedFlag("hasAcceptedTerms_v5"))
        compare(content.currentScreen, "login")
        verify(findByObjectName(content, "loginScreen") !== null)
        compare(findByObjectName(content, "termsScreen"), null)

        // A new root view, as after a restart, does not ask again.
        var again = createContent()
        compare(again.currentScreen, "login")
    }

    function test_the_keyboard_alone_accepts_the_terms() {
        var content = createContent()
        content.forceActiveFocus()
        keyClick(Qt.Key_Tab)
        var box = testCase.Window.activeFocusItem
        compare(box.objectName, "termsBox")
        verify(testControl.accessibleRoleAndName(box).endsWith(":Algemene voorwaarden"))
        keyClick(Qt.Key_Tab)
        compare(testCase.Window.activeFocusItem.objectName, "agreeCheckBox")
        keyClick(Qt.Key_Return)
        verify(!findByObjectName(content, "termsScreen").hasCheckedAgree, "Return ticks no check box")
        keyClick(Qt.Key_Space)
        keyClick(Qt.Key_Tab)
        compare(testCase.Window.activeFocusItem.objectName, "continueButton")
        keyClick(Qt.Key_Return)
        compare(content.currentScreen, "login")
        verify(testControl.storedFlag("hasAcceptedTerms_v5"))
    }

    function test_consent_under_another_key_does_not_count() {
        testControl.setStoredFlag("hasAcceptedTerms_v4", true)
        testControl.setStoredFlag("hasAcceptedTerms", true)
        var content = createContent()
        compare(content.currentScreen, "terms")
    }

    function test_consent_comes_before_the_session() {
        testControl.setLoggedIn(true)
        var content = createContent()
        compare(content.currentScreen, "terms")
        testControl.setStoredFlag("hasAcceptedTerms_v5", true)
        compare(content.currentScreen, "status")
        verify(findByObjectName(content, "statusScreen") !== null)
        testControl.setLoggedIn(false)
        compare(content.currentScreen, "login")
    }

    function test_overlay_lies_above_whichever_screen_is_shown() {
        var content = createContent()
        var screens = findByObjectName(content, "screenLoader")
        var overlay = findByObjectName(content, "overlayLoader")
        var states = [
            { consent: false, loggedIn: false, screen: "terms" },
            { consent: true, loggedIn: false, screen: "login" },
            { consent: true, loggedIn: true, screen: "status" }
        ]
        for (var i = 0; i < states.length; ++i) {
            testControl.setStoredFlag("hasAcceptedTerms_v5", states[i].consent)
            testControl.setLoggedIn(states[i].loggedIn)
            compare(content.currentScreen, states[i].screen)
            compare(overlay.item, null)
            testControl.setInstalling(true)
            verify(overlay.item !== null, "overlay over " + states[i].screen)
            verify(overlay.z > screens.z)
            compare(content.childAt(200, 325), overlay, "the overlay is the topmost layer")
            compare(content.currentScreen, states[i].screen, "the screen stays underneath")
            testControl.setInstalling(false)
            compare(overlay.item, null)
        }
    }
}
