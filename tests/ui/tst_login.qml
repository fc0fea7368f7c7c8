import QtQuick
import KaTesmar

ScreenTest {
    name: "LoginScreen"

    property var content: null
    // Requests sent before this test (the state lives as long as the file's engine).
    property int firstRequest: 0

    function requestCount() { return testControl.requestCount() - firstRequest }
    function item(name) { return findChild(content, name) }
    function type(text) { for (const character of text) keyClick(character) }
    function fill(name, code) { item("nameField").text = name; item("codeField").text = code }
    // The button, then the connectivity probe and the session check, up to the login request.
    function startLogin(name, code) {
        fill(name, code)
        mouseClick(item("loginButton"))
        testControl.respond(200, "")
        testControl.respond(200, "")
        compare(requestCount(), 3)
    }

    function init() {
        testControl.reset()
        testControl.setStoredFlag("hasAcceptedTerms_v5", true)
        firstRequest = testControl.requestCount()
        Qt.application.version = ""
        content = show("login")
    }

    function test_shows_every_text_starts_empty_and_corrects_a_pasted_code() {
        verifyTexts(content, ["Ridudiziv Ka Tesmar", "Vul je gegevens in om te starten",
                              "Je naam (voor- en achternaam)", "Bijv. Jan Jansen", "Klascode",
                              "Bijv. ABC123", "Vraag de code aan je leerkracht", "Activeren", "v?"])
        const view = item("loginScreen")
        compare([view.studentName, view.classCode, view.focusedField], ["", "", "name"])
        compare([item("loginButton").enabled, item("loginButton").background.opacity], [false, 0.4])
        verify(!item("errorLine").visible)
        compare(item("loginIcon").width, 70)
        save(content, "login-empty")
        Qt.application.version = "1.4.2"
        compare(item("versionText").text, "v1.4.2")
        item("codeField").insert(0, "straße")  // pasted: the longer upper-case form is cut again
        compare(item("codeField").text, "STRASS")
    }

    function test_typing_at_once_fills_the_name_after_the_terms_and_after_a_logout_data() { return [{ tag: "terms" }, { tag: "logout" }] }
    function test_typing_at_once_fills_the_name_after_the_terms_and_after_a_logout(data) {
        if (data.tag === "terms") {
            testControl.setStoredFlag("hasAcceptedTerms_v5", false)
            compare(content.currentScreen, "terms")
            mouseClick(findChild(content, "agreeCheckBox"))
            mouseClick(findChild(content, "continueButton"))
        } else {
            testControl.setLoggedIn(true)
            compare(content.currentScreen, "status")
            mouseClick(findChild(content, "stopButton"))
        }
        compare(content.currentScreen, "login")
        type("Jan")
        compare([item("nameField").text, item("codeField").text], ["Jan", ""])
    }

    function test_the_keyboard_fills_the_form_and_logs_in_and_a_failure_keeps_the_form() {
        mouseClick(item("nameField"))
        type("Jan Jansen")
        compare(item("loginScreen").focusedField, "name")
        compare(item("nameRow").border.color, Qt.rgba(0, 0.478, 1, 0.5))
        item("codeField").text = "ABC123"
        keyClick(Qt.Key_Return)
        compare(item("loginScreen").focusedField, "code", "Return in the name field moves on")
        compare(item("nameRow").border.color, Qt.rgba(0.8, 0.8, 0.8, 1))
        compare(requestCount(), 0, "and does not log in")
        item("codeField").text = ""
        type("abc12")
        keyClick(Qt.Key_Return)
        mouseClick(item("loginButton"))
        compare(requestCount(), 0, "neither Return nor the button start a login with a short code")
        mouseClick(item("codeField"))
        type("34x")
        compare(item("codeField").text, "ABC123", "corrected as typed")
        compare([item("loginButton").enabled, item("loginButton").background.opacity], [true, 1.0])
        save(content, "login-filled")
        keyClick(Qt.Key_Return)
        compare(requestCount(), 1, "the login starts with its connectivity probe")
        // While it runs: spinner instead of the label, button and Return inert.
        verify(!item("loginButton").enabled && item("loginSpinner").visible && !item("loginButtonText").visible)
        keyClick(Qt.Key_Return)
        mouseClick(item("loginButton"))
        compare(requestCount(), 1, "no second login while one runs")
        save(content, "login-loading")
        testControl.fail("Host probe.example not found")
        verify(item("errorLine").visible)
        compare(item("errorText").text, "Geen internet: Host probe.example not found")
        compare([item("loginScreen").studentName, item("loginScreen").classCode], ["Jan Jansen", "ABC123"])
        verify(item("loginButton").enabled && item("loginButtonText").visible)
        save(content, "login-error")
    }

    function test_the_button_sends_the_texts_as_typed_and_the_service_error_shows_verbatim_until_the_next_visit() {
        startLogin("Jan & Piet+Co", "abc123")
        const [url, body] = testControl.lastRequest()
        verify(url.endsWith("/Vexlo/api/class-login.php"))
        verify(body.startsWith("student_name=Jan%20%26%20Piet%2BCo&class_code=ABC123&device_info=Linux"))
        const error = "<b>Klas 3B</b> is gesloten\nVraag je leerkracht"
        testControl.respond(200, JSON.stringify({ success: false, error: error }))
        compare([item("errorText").text, item("errorText").textFormat], [error, Text.PlainText])
        verify(item("errorText").lineCount >= 2)
        testControl.setLoggedIn(true)
        testControl.setLoggedIn(false)
        verify(!item("errorLine").visible)
        compare(item("loginScreen").studentName, "", "typed values are not kept between visits")
    }

    function test_return_acts_as_the_button_and_enter_presses_the_focused_button() {
        fill("Jan Jansen", "ABC123")
        // EditableText 42, Button 43 (QAccessible::Role).
        compare(tabChain(item("loginScreen"), 4), ["nameField=42:Je naam", "codeField=42:Klascode",
                "loginButton=43:Activeren", "restoreButton=43:Herstel Internet"])
        keyClick(Qt.Key_Enter, Qt.KeypadModifier)
        const dialog = item("restoreInternetButton").confirmationDialog
        tryVerify(function () { return dialog.opened })
        compare(requestCount(), 0, "Enter went to the focused button, not to the login")
        keyClick(Qt.Key_Return)
        tryVerify(function () { return !dialog.visible }, 30000, "Return pressed the focused Annuleer")
        compare(testControl.privilegedRuns(), 0)
        item("loginScreen").forceActiveFocus()
        keyClick(Qt.Key_Return)
        compare(requestCount(), 1, "Return without a focused field acts as the button")
    }
}
