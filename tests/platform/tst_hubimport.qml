import QtQuick 2.12
import QtTest 1.2

// Imports through the real content-sharing service (hub_import.sh starts
// it, and a source app that answers the rows' requests in order): the
// Import button, the service's own peer picker, a tap on the source, and
// the import of what it hands over, in the main view over the real backend.
Item {
    id: stage
    width: 600; height: 900

TestCase {
    id: testCase
    name: "RealHub"
    when: windowShown

    property var main: null
    readonly property string offered: helper.env("HUB_OFFERED")
    readonly property string data: helper.appData
    // Where the client library puts what the service delivers: the cache
    // beside the data home's data folder.
    readonly property string incoming: data.replace(/\/data\/varnolet\.quindrel$/, "/.cache/varnolet.quindrel/HubIncoming")

    // One data home for all rows: the second import replaces the first's.
    function initTestCase() {
        verify(offered !== "", "HUB_OFFERED names the folder the source hands files out of")
        verify(helper.writeScript(data + "/sapmachine-jre-17.0.6/bin/java", "true"))
        verify(helper.writeScript(data + "/CustomerCheckout/run.sh", "echo old"))
        var zips = [["cco install.zip", "new"], ["cco newer.zip", "newer"]]
        for (var i = 0; i < zips.length; i++) {
            var folder = helper.workDir + "/" + zips[i][1]
            verify(helper.writeScript(folder + "/CustomerCheckout/run.sh", "echo " + zips[i][1]))
            verify(helper.run("zip", ["-qr", offered + "/" + zips[i][0], "CustomerCheckout"], folder))
        }
        verify(helper.writeFile(offered + "/notes.txt", "not an installation"))
    }

    function find(name) {
        var item = findChild(main, name)
        verify(item, "no item named " + name)
        return item
    }

    function findLabel(item, text) {
        if (item.objectName === "label" && item.text === text)
            return item
        for (var i = 0; i < item.children.length; i++) {
            var found = findLabel(item.children[i], text)
            if (found)
                return found
        }
        return null
    }

    // The page's Cancel, the way back when no file is wanted: the picker
    // goes, nothing is requested of the source (whose first answer is for
    // the first import) and nothing changes.
    function test_cancel() {
        openPicker()
        mouseClick(findChild(main.contentPicker, "cancelAction_button"))
        tryVerify(function() { return !main.contentPicker.visible })
        verify(!main.errorDialog)
        compare(installed("CustomerCheckout"), "#!/bin/bash\necho old\n")
    }

    // The main view, its countdown stopped, with the picker open on the
    // source the service lists; the source's entry.
    function openPicker() {
        var component = Qt.createComponent("qrc:/Main.qml")
        compare(component.status, Component.Ready, component.errorString())
        main = createTemporaryObject(component, stage, {width: stage.width, height: stage.height})
        waitForRendering(main)
        tryVerify(function() { return find("countdownText").visible })
        mouseClick(find("countdownText")) // no start of CCO while it imports
        mouseClick(find("importButton"))
        var source = null
        // The picker is made once its module has loaded, after the first frame.
        tryVerify(function() {
            source = main.contentPicker ? findLabel(main.contentPicker, "Test Source") : null
            return source !== null
        }, 10000, "the service's peer picker lists the source")
        waitForRendering(main.contentPicker)
        return source
    }

    function installed(folder) { return helper.readFile(data + "/" + folder + "/run.sh") }
    function incomingEntries() { return helper.runOutput("ls", ["-A", incoming]).trim() }

    // In the order the source answers; `copy` is the folder the service
    // delivers into, counted on from one transfer to the next.
    function test_import_data() {
        var extracted = "CCO extracted"
        return [{tag: "zip", message: extracted, now: "echo new", previous: "echo old", copy: "1/cco install.zip"},
                {tag: "second zip right after", message: extracted, now: "echo newer", previous: "echo new",
                 copy: "2/cco newer.zip"},
                {tag: "aborted by the source", message: "The other app ended the transfer: nothing was imported.",
                 now: "echo newer", previous: "echo new"},
                {tag: "not a zip", message: "Invalid file format selected. Please select a .zip file.",
                 now: "echo newer", previous: "echo new", copy: "4/notes.txt"}]
    }

    function test_import(row) {
        mouseClick(openPicker())
        tryVerify(function() { return main.errorDialog && main.errorDialog.opened }, 20000,
                  "the transfer came to an end in the view")
        compare(find("errorMessage").text, row.message)
        verify(!main.contentPicker.visible)

        compare(installed("CustomerCheckout"), "#!/bin/bash\n" + row.now + "\n")
        tryVerify(function() { return installed("CustomerCheckout.previous") === "#!/bin/bash\n" + row.previous + "\n" },
                  5000, "the previous installation: " + installed("CustomerCheckout.previous"))
        var removed = "Removed the delivered copy " + incoming + "/" + row.copy
        if (row.copy)
            tryVerify(function() { return find("commandOutput").text.indexOf(removed) >= 0 }, 5000, find("commandOutput").text)
        else
            verify(find("commandOutput").text.indexOf("delivered copy") < 0, find("commandOutput").text)
        // An import that replaced the installation begins its trial.
        verify(row.message !== "CCO extracted" || helper.exists(data + "/CustomerCheckout.trial"))
        // Nothing is left of what was delivered, nor of the folder it came in.
        tryVerify(function() { return incomingEntries() === "" }, 5000, "left in HubIncoming: " + incomingEntries())
    }
}
}
