import QtQuick 2.12
import QtQuick.Controls 2.5
import QtTest 1.2
import "../common/page.js" as Page

// The main road on the demo installation: provisioning by command, the
// countdown, the demo CCO (real Java) started with the unpacked runtime, its
// output in the output area, its page in the web view, its stop action, and
// the restore tool run through the view changing the prefix it shows.
Item {
    id: stage
    width: 600
    height: 900

    TestCase {
        id: testCase
        name: "Demo"
        when: windowShown

        property var main: null

        function find(name) {
            var item = findChild(main, name)
            verify(item, "no item named " + name)
            return item
        }

        function output() { return find("commandOutput").text }

        function provision(args) {
            verify(helper.run(helper.env("VARNOLET_PROVISION"), args, helper.env("VARNOLET_DEMO_APP")),
                   "varnolet-provision " + args.join(" "))
        }

        // Waits for the web view and, in it, the demo page with `prefix`.
        function waitForPage(prefix) {
            tryVerify(function() { return main.webViewVisible }, 60000,
                      "gave up waiting for the web view; output: " + output())
            var webView = find("webView")
            Page.waitForText(testCase, webView, "prefix", prefix)
            tryVerify(function() { return helper.colorShare(main, "#1565c0") > 0.3 }, 10000,
                      "gave up waiting for the demo page's colour on screen")
        }

        function stopFromPage() {
            Page.submitForm(testCase, find("webView"))
            tryVerify(function() { return !main.webViewVisible }, 15000,
                      "gave up waiting for the maintenance screen after the stop")
            tryVerify(function() { return output().indexOf("The program ended with exit code 0.") >= 0 },
                      15000, output())
        }

        function cleanup() {
            // Stops a demo CCO still running (the backend kills it otherwise).
            if (main && main.webViewVisible)
                find("webView").runJavaScript("document.querySelector('form').submit()")
        }

        function test_mainRoad() {
            verify(helper.ccoPortFree(), "127.0.0.1:9999 is taken: the demo CCO could not serve there")
            helper.reset()
            verify(helper.setCurrent(helper.env("VARNOLET_DEMO_APP")))
            provision(["extract-jdk"])
            provision(["import", helper.env("VARNOLET_DEMO_ZIP")])
            provision(["patch"])
            provision(["check"])

            var component = Qt.createComponent("qrc:/Main.qml")
            compare(component.status, Component.Ready, component.errorString())
            main = createTemporaryObject(component, stage, {width: 600, height: 900})
            verify(main.directoryCheckPassed)
            compare(find("countdownText").text, "Starting CCO in 5 seconds")

            waitForPage("POS DEMO-0001")
            verify(output().indexOf("Demo CCO starting") >= 0, output())
            verify(output().indexOf("sapmachine-jre-17.0.6") >= 0, output())
            verify(output().indexOf("Web container started.") >= 0, output())
            verify(helper.saveScreenshot(main, "demo-web-view") !== "")

            stopFromPage()
            verify(find("container").visible)
            verify(output().indexOf("STOP_CCO Bye") >= 0, output())

            // The restore tool, with the prefix typed into the dialog.
            mouseClick(find("restoreButton"))
            var dialog = find("restoreDialog")
            tryVerify(function() { return dialog.opened })
            tryVerify(function() { return find("newPrefixInput").activeFocus })
            keyClick(Qt.Key_P); keyClick(Qt.Key_O); keyClick(Qt.Key_S); keyClick(Qt.Key_Minus)
            keyClick(Qt.Key_4); keyClick(Qt.Key_2)
            compare(dialog.newPrefix.toUpperCase(), "POS-42")
            dialog.newPrefix = "POS-42"
            keyClick(Qt.Key_Return)
            tryVerify(function() { return !dialog.visible })
            tryVerify(function() { return output().indexOf("The program ended with exit code 0.") >= 0 },
                      30000, output())
            verify(output().indexOf("POS prefix set to POS-42") >= 0, output())

            // A bad prefix is refused by the tool, and the output says so.
            mouseClick(find("restoreButton"))
            tryVerify(function() { return dialog.opened })
            dialog.newPrefix = "bad prefix"
            mouseClick(dialog.footer.standardButton(DialogButtonBox.Ok))
            tryVerify(function() { return output().indexOf("The program ended with exit code 2.") >= 0 },
                      30000, output())
            verify(output().indexOf("Invalid prefix") >= 0, output())

            // The next start shows the new prefix.
            mouseClick(find("runButton"))
            waitForPage("POS POS-42")
            stopFromPage()
        }
    }
}
