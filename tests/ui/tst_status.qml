import QtQuick
import QtQuick.Controls
import QtTest
import "qrc:/qml"
import "qrc:/qml/Theme.js" as Theme
import "TestHelpers.js" as H

TestCase {
    id: testCase
    name: "StatusScreen"
    when: windowShown
    width: 400
    height: 650
    visible: true

    Component {
        id: contentComponent
        ContentView { width: 400; height: 650 }
    }

    function init() {
        testControl.setStoredFlag("hasAcceptedTerms_v5", true)
        testControl.setSession("Jan Jansen", "4B", "Mevr. Peeters")
        testControl.setBlocked(false, 0)
        testControl.setStatusMessage("")
        testControl.setErrorMessage("")
        testControl.setReconnecting(false)
        testControl.setInstalling(false)
        testControl.setCounters(0, 0)
        testControl.setBlockedDomains([])
        testControl.setPromptAccepted(true)
        testControl.clearLog()
        testControl.setLoggedIn(true)
    }

    function show() {
        var content = createTemporaryObject(contentComponent, testCase)
        waitForItemPolished(content)
        compare(content.currentScreen, "status")
        return content
    }

    function save(item, name) {
        var path = testControl.screenshotDir + "/" + name + ".png"
        grabImage(item).save(path)
        verify(testControl.fileExists(path), "screenshot " + path)
    }

    function test_blocked_with_no_domains_shows_the_red_badge() {
        testControl.setBlocked(true, 0)
        var content = show()
        compare(H.find(content, "headline").text, "Blokkering Actief")
        compare(H.find(content, "detailLine").text, "0 AI websites geblokkeerd")
        compare(H.find(content, "badgeSymbol").name, "hand.raised.fill")
        verify(H.sameColor(H.find(content, "statusBadge").tint, Qt.color(Theme.red)))
        compare(H.find(content, "studentLine").text, "Jan Jansen - 4B")
        verify(!H.find(content, "statusMessageRow").visible)
        verify(!H.find(content, "lastCheckRow").visible)
        save(content, "status-blocked")
        testControl.setBlocked(true, 27)
        compare(H.find(content, "detailLine").text, "27 AI websites geblokkeerd")
    }

    function test_free_shows_the_green_badge_whatever_the_count() {
        testControl.setBlocked(false, 12)
        var content = show()
        compare(H.find(content, "headline").text, "Geen Blokkering")
        compare(H.find(content, "detailLine").text, "Alle websites toegankelijk")
        compare(H.find(content, "badgeSymbol").name, "checkmark")
        verify(H.sameColor(H.find(content, "statusBadge").tint, Qt.color(Theme.green)))
        var texts = H.visibleTexts(content)
        verify(texts.indexOf("Opnieuw verbinden") >= 0)
        verify(texts.indexOf("Stoppen") >= 0)
        verify(texts.indexOf("Leerkracht") >= 0)
        verify(texts.indexOf("Mevr. Peeters") >= 0)
        verify(texts.indexOf("Herstel Internet") >= 0)
        verify(texts.indexOf("Debug Info") >= 0)
        save(content, "status-free")
    }

    function test_status_message_and_last_check_appear_when_set() {
        testControl.setBlocked(true, 3)
        var content = show()
        testControl.setStatusMessage("Blokkering actief")
        testControl.recordCheckNow()
        waitForItemPolished(content)
        verify(H.find(content, "statusMessageRow").visible)
        compare(H.find(content, "statusMessageText").text, "Blokkering actief")
        verify(H.find(content, "lastCheckRow").visible)
        compare(H.find(content, "lastCheckText").text, "Laatste controle: 09:05")
        save(content, "status-message-and-last-check")
    }

    function test_empty_teacher_keeps_the_label() {
        testControl.setSession("Jan", "4B", "")
        var content = show()
        var card = H.find(content, "teacherCard")
        verify(H.visibleTexts(card).indexOf("Leerkracht") >= 0)
        compare(H.find(content, "teacherName").text, "")
        verify(H.find(content, "teacherName").height > 0, "the empty value keeps its line")
    }

    function test_reconnect_is_disabled_while_reconnecting_and_stop_logs_out() {
        var content = show()
        var reconnect = H.find(content, "reconnectButton")
        verify(reconnect.enabled)
        testControl.setReconnecting(true)
        verify(!reconnect.enabled)
        verify(H.find(content, "stopButton").enabled)
        verify(H.find(content, "headerStopButton").enabled)
        testControl.setReconnecting(false)

        var runsBefore = testControl.privilegedRuns()
        mouseClick(H.find(content, "stopButton"))
        compare(content.currentScreen, "login", "stopping returns to the login screen")
        testControl.settle()
        compare(testControl.privilegedRuns(), runsBefore + 1, "the undo command ran")
    }

    function test_header_icon_logs_out_too() {
        var content = show()
        mouseClick(H.find(content, "headerStopButton"))
        compare(content.currentScreen, "login")
    }

    function test_overlay_covers_the_screen_and_takes_the_clicks() {
        var content = show()
        testControl.setInstalling(true)
        var overlay = H.find(content, "installingOverlay")
        verify(overlay !== null)
        var texts = H.visibleTexts(overlay)
        verify(texts.indexOf("Blokkering activeren...") >= 0)
        verify(texts.indexOf("Voer je wachtwoord in wanneer gevraagd") >= 0)
        var stop = H.find(content, "stopButton")
        var centre = stop.mapToItem(content, stop.width / 2, stop.height / 2)
        mouseClick(content, centre.x, centre.y)
        compare(content.currentScreen, "status", "the button under the overlay is not reached")
        save(content, "status-installing")
        testControl.setInstalling(false)
        compare(H.find(content, "installingOverlay"), null)
        compare(content.currentScreen, "status")
    }

    function test_debug_panel_counters_check_and_log() {
        testControl.setBlockedDomains(["openai.com", "www.claude.ai", "ai", "gemini.google.com", "google.com"])
        testControl.setCounters(10, 47)
        var content = show()
        var panel = H.find(content, "debugPanel")
        compare(panel.isExpanded, false)
        compare(H.find(panel, "debugDetails").item, null)
        save(content, "status-debug-collapsed")

        mouseClick(H.find(panel, "debugHeader"))
        verify(panel.isExpanded)
        var area = H.find(panel, "debugExpandedArea")
        tryVerify(function () { return area.height === H.find(panel, "debugDetails").height },
                  2000, "the panel opens fully")
        compare(H.find(panel, "debugChevron").name, "chevron.down")
        compare(H.find(panel, "statDomains").value, "5")
        compare(H.find(panel, "statHosts").value, "10")
        compare(H.find(panel, "statFirewall").value, "47")
        verify(!H.find(panel, "logArea").visible, "no log area while the log is empty")
        verify(!H.find(panel, "copyLogButton").visible)

        var field = H.find(panel, "searchField")
        field.forceActiveFocus()
        keyClick(Qt.Key_A)
        keyClick(Qt.Key_Return)
        compare(panel.searchResult, "", "Return does not run the check")
        panel.searchDomain = " API.OpenAI.com "
        mouseClick(H.find(panel, "checkButton"))
        compare(panel.searchResult, "NIET GEBLOKKEERD: api.openai.com\nVergelijkbaar: openai.com, ai")
        verify(H.sameColor(H.find(panel, "searchResultText").color, Qt.color(Theme.green)))
        panel.searchDomain = "claude.ai"
        mouseClick(H.find(panel, "checkButton"))
        compare(panel.searchResult, "GEBLOKKEERD: www.claude.ai")
        verify(H.sameColor(H.find(panel, "searchResultText").color, Qt.color(Theme.red)))

        testControl.log("eerste regel")
        testControl.settle()
        tryVerify(function () { return H.find(panel, "logArea").visible })
        verify(H.find(panel, "logText").text.indexOf("eerste regel") > 0)
        mouseClick(H.find(panel, "copyLogButton"))
        compare(testControl.pasteboardText(), "[09:05:01] eerste regel\n")
        testControl.setCounters(0, 0)
        compare(H.find(panel, "statHosts").value, "0", "the counters follow live")
        save(content, "status-debug-expanded")

        mouseClick(H.find(panel, "debugHeader"))
        verify(!panel.isExpanded)
        compare(H.find(panel, "debugChevron").name, "chevron.right")
    }

    function test_restore_button_confirms_then_shows_the_result_for_five_seconds() {
        var content = show()
        var restore = H.find(content, "restoreInternetButton")
        var button = H.find(restore, "restoreButton")
        mouseClick(button)
        verify(restore.showConfirmation)
        var dialog = restore.confirmationDialog
        tryVerify(function () { return dialog.opened })
        compare(dialog.title, "Internet herstellen?")
        compare(H.find(dialog.contentItem, "restoreConfirmationText").text,
                "Dit herstelt je originele internetinstellingen.\nGebruik dit alleen als je internetproblemen hebt na het afsluiten van de app.")
        save(content, "status-restore-dialog")

        var runsBefore = testControl.privilegedRuns()
        mouseClick(H.find(dialog.footer, "restoreCancel"))
        verify(!restore.showConfirmation)
        verify(!restore.isRestoring)
        testControl.settle()
        compare(testControl.privilegedRuns(), runsBefore, "cancel neither restores nor changes anything")

        mouseClick(button)
        tryVerify(function () { return dialog.opened })
        mouseClick(H.find(dialog.footer, "restoreConfirm"))
        verify(restore.isRestoring)
        verify(!button.enabled, "no second restore while one runs")
        verify(H.find(restore, "restoreSpinner").visible)
        verify(!H.find(restore, "restoreSymbol").visible)
        save(content, "status-restoring")

        testControl.settle()
        verify(!restore.isRestoring)
        compare(restore.restoreResult, "Internet hersteld")
        verify(H.sameColor(H.find(restore, "restoreResultText").color, Qt.color(Theme.green)))
        compare(testControl.privilegedRuns(), runsBefore + 1)
        testControl.advance(4.9)
        compare(restore.restoreResult, "Internet hersteld")
        testControl.advance(0.1)
        compare(restore.restoreResult, "", "the result goes after 5 seconds")
    }

    function test_failed_restore_shows_red_and_the_button_works_again() {
        testControl.setPromptAccepted(false)
        var content = show()
        var restore = H.find(content, "restoreInternetButton")
        restore.performRestore()
        testControl.settle()
        compare(restore.restoreResult, "Herstel mislukt - probeer opnieuw")
        verify(H.sameColor(H.find(restore, "restoreResultText").color, Qt.color(Theme.red)))
        verify(H.find(restore, "restoreButton").enabled)
        // A new restore within the 5 seconds clears the text at once and keeps its own result.
        testControl.advance(3)
        testControl.setPromptAccepted(true)
        restore.performRestore()
        compare(restore.restoreResult, "")
        testControl.settle()
        testControl.advance(2.5)
        compare(restore.restoreResult, "Internet hersteld", "the older clearing leaves the newer result")
    }

    // The Tab chain from the top of the screen: [objectName, "role:name"] of each stop.
    function tabChain(content) {
        content.forceActiveFocus()
        var chain = []
        for (var i = 0; i < 20; ++i) {
            keyClick(Qt.Key_Tab)
            var item = testCase.Window.activeFocusItem
            if (chain.length > 0 && item.objectName === chain[0][0])
                break
            chain.push([item.objectName, testControl.accessibleRoleAndName(item)])
        }
        return chain
    }

    function test_service_texts_stay_plain_and_controls_are_named_in_reading_order() {
        var markup = "<b>Mevr.</b><img src=\"http://127.0.0.1:9/x.png\">"
        testControl.setSession("<i>Jan</i>", "<u>4B</u>", markup)
        testControl.setStatusMessage("<b>bericht</b>")
        testControl.log("Response: " + markup)
        testControl.settle()
        var content = show()
        H.find(content, "debugHeader").clicked()
        var field = H.find(content, "searchField")
        field.text = "<b>x</b>.nl"
        field.textEdited()
        H.find(content, "checkButton").clicked()
        waitForItemPolished(content)

        var shown = 0
        function visit(item) {
            if (!item || !item.visible)
                return
            if (typeof item.text === "string" && item.text.indexOf("<") >= 0 && item.textFormat !== undefined) {
                ++shown
                compare(item.textFormat, Text.PlainText, "markup drawn in " + item.objectName)
            }
            for (var i = 0; i < item.children.length; ++i)
                visit(item.children[i])
        }
        visit(content)
        compare(shown, 5, "student line, teacher, status message, domain check and log")

        // Button 43, Indicator 39, EditableText 42 (QAccessible::Role).
        compare(tabChain(content), [
            ["headerStopButton", "43:Stoppen"],
            ["statusBadge", "39:Geen blokkering"],
            ["reconnectButton", "43:Opnieuw verbinden"],
            ["stopButton", "43:Stoppen"],
            ["restoreButton", "43:Herstel Internet"],
            ["debugHeader", "43:Debug Info"],
            ["searchField", "42:Zoek domein"],
            ["checkButton", "43:Controleer domein"],
            ["copyLogButton", "43:Kopieer logs"]
        ])
    }

    function test_enter_on_a_focused_button_presses_it() {
        var content = show()
        var header = H.find(content, "debugHeader")
        header.forceActiveFocus()
        keyClick(Qt.Key_Enter, Qt.KeypadModifier)
        verify(H.find(content, "debugPanel").isExpanded)
        keyClick(Qt.Key_Return)
        verify(!H.find(content, "debugPanel").isExpanded)
    }
}
