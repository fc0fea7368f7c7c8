import QtQuick
import KaTesmar

ScreenTest {
    name: "StatusScreen"

    function init() {
        testControl.reset()
        testControl.setStoredFlag("hasAcceptedTerms_v5", true)
        testControl.setLoggedIn(true)
    }

    function test_badge_and_texts_follow_the_block_data() {
        return [
            { tag: "blocked", blocked: true, detail: "0 AI websites geblokkeerd", later: "27 AI websites geblokkeerd",
              headline: "Blokkering Actief", symbol: "hand.raised.fill", tint: Theme.red },
            { tag: "free", blocked: false, detail: "Alle websites toegankelijk", later: "Alle websites toegankelijk",
              headline: "Geen Blokkering", symbol: "checkmark", tint: Theme.green }
        ]
    }

    function test_badge_and_texts_follow_the_block(data) {
        testControl.setBlocked(data.blocked, 0)
        const content = show("status")
        compare([findChild(content, "headline").text, findChild(content, "detailLine").text, findChild(content, "badgeSymbol").name],
                [data.headline, data.detail, data.symbol])
        verify(Qt.colorEqual(findChild(content, "statusBadge").tint, data.tint))
        compare(findChild(content, "studentLine").text, "Jan Jansen - 4B")
        verifyTexts(content, ["Opnieuw verbinden", "Stoppen", "Leerkracht", "Mevr. Peeters", "Herstel Internet", "Debug Info"])
        verify(!findChild(content, "statusMessageRow").visible && !findChild(content, "lastCheckRow").visible)
        save(content, "status-" + data.tag)
        testControl.setBlocked(data.blocked, 27)
        compare(findChild(content, "detailLine").text, data.later)
        testControl.setStatusMessage("Blokkering actief")
        testControl.recordCheckNow()
        compare(findChild(content, "statusMessageText").text, "Blokkering actief")
        compare(findChild(content, "lastCheckText").text, "Laatste controle: 09:05")
        verify(findChild(content, "statusMessageRow").visible && findChild(content, "lastCheckRow").visible)
        save(content, "status-" + data.tag + "-message-and-last-check")
    }

    function test_a_failed_block_says_so_under_the_badge() {
        testControl.setBlocked(true, 18)
        const content = show("status")
        const row = findChild(content, "statusErrorRow")
        verify(!row.visible)
        const error = "Kon blokkering niet activeren: Kon de bewaker niet installeren"
        testControl.setErrorMessage(error)
        waitForItemPolished(row.parent)
        verify(row.visible)
        compare([findChild(content, "statusErrorText").text, findChild(content, "statusErrorText").textFormat],
                [error, Text.PlainText])
        const below = function (upper, lower) {
            return upper.mapToItem(content, 0, upper.height).y <= lower.mapToItem(content, 0, 0).y
        }
        verify(below(findChild(content, "detailLine"), row) && below(row, findChild(content, "reconnectButton")),
               "between the block's texts and the buttons")
        save(content, "status-blocked-error")
        testControl.setErrorMessage("")
        verify(!row.visible)
    }

    function test_an_empty_teacher_keeps_the_label_and_its_line() {
        testControl.setSession("Jan", "4B", "")
        const content = show("status")
        verifyTexts(findChild(content, "teacherCard"), ["Leerkracht"])
        verify(findChild(content, "teacherName").text === "" && findChild(content, "teacherName").height > 0)
    }

    function test_stop_logs_out_and_undoes_the_block_even_while_reconnecting_data() { return [{ tag: "stopButton" }, { tag: "headerStopButton" }] }
    function test_stop_logs_out_and_undoes_the_block_even_while_reconnecting(data) {
        const content = show("status")
        verify(findChild(content, "reconnectButton").enabled)
        testControl.setReconnecting(true)
        verify(!findChild(content, "reconnectButton").enabled)
        const runsBefore = testControl.privilegedRuns()
        mouseClick(findChild(content, data.tag))
        compare(content.currentScreen, "login")
        testControl.settle()
        compare(testControl.privilegedRuns(), runsBefore + 1, "the undo command ran")
    }

    function test_overlay_covers_the_screen_and_takes_the_clicks() {
        const content = show("status")
        testControl.setInstalling(true)
        verifyTexts(findChild(content, "installingOverlay"), ["Blokkering activeren...", "Voer je wachtwoord in wanneer gevraagd"])
        const stop = findChild(content, "stopButton")
        const centre = stop.mapToItem(content, stop.width / 2, stop.height / 2)
        mouseClick(content, centre.x, centre.y)
        compare(content.currentScreen, "status", "the button under the overlay is not reached")
        save(content, "status-installing")
    }

    function test_debug_panel_counters_check_and_log() {
        testControl.setBlockedDomains(["openai.com", "www.claude.ai", "ai", "gemini.google.com", "google.com"])
        testControl.setCounters(10, 47)
        const content = show("status")
        const panel = findChild(content, "debugPanel")
        verify(!findChild(panel, "debugDetails").visible)
        save(content, "status-debug-collapsed")
        mouseClick(findChild(panel, "debugHeader"))
        const area = findChild(panel, "debugExpandedArea")
        tryVerify(function () { return area.height === findChild(panel, "debugDetails").height }, 30000, "opens fully")
        compare(findChild(panel, "debugChevron").name, "chevron.down")
        compare([findChild(panel, "statDomains").value, findChild(panel, "statHosts").value, findChild(panel, "statFirewall").value],
                ["5", "10", "47"])
        verify(!findChild(panel, "logArea").visible && !findChild(panel, "copyLogButton").visible, "no log while it is empty")
        findChild(panel, "searchField").forceActiveFocus()
        keyClick(Qt.Key_A)
        keyClick(Qt.Key_Return)
        compare(panel.searchResult, "", "Return does not run the check")
        for (const [typed, result, colour] of [
                 [" API.OpenAI.com ", "NIET GEBLOKKEERD: api.openai.com\nVergelijkbaar: openai.com, ai", Theme.green],
                 ["claude.ai", "GEBLOKKEERD: www.claude.ai", Theme.red]]) {
            panel.searchDomain = typed
            mouseClick(findChild(panel, "checkButton"))
            compare(panel.searchResult, result)
            verify(Qt.colorEqual(findChild(panel, "searchResultText").color, colour), typed)
        }
        testControl.log("eerste regel")
        testControl.settle()
        tryVerify(function () { return findChild(panel, "logArea").visible })
        verify(findChild(panel, "logText").text.indexOf("eerste regel") > 0)
        mouseClick(findChild(panel, "copyLogButton"))
        compare(testControl.pasteboardText(), "[09:05:01] eerste regel\n")
        testControl.setCounters(0, 0)
        compare(findChild(panel, "statHosts").value, "0", "the counters follow live")
        save(content, "status-debug-expanded")
        findChild(panel, "debugHeader").forceActiveFocus()  // Enter and Return press it
        keyClick(Qt.Key_Enter, Qt.KeypadModifier)
        verify(!panel.isExpanded)
        compare(findChild(panel, "debugChevron").name, "chevron.right")
        keyClick(Qt.Key_Return)
        verify(panel.isExpanded)
        compare(panel.searchResult, "GEBLOKKEERD: www.claude.ai", "the check outlives closing")
    }

    function test_restore_confirms_then_shows_each_result_for_five_seconds() {
        testControl.setPromptAccepted(false)
        const content = show("status")
        const restore = findChild(content, "restoreInternetButton")
        const button = findChild(restore, "restoreButton")
        const dialog = restore.confirmationDialog
        const runsBefore = testControl.privilegedRuns()
        function choose(choice) {
            mouseClick(button)
            tryVerify(function () { return dialog.opened })
            compare(dialog.title, "Internet herstellen?")
            compare(dialog.contentItem.text,
                    "Dit herstelt je originele internetinstellingen.\nGebruik dit alleen als je internetproblemen hebt na het afsluiten van de app.")
            save(content, "status-restore-dialog")
            mouseClick(findChild(dialog.footer, choice))
            verify(!restore.showConfirmation)
        }
        choose("restoreCancel")
        testControl.settle()
        compare(testControl.privilegedRuns(), runsBefore, "cancel changes nothing")
        choose("restoreConfirm")
        verify(!button.enabled, "no second restore while one runs")
        verify(findChild(restore, "restoreSpinner").visible && !findChild(restore, "restoreSymbol").visible)
        save(content, "status-restoring")
        testControl.settle()
        compare(restore.restoreResult, "Herstel mislukt - probeer opnieuw")
        verify(Qt.colorEqual(findChild(restore, "restoreResultText").color, Theme.red))
        verify(button.enabled)
        testControl.advance(3)
        testControl.setPromptAccepted(true)
        choose("restoreConfirm")
        compare(restore.restoreResult, "", "a new restore clears the old result at once")
        testControl.settle()
        compare(testControl.privilegedRuns(), runsBefore + 2)
        compare(restore.restoreResult, "Internet hersteld")
        verify(Qt.colorEqual(findChild(restore, "restoreResultText").color, Theme.green))
        testControl.advance(4.9)
        compare(restore.restoreResult, "Internet hersteld", "the older clearing leaves the newer result")
        testControl.advance(0.1)
        compare(restore.restoreResult, "", "the result goes after 5 seconds")
    }

    function test_service_texts_stay_plain_and_controls_are_named_in_reading_order() {
        const markup = "<b>Mevr.</b><img src=\"http://127.0.0.1:9/x.png\">"
        testControl.setSession("<i>Jan</i>", "<u>4B</u>", markup)
        testControl.setStatusMessage("<b>bericht</b>")
        testControl.log("Response: " + markup)
        testControl.settle()
        const content = show("status")
        findChild(content, "debugHeader").clicked()
        const field = findChild(content, "searchField")
        field.text = "<b>x</b>.nl"
        field.textEdited()
        findChild(content, "checkButton").clicked()
        waitForItemPolished(content)
        for (const name of ["studentLine", "teacherName", "statusMessageText", "searchResultText", "logText"]) {
            verify(findChild(content, name).text.indexOf("<") >= 0, name)
            compare(findChild(content, name).textFormat, Text.PlainText, "markup drawn in " + name)
        }
        // Button 43, Indicator 39, EditableText 42 (QAccessible::Role).
        compare(tabChain(content), ["headerStopButton=43:Stoppen", "statusBadge=39:Geen blokkering",
                                    "reconnectButton=43:Opnieuw verbinden", "stopButton=43:Stoppen",
                                    "restoreButton=43:Herstel Internet", "debugHeader=43:Debug Info",
                                    "searchField=42:Zoek domein", "checkButton=43:Controleer domein",
                                    "copyLogButton=43:Kopieer logs"])
    }
}
