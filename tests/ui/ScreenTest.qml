import QtQuick
import QtTest
import KaTesmar

// A test case over the window's content, with the lookups the screen tests share.
TestCase {
    id: testCase
    when: windowShown
    width: 400
    height: 650
    visible: true

    Component { id: contentComponent; ContentView { width: 400; height: 650 } }

    // A fresh root view, showing `screen` when one is named.
    function show(screen) {
        const content = createTemporaryObject(contentComponent, testCase)
        waitForItemPolished(content)
        if (screen)
            compare(content.currentScreen, screen)
        return content
    }

    // Every text in `expected` is shown (as a text or a placeholder) by a visible item below `item`.
    function verifyTexts(item, expected) {
        const shown = []
        function collect(item) {
            if (!item.visible)
                return
            for (const key of ["text", "placeholderText"])
                if (typeof item[key] === "string" && item[key] !== "")
                    shown.push(item[key])
            for (let i = 0; i < item.children.length; ++i)
                collect(item.children[i])
        }
        collect(item)
        for (const text of expected)
            verify(shown.indexOf(text) >= 0, "missing text: " + text)
    }

    function focusedItem() { return testCase.Window.activeFocusItem }

    // The Tab chain from `item` on: "objectName=role:name" of each stop, until
    // it turns round or after `stops` stops.
    function tabChain(item, stops) {
        item.forceActiveFocus()
        const chain = []
        for (let i = 0; i < (stops || 20); ++i) {
            keyClick(Qt.Key_Tab)
            const stop = focusedItem().objectName + "=" + testControl.accessibleRoleAndName(focusedItem())
            if (chain.indexOf(stop) >= 0)
                break
            chain.push(stop)
        }
        return chain
    }

    function save(item, name) { grabImage(item).save(testControl.screenshotDir + "/" + name + ".png") }
}
