import QtQuick 2.12
import QtQuick.Controls 2.5
import QtTest 1.2
import Lomiri.Components 1.3

// Every text of the screen whole, in the language the test runs in, upright
// and on its side: the buttons with the suspension warning and the go-back
// button shown, the status line with the longest line of each state, every
// dialog with its longest message. A text fails when it is elided, spills
// out of its own box, lies outside what clips it or outside the window, or
// overlaps another text or the page header.
Item {
    id: stage
    width: 600; height: 900

TestCase {
    id: testCase
    name: "Layout"
    when: windowShown

    property var main: null

    function init() { helper.reset() }

    function createMain(width, height) {
        stage.width = width
        stage.height = height
        // An installation kept from before an import: the go-back button shows.
        verify(helper.writeFile(helper.appData + "/CustomerCheckout.previous/run.sh", "true"))
        var component = Qt.createComponent("qrc:/Main.qml")
        compare(component.status, Component.Ready, component.errorString())
        main = createTemporaryObject(component, stage, {width: width, height: height})
        findChild(main, "gsettings").lifecycleExemptAppids = ["some.other.app"]
        tryVerify(function() { return findChild(main, "warningRow").visible }, 5000, "no suspension warning")
        verify(findChild(main, "goBackButton").visible, "no go-back button")
    }

    // What a text paints, in window coordinates.
    function paintedRect(text) {
        var h = text.effectiveHorizontalAlignment
        var v = text.verticalAlignment
        var dx = h === Text.AlignRight ? text.width - text.contentWidth
                : h === Text.AlignHCenter ? (text.width - text.contentWidth) / 2 : 0
        var dy = v === Text.AlignBottom ? text.height - text.contentHeight
                : v === Text.AlignVCenter ? (text.height - text.contentHeight) / 2 : 0
        var p = text.mapToItem(null, dx, dy)
        return {x: p.x, y: p.y, width: text.contentWidth, height: text.contentHeight}
    }
    function box(item) {
        var p = item.mapToItem(null, 0, 0)
        return {x: p.x, y: p.y, width: item.width, height: item.height}
    }
    // With a pixel's slack for rounding.
    function inside(a, b) {
        return a.x >= b.x - 1 && a.y >= b.y - 1 && a.x + a.width <= b.x + b.width + 1
                && a.y + a.height <= b.y + b.height + 1
    }
    function overlap(a, b) {
        return a.x + 1 < b.x + b.width && b.x + 1 < a.x + a.width
                && a.y + 1 < b.y + b.height && b.y + 1 < a.y + a.height
    }
    function within(item, ancestor) {
        for (var p = item; p; p = p.parent) {
            if (p === ancestor)
                return true
        }
        return false
    }
    // The dialog a text is in, or the window for the rest: a dialog covers
    // what lies under it.
    function layer(item) {
        var overlay = main.Overlay.overlay
        for (var p = item; p && p.parent; p = p.parent) {
            if (p.parent === overlay)
                return p
        }
        return null
    }
    function shown(item) { return item.visible && item.opacity > 0 }

    // The items shown under `item` that `is` picks.
    function shownItems(item, is, found) {
        found = found || []
        if (!shown(item))
            return found
        if (is(item))
            found.push(item)
        for (var i = 0; i < item.children.length; ++i)
            shownItems(item.children[i], is, found)
        return found
    }
    // Items that paint a text and say whether it is cut.
    function isText(item) {
        return item.truncated !== undefined && item.contentWidth !== undefined
                && typeof item.text === "string" && item.text !== ""
    }
    // What is drawn over what lies under it: buttons, and a dialog's row of them.
    function isButton(item) {
        return item.standardButtons !== undefined
                || (item.pressed !== undefined && item.clicked !== undefined && item.text !== undefined)
    }

    // Why the texts shown in the window are not whole, one line each.
    function faults() {
        var window = main
        while (window.parent)
            window = window.parent
        var header = findChild(main, "header")
        var all = shownItems(window, isText)
        var buttons = shownItems(window, isButton)
        verify(all.length > 0, "no texts found")
        var found = []
        for (var i = 0; i < all.length; ++i) {
            var t = all[i]
            var name = "\"" + t.text + "\""
            var painted = paintedRect(t)
            if (t.truncated)
                found.push(name + " is elided")
            if (t.contentWidth > t.width + 1 || t.contentHeight > t.height + 1)
                found.push(name + " spills out of its box: " + t.contentWidth + "x" + t.contentHeight
                           + " in " + t.width + "x" + t.height)
            if (!inside(painted, box(main)))
                found.push(name + " lies outside the window")
            for (var p = t.parent; p; p = p.parent) {
                if (p.clip && !inside(painted, box(p)))
                    found.push(name + " is clipped by " + (p.objectName || p))
            }
            if (header.visible && layer(t) === null && !within(t, header) && overlap(painted, box(header)))
                found.push(name + " lies under the page header")
            for (var b = 0; b < buttons.length; ++b) {
                if (layer(buttons[b]) === layer(t) && !within(t, buttons[b])
                        && overlap(painted, box(buttons[b])))
                    found.push(name + " lies under " + (buttons[b].standardButtons !== undefined ? "the dialog's buttons" : "\"" + buttons[b].text + "\""))
            }
            for (var j = i + 1; j < all.length; ++j) {
                if (layer(all[j]) === layer(t) && !within(all[j], t) && !within(t, all[j])
                        && overlap(painted, paintedRect(all[j])))
                    found.push(name + " overlaps \"" + all[j].text + "\"")
            }
        }
        return found
    }

    // Every fault of every screen of a row is told at its end, once.
    property var found: []
    property string tag: ""
    function look(what) {
        waitForRendering(main)
        var now = faults()
        for (var i = 0; i < now.length; ++i) {
            if (!found.some(function(f) { return f.indexOf(now[i]) === 0 }))
                found.push(now[i] + " (" + tag + ", " + what + ")")
        }
    }

    // One main view, turned: a second one in the same process would lose
    // the theme that sizes its buttons.
    function test_whole() {
        found = []
        createMain(units.gu(45), units.gu(75))
        lookAtAll("upright")
        main.width = stage.width = units.gu(75)
        main.height = stage.height = units.gu(45)
        lookAtAll("on its side")
        for (var i = 0; i < found.length; ++i)
            console.warn(found[i])
        verify(found.length === 0, found.length + " faults, each in a warning above; the first: " + found[0])
    }

    function lookAtAll(tag) {
        testCase.tag = tag
        var status = findChild(main, "countdownText")
        var lines = helper.longestStatusLines()
        verify(lines.length >= 8, "status lines: " + lines.length)
        for (var i = 0; i < lines.length; ++i) {
            status.text = lines[i]
            look("status line " + i)
        }

        // The go-back question, and what a zip that is not one and one that
        // is not there come to.
        var dialog = null
        var asks = [function() { findChild(main, "goBackButton").clicked() },
                    function() { main.importZip("file:///nowhere/notes.txt") },
                    function() { main.importZip("file:///nowhere/cco.zip") }]
        for (i = 0; i < asks.length; ++i) {
            asks[i]()
            dialog = findChild(main, "errorDialog")
            tryVerify(function() { return dialog.opened }, 5000, "no message " + i)
            look("message " + i)
            dialog.close()
            tryVerify(function() { return !dialog.visible })
        }

        main.openRestoreDialog()
        tryVerify(function() { return main.restoreDialog.opened })
        look("restore dialog")
        main.restoreDialog.close()
        tryVerify(function() { return !main.restoreDialog.visible })

        verify(helper.setPin("2468"))
        main.withPin(function() {})
        var pinDialog = main.pinDialog
        tryVerify(function() { return pinDialog.opened })
        var refusals = helper.pinRefusals()
        verify(refusals.length >= 5, "refusals: " + refusals.length)
        for (i = 0; i < refusals.length; ++i) {
            findChild(pinDialog, "pinMessage").text = refusals[i]
            look("PIN refusal " + i)
        }
        pinDialog.close()
        tryVerify(function() { return !pinDialog.visible })
        verify(helper.run("rm", [helper.pinFile()], "/"))
    }
}
}
