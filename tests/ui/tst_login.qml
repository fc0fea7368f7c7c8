import QtQuick
import QtTest
import "qrc:/qml"

TestCase {
    id: testCase
    name: "LoginScreen"
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

    property var content: null
    // Requests sent before this test (the state lives as long as the file's engine).
    property int firstRequest: 0

    function requestCount() {
        return testControl.requestCount() - firstRequest
    }
    function respond(index, status, body) {
        testControl.respond(firstRequest + index, status, body)
    }

    function cleanup() {
        testControl.failPendingRequests()
    }

    function init() {
        testControl.failPendingRequests()
        firstRequest = testControl.requestCount()
        testControl.resetSettings()
        testControl.setStoredFlag("hasAcceptedTerms_v5", true)
        testControl.setLoggedIn(false)
        testControl.setInstalling(false)
        Qt.application.version = ""
        content = createTemporaryObject(contentComponent, testCase)
        waitForItemPolished(content)
        compare(content.currentScreen, "login")
    }

    function find(name) {
        return findIn(content, name)
    }

    function findIn(item, name) {
        if (item.objectName === name)
            return item
        for (var i = 0; i < item.children.length; ++i) {
            var found = findIn(item.children[i], name)
            if (found)
                return found
        }
        return null
    }

    function allTexts(item, into) {
        if (!item || !item.visible)
            return into
        if (typeof item.text === "string" && item.text !== "")
            into.push(item.text)
        if (typeof item.placeholderText === "string" && item.placeholderText !== "")
            into.push(item.placeholderText)
        var kids = item.children || []
        for (var i = 0; i < kids.length; ++i)
            allTexts(kids[i], into)
        return into
    }

    function typeText(field, text) {
        mouseClick(field)
        verify(field.activeFocus)
        for (var i = 0; i < text.length; ++i)
            keyClick(text[i])
    }

    function fill(name, code) {
        find("nameField").text = name
        find("codeField").text = code
    }

    function save(name) {
        var path = testControl.screenshotDir + "/" + name + ".png"
        grabImage(content).save(path)
        verify(testControl.fileExists(path), "screenshot " + path)
    }

    function test_shows_every_text_and_starts_empty() {
        var texts = allTexts(content, [])
        var expected = ["Ridudiziv Ka Tesmar", "Vul je gegevens in om te starten",
                        "Je naam (voor- en achternaam)", "Bijv. Jan Jansen", "Klascode",
                        "Bijv. ABC123", "Vraag de code aan je leerkracht", "Activeren", "v?"]
        for (var i = 0; i < expected.length; ++i)
            verify(texts.indexOf(expected[i]) >= 0, "missing text: " + expected[i])
        var screen = find("loginScreen")
        compare(screen.studentName, "")
        compare(screen.classCode, "")
        compare(screen.focusedField, "", "nothing sets an initial focus")
        verify(!find("loginButton").enabled)
        compare(find("loginButton").background.opacity, 0.4)
        verify(!find("errorLine").visible)
        verify(find("restoreInternetButton") !== null, "the restore button has its place")
        compare(find("loginIcon").width, 70)
        save("login-empty")

        Qt.application.version = "1.4.2"
        compare(find("versionText").text, "v1.4.2")
    }

    function test_class_code_keeps_six_upper_case_characters() {
        var code = find("codeField")
        typeText(code, "abc1234x")
        compare(code.text, "ABC123", "typed")
        code.text = ""
        code.insert(0, "abc1234x")  // a paste
        compare(code.text, "ABC123", "pasted")
        code.text = "straße"
        compare(code.text, "STRASS", "a longer upper-case form is cut again")
        code.text = "xy"
        compare(code.text, "XY")
    }

    function test_short_code_or_short_name_keeps_the_button_disabled() {
        var screen = find("loginScreen")
        var button = find("loginButton")
        var cases = [
            { name: "Jan Jansen", code: "ABC12", enabled: false },
            { name: "J", code: "ABC123", enabled: false },
            { name: "👨‍👩‍👧", code: "ABC123", enabled: false },
            { name: "🇧🇪", code: "ABC123", enabled: false },
            { name: "🇧🇪🇳🇱", code: "ABC123", enabled: true },
            { name: "e\u0301", code: "ABC123", enabled: false },
            { name: "  ", code: "ABC123", enabled: true },
            { name: "Zoë", code: "abc123", enabled: true }
        ]
        for (var i = 0; i < cases.length; ++i) {
            fill(cases[i].name, cases[i].code)
            compare(screen.canLogin, cases[i].enabled, JSON.stringify(cases[i]))
            compare(button.enabled, cases[i].enabled, JSON.stringify(cases[i]))
            compare(button.background.opacity, cases[i].enabled ? 1.0 : 0.4)
        }
        fill("Jan Jansen", "ABC12")
        mouseClick(find("codeField"))
        keyClick(Qt.Key_Return)
        mouseClick(button)
        compare(requestCount(), 0, "nothing starts without a valid code")
    }

    function test_return_in_the_name_field_moves_the_focus_to_the_code() {
        var screen = find("loginScreen")
        typeText(find("nameField"), "Jan Jansen")
        compare(screen.focusedField, "name")
        compare(find("nameRow").border.color, Qt.rgba(0, 0.478, 1, 0.5))
        find("codeField").text = "ABC123"
        keyClick(Qt.Key_Return)
        compare(screen.focusedField, "code")
        verify(find("codeField").activeFocus)
        compare(find("nameRow").border.color, Qt.rgba(0.8, 0.8, 0.8, 1))
        compare(requestCount(), 0, "Return in the name field does not log in")
    }

    function test_return_in_the_code_field_logs_in_only_when_possible() {
        var screen = find("loginScreen")
        typeText(find("nameField"), "Jan Jansen")
        typeText(find("codeField"), "abc12")
        keyClick(Qt.Key_Return)
        compare(requestCount(), 0)
        keyClick("3")
        save("login-filled")
        keyClick(Qt.Key_Return)
        compare(requestCount(), 1, "the login starts with its connectivity probe")
        verify(appState.isLoading)

        // While it runs: spinner instead of the label, button and Return inert.
        verify(!screen.canLogin)
        verify(!find("loginButton").enabled)
        verify(find("loginSpinner").visible)
        verify(!find("loginButtonText").visible)
        keyClick(Qt.Key_Return)
        mouseClick(find("loginButton"))
        compare(requestCount(), 1, "no second login while one runs")
        save("login-loading")

        testControl.failRequest(firstRequest, "Host probe.example not found")
        verify(!appState.isLoading)
        compare(appState.errorMessage, "Geen internet: Host probe.example not found")
        verify(find("errorLine").visible)
        compare(find("errorText").text, "Geen internet: Host probe.example not found")
        compare(screen.studentName, "Jan Jansen", "typed values stay after a failure")
        compare(screen.classCode, "ABC123")
        verify(find("loginButton").enabled)
        verify(find("loginButtonText").visible)
        save("login-error")
    }

    function test_the_button_logs_in_with_the_texts_as_typed() {
        fill("Jan & Piet+Co", "abc123")
        mouseClick(find("loginButton"))
        compare(requestCount(), 1)
        respond(0, 200, "")
        respond(1, 200, "")
        compare(requestCount(), 3)
        verify(testControl.requestUrl(firstRequest + 2).endsWith("/Vexlo/api/class-login.php"))
        verify(testControl.requestBody(firstRequest + 2).startsWith(
                   "student_name=Jan%20%26%20Piet%2BCo&class_code=ABC123&device_info=macOS%20"))
        respond(2, 200, '{"success":true,"session_token":"t","student_info":{"name":"Jan"}}')
        verify(appState.isLoggedIn)
        compare(content.currentScreen, "status")
    }

    function test_the_service_error_is_shown_verbatim_and_gone_on_the_next_visit() {
        fill("Jan Jansen", "ABC123")
        mouseClick(find("loginButton"))
        respond(0, 200, "")
        respond(1, 200, "")
        var error = "<b>Klas 3B</b> is gesloten\nVraag je leerkracht"
        respond(2, 200, JSON.stringify({ success: false, error: error }))
        compare(find("errorText").text, error)
        compare(find("errorText").textFormat, Text.PlainText, "never read as markup")
        verify(find("errorText").lineCount >= 2)

        // Another visit of the screen: the old error is cleared.
        testControl.setLoggedIn(true)
        testControl.setLoggedIn(false)
        compare(content.currentScreen, "login")
        compare(appState.errorMessage, "")
        verify(!find("errorLine").visible)
        compare(find("loginScreen").studentName, "", "typed values are not kept between visits")
    }

    function test_return_without_a_focused_field_acts_as_the_button() {
        fill("Jan Jansen", "ABC123")
        var screen = find("loginScreen")
        screen.forceActiveFocus()
        compare(screen.focusedField, "")
        keyClick(Qt.Key_Return)
        compare(requestCount(), 1)
    }

    function test_tab_follows_the_form_and_enter_presses_the_focused_button() {
        fill("Jan Jansen", "ABC123")
        find("loginScreen").forceActiveFocus()
        var chain = []
        for (var i = 0; i < 4; ++i) {
            keyClick(Qt.Key_Tab)
            var item = testCase.Window.activeFocusItem
            chain.push(item.objectName + "=" + testControl.accessibleRoleAndName(item))
        }
        // EditableText 42, Button 43 (QAccessible::Role).
        compare(chain, ["nameField=42:Je naam", "codeField=42:Klascode",
                        "loginButton=43:Activeren", "restoreButton=43:Herstel Internet"])
        keyClick(Qt.Key_Enter, Qt.KeypadModifier)
        var dialog = find("restoreInternetButton").confirmationDialog
        tryVerify(function () { return dialog.opened })
        compare(requestCount(), 0, "Enter went to the focused button, not to the login")
        keyClick(Qt.Key_Return)
        tryVerify(function () { return !dialog.visible }, 2000, "Return pressed the focused Annuleer")
        compare(testControl.privilegedRuns(), 0)
    }
}
