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

    // Upright, with the suspension warning and the go-back button (an
    // installation kept from before an import) shown.
    function createMain() {
        stage.width = units.gu(45)
        stage.height = units.gu(75)
        verify(helper.writeFile(helper.appData + "/CustomerCheckout.previous/run.sh", "true"))
        var component = Qt.createComponent("qrc:/Main.qml")
        compare(component.status, Component.Ready, component.errorString())
        main = createTemporaryObject(component, stage, {width: stage.width, height: stage.height})
        findChild(main, "gsettings").lifecycleExemptAppids = ["some.other.app"]
        tryVerify(function() { return findChild(main, "warningRow").visible }, 5000, "no suspension warning")
        verify(findChild(main, "goBackButton").visible, "no go-back button")
    }

    // What a text paints, in window coordinates.
    function paintedRect(text) {
        var h = text.effectiveHorizontalAlignment, v = text.verticalAlignment
        var p = text.mapToItem(null, (text.width - text.contentWidth) * (h === Text.AlignRight ? 1 : h === Text.AlignHCenter ? 0.5 : 0),
                               (text.height - text.contentHeight) * (v === Text.AlignBottom ? 1 : v === Text.AlignVCenter ? 0.5 : 0))
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
        for (var p = item; p && p !== ancestor; p = p.parent) {}
        return !!p
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
        if (shown(item)) {
            if (is(item))
                found.push(item)
            for (var i = 0; i < item.children.length; ++i)
                shownItems(item.children[i], is, found)
        }
        return found
    }
    // Items that paint a text and say whether it is cut.
    function isText(item) {
        return item.truncated !== undefined && item.contentWidth !== undefined
                && typeof item.text === "string" && item.text !== ""
    }
    // Buttons, and a dialog's row of them.
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
        // What is drawn over the texts under it.
        var covers = shownItems(window, isButton).concat(header.visible ? [header] : [])
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
            for (var b = 0; b < covers.length; ++b) {
                if (layer(covers[b]) === layer(t) && !within(t, covers[b]) && overlap(painted, box(covers[b])))
                    found.push(name + " lies under " + (covers[b] === header ? "the page header"
                               : covers[b].standardButtons !== undefined ? "the dialog's buttons" : "\"" + covers[b].text + "\""))
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
        createMain()
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

        // The go-back question, what a zip that is not one and one that is
        // not there come to, the restore dialog, and the PIN dialog with
        // each refusal.
        verify(helper.setPin("2468"))
        var opens = [function() { findChild(main, "goBackButton").clicked(); return main.pinDialog },
                     function() { main.importZip("file:///nowhere/notes.txt"); return main.errorDialog },
                     function() { main.importZip("file:///nowhere/cco.zip"); return main.errorDialog },
                     function() { main.openRestoreDialog(); return main.restoreDialog }]
        var refusals = helper.pinRefusals()
        verify(refusals.length >= 5, "refusals: " + refusals.length)
        for (i = 0; i < opens.length; ++i) {
            var dialog = opens[i]()
            tryVerify(function() { return dialog.opened }, 5000, "no dialog " + i)
            look("dialog " + i)
            for (var r = 0; i === 0 && r < refusals.length; ++r) {
                findChild(dialog, "pinMessage").text = refusals[r]
                look("PIN refusal " + r)
            }
            dialog.close()
            tryVerify(function() { return !dialog.visible })
        }
        verify(helper.run("rm", [helper.pinFile()], "/"))
        // Without the PIN: the question.
        findChild(main, "goBackButton").clicked()
        tryVerify(function() { return main.errorDialog.opened })
        look("go-back question")
        main.errorDialog.close()
        tryVerify(function() { return !main.errorDialog.visible })
    }
}
}
