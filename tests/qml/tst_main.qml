import QtQuick 2.12
import QtQuick.Controls 2.5
import QtTest 1.2
import QtWebEngine 1.10
import Lomiri.Components 1.3

// The main view from the compiled-in resources, over the real backend, with
// stand-in CCO scripts in a fresh data home for every test.
Item {
    id: stage
    width: 600; height: 900

TestCase {
    id: testCase
    name: "MainView"
    when: windowShown

    // Where the view under test looks for CCO's page.
    readonly property string ccoAddress: main ? main.ccoAddress : ""
    property var main: null

    function cco() { return helper.appData + "/CustomerCheckout" }

    function init() { helper.reset() }
    // Every program a test started goes with it.
    function cleanup() {
        helper.killFromPidFile(cco() + "/pid")
        stage.width = 600
        stage.height = 900
    }

    // An installation that passes the check, whose run.sh writes its pid to
    // "pid" in the CCO folder and then runs `runScript`.
    function install(runScript) {
        verify(helper.writeScript(helper.appData + "/sapmachine-jre-17.0.6/bin/java", "true"))
        verify(helper.writeScript(cco() + "/run.sh", "echo $$ > pid\n" + runScript))
    }

    function createMain() {
        var component = Qt.createComponent("qrc:/Main.qml")
        compare(component.status, Component.Ready, component.errorString())
        main = createTemporaryObject(component, stage, {width: stage.width, height: stage.height})
        waitForRendering(main)
    }

    // The share of `color` in a picture of the window taken over a shell,
    // as support takes one.
    function screenshotShare(color) {
        var file = helper.appData + "/../shot.png"
        helper.startTool(["screenshot", "-o", file])
        tryVerify(function() { return helper.toolOutput() !== "" }, 15000, "the screenshot never came")
        compare(helper.toolOutput().indexOf("0: Screenshot written to "), 0, helper.toolOutput())
        compare(helper.runOutput("stat", ["-c", "%a", file]).trim(), "600")
        return helper.fileColorShare(file, color)
    }

    function find(name) {
        var item = findChild(main, name)
        verify(item, "no item named " + name)
        return item
    }

    function click(name) { verify(find(name).visible, name + " is hidden"); mouseClick(find(name)) }

    function outputText() { return find("commandOutput").text }
    function status() { return find("countdownText").text }
    function waitForOutput(text, timeout) {
        tryVerify(function() { return outputText().indexOf(text) >= 0 }, timeout || 5000,
                  "waited for \"" + text + "\" in the output: " + outputText())
    }

    // A finished load of the web view's current address; it is shown while its page may still load.
    function waitForLoad(webView, what) {
        tryVerify(function() { return !webView.loading && webView.loadProgress === 100 }, 20000,
                  "gave up waiting for " + what + " to load (at " + webView.loadProgress + "%)")
    }

    // The X screen saver's timeout in seconds, as `xset q` reads it.
    function screenSaverTimeout() { return parseInt(/timeout:\s+(\d+)/.exec(helper.runOutput("xset", ["q"]))[1]) }

    // Which screen shows, from the rules of the view's states.
    function expectScreen(web) {
        compare(main.webViewVisible, web)
        compare(find("header").visible, !web)
        compare(find("container").visible, !web)
        var webView = findChild(main, "webView") // created when first shown
        compare(!!webView && webView.visible && webView.url.toString().indexOf(ccoAddress) === 0, web)
    }

    // A fresh device: the check fails, nothing counts down, and the shell's
    // suspension of the app can be turned off from the view.
    function test_freshDevice() {
        createMain()
        verify(!main.directoryCheckPassed)
        expectScreen(false)
        verify(!find("countdownText").visible && find("supervisor").status === "" && !find("goBackButton").visible)
        var settings = find("gsettings")
        // Without the shell's settings schema there is nothing to set: no
        // warning, and the view works.
        if (helper.env("XDG_DATA_DIRS") === "/nonexistent") {
            compare(settings.lifecycleExemptAppids, undefined)
            verify(!find("warningRow").visible && !main.appSuspensionDisabled && find("runButton").visible)
            return
        }
        settings.lifecycleExemptAppids = ["some.other.app"]
        tryVerify(function() { return find("warningRow").visible })
        click("setSuspensionButton")
        tryVerify(function() { return !find("warningRow").visible })
        compare(settings.lifecycleExemptAppids, ["some.other.app", "varnolet.quindrel"])
        tryVerify(function() { return find("errorDialog").opened })
        compare(find("errorMessage").text, "App suspension setting set")
        // Already listed: nothing is appended again.
        main.setAppSuspension()
        compare(settings.lifecycleExemptAppids, ["some.other.app", "varnolet.quindrel"])
    }

    // What the screen shows is in the device's language; the output area's
    // lines stay English, so that support can read any till's log.
    function test_language() {
        install("true")
        createMain()
        var german = helper.env("LANGUAGE") === "de"
        compare(find("runButton").text, german ? "CCO starten" : "Run CCO")
        // A loaded machine may take longer than a step to draw the first frame.
        var counting = german ? /^CCO startet in [1-5] Sekunden$/ : /^Starting CCO in [1-5] seconds$/
        verify(counting.test(status()), status())
        click("countdownText")
        click("patchButton") // with no assets
        verify(outputText().indexOf("Failed to copy ") === 0, outputText())
        verify(outputText().indexOf("The patch failed and the installed files were kept") > 0, outputText())
        click("restoreButton")
        var dialog = find("restoreDialog")
        compare(dialog.title, german ? "Wiederherstellung" : "Restore Tool")
        // Qt's own standard buttons too.
        compare(dialog.footer.standardButton(DialogButtonBox.Cancel).text, german ? "Abbrechen" : "Cancel")
    }

    function test_countdown_data() {
        return [{tag: "runs out and starts CCO", tap: false}, {tag: "a tap cancels it for good", tap: true}]
    }

    function test_countdown(data) {
        install("echo started > started")
        var start = Date.now()
        createMain()
        // A loaded machine may take longer than a step to draw the first frame.
        var first = status()
        verify(/^Starting CCO in [1-5] seconds$/.test(first), first)
        if (first === "Starting CCO in 5 seconds")
            tryCompare(find("countdownText"), "text", "Starting CCO in 4 seconds", 1000)
        if (data.tap) {
            click("countdownText")
            verify(!find("countdownText").visible)
            wait(1500)
            verify(!helper.exists(cco() + "/started"))
            return
        }
        tryVerify(function() { return helper.exists(cco() + "/started") }, 5000)
        // Five steps (the setup makes each 200 ms, which a coarse timer may
        // shorten by 5%): 5, 4, 3, 2, 1, and the start at 0.
        verify(Date.now() - start >= 950, "started after " + (Date.now() - start) + " ms")
    }

    // CCO from Run CCO to its page and back: readiness, pixels, screen
    // saver, the stop line, a second run that dies, and the restart wait.
    function test_runReadyStopDie() {
        install("echo '<b>first run</b>'\nif [ -e ran ]; then kill -9 $$; fi; touch ran\n"
                + "echo 'Web container started.'\nwhile [ ! -e stop-now ]; do sleep 0.1; done\n"
                + "echo 'STOP_CCO Bye'\nexec sleep 60")
        var screenSaverBefore = screenSaverTimeout()
        createMain()
        // Run CCO below starts it, not the countdown.
        click("countdownText")
        // Created blank a second after the first frame: nothing loaded before CCO's page is wanted.
        tryVerify(function() { return findChild(main, "webView") !== null }, 5000)
        compare(find("webView").url.toString(), "")
        // What the web view's loads came to, and when CCO's page was shown.
        var seen = []
        find("webView").loadingChanged.connect(function(request) {
            if (request.status === WebEngineView.LoadSucceededStatus || request.status === WebEngineView.LoadFailedStatus)
                seen.push(request.status === WebEngineView.LoadSucceededStatus ? "loaded" : "failed")
        })
        // (After the handlers of the load that showed it have run.)
        main.webViewVisibleChanged.connect(function() {
            if (main.webViewVisible)
                Qt.callLater(function() { seen.push("shown") })
        })
        var start = Date.now()
        click("runButton")
        // Ready, but not serving yet: the page's load fails, and is tried again.
        tryCompare(find("countdownText"), "text", "CCO's page does not answer yet", 10000)
        verify(Date.now() - start >= 2900, "shown after " + (Date.now() - start) + " ms")
        verify(!main.webViewVisible)
        // Serving only once CCO runs: one that serves already is shown, not started.
        verify(helper.serve(), "127.0.0.1:9999 is taken: no stand-in CCO page")
        tryVerify(function() { return main.webViewVisible }, 5000, "no web view: " + outputText())
        expectScreen(true)
        // Never the browser's own error page: shown only after a load succeeded.
        tryVerify(function() { return seen.indexOf("shown") >= 0 }, 1000, seen.join(", "))
        verify(seen.indexOf("failed") >= 0 && seen.indexOf("shown") > seen.indexOf("failed")
               && seen[seen.indexOf("shown") - 1] === "loaded", seen.join(", "))
        // Program output is text, never markup; the newest line in sight.
        verify(find("commandOutput").getText(0, 1000).indexOf("<b>first run</b>") === 0, outputText())
        compare(find("commandOutput").cursorPosition, outputText().length)
        var webView = find("webView")
        waitForLoad(webView, "the stand-in page")
        tryVerify(function() { return helper.colorShare(main, "#1b7f3b") > 0.5 }, 10000, "the page is not on screen")
        verify(screenshotShare("#1b7f3b") > 0.5, "the screenshot does not show the page")
        // The screen stays on while the page is shown. (QtSystemInfo cannot
        // give X its timeout back afterwards: it re-enables only a timeout
        // that is not 0.)
        verify(screenSaverBefore > 0)
        compare(screenSaverTimeout(), 0)

        verify(helper.writeFile(cco() + "/stop-now", ""))
        tryVerify(function() { return !main.webViewVisible }, 5000)
        expectScreen(false)
        compare(status(), "CCO has stopped")
        verify(helper.killFromPidFile(cco() + "/pid"))

        // Run CCO clears the old output; this run dies, and a tap cancels its restart.
        waitForOutput("The program crashed")
        helper.stopServing()
        click("runButton")
        waitForOutput("CCO stopped unexpectedly (crashed). Restarting in 5 seconds.")
        compare(outputText().split("<b>first run</b>").length, 2, outputText())
        verify(status().indexOf("CCO stopped unexpectedly (crashed). Restarting in ") === 0, status())
        click("countdownText")
        compare(status(), "CCO has stopped")
    }

    // Patch and Extract JDK: the backend's outcome, and the view's own line.
    function test_patchAndExtractJdk() {
        verify(helper.writeFile(cco() + "/run.sh", "old"))
        createMain()
        click("patchButton") // with no assets
        var lines = outputText().split("\n")
        verify(lines[0].indexOf("Failed to copy " + helper.workDir + "/assets/run.sh to ") === 0, lines[0])
        verify(lines.pop().indexOf("The patch failed and the installed files were kept") === 0, outputText())
        compare(helper.readFile(cco() + "/run.sh"), "old")
        verify(helper.makeAssets())
        click("patchButton")
        compare(outputText(), "Install patched")
        compare(helper.readFile(cco() + "/run.sh"), "new run.sh")
        // No runtime archive in the assets folder: the failure is shown, alone.
        click("extractButton")
        verify(outputText().indexOf("Failed to extract file. Error:") === 0, outputText())
    }

    // With a maintenance PIN, every maintenance button asks for it: a wrong
    // one patches nothing, the right one lets it go on; Run CCO never asks.
    // A damaged PIN file refuses every PIN.
    function test_pin() {
        verify(helper.writeFile(cco() + "/run.sh", "old") && helper.makeAssets() && helper.setPin("4829"))
        verify(helper.writeScript(cco() + ".previous/run.sh", "echo previous"))
        createMain()
        var dialog = null
        for (var name of ["importButton", "extractButton", "restoreButton", "goBackButton"]) {
            click(name)
            dialog = find("pinDialog")
            tryVerify(function() { return dialog.opened }, 5000, name + " did not ask for the PIN")
            dialog.close()
            tryVerify(function() { return !dialog.visible })
        }
        verify(!main.contentPicker || !main.contentPicker.visible)
        click("patchButton")
        tryVerify(function() { return find("pinInput").activeFocus })
        keyClick(Qt.Key_1); keyClick(Qt.Key_1); keyClick(Qt.Key_1); keyClick(Qt.Key_1)
        keyClick(Qt.Key_Return)
        compare(find("pinMessage").text, "Wrong PIN")
        verify(dialog.opened)
        compare(helper.readFile(cco() + "/run.sh"), "old")
        find("pinInput").text = "4829"
        mouseClick(find("pinOkButton"))
        tryVerify(function() { return !dialog.visible })
        compare(outputText(), "Install patched")
        click("runButton")
        verify(!dialog.visible)
        verify(helper.writeFile(helper.pinFile(), "{\"kdf\": \"PBKDF2-SHA256\", \"iter"))
        click("patchButton")
        tryVerify(function() { return dialog.opened })
        find("pinInput").text = "4829"
        mouseClick(find("pinOkButton"))
        compare(find("pinMessage").text, "The maintenance PIN file is damaged: set the PIN again over a shell")
        verify(dialog.opened)
    }

    // The way back: shown while a previous installation is kept; it asks first.
    function test_goBack() {
        verify(helper.writeScript(cco() + "/run.sh", "echo current"))
        verify(helper.writeScript(cco() + ".previous/run.sh", "echo previous"))
        createMain()
        click("goBackButton")
        var dialog = find("errorDialog")
        tryVerify(function() { return dialog.opened })
        waitForRendering(dialog.contentItem)
        mouseClick(find("okButton"))
        tryVerify(function() { return helper.readFile(cco() + "/run.sh").indexOf("echo previous") > 0 })
        compare(helper.readFile(cco() + ".previous/run.sh").indexOf("echo current") > 0, true)
    }

    // The prefix typed into the dialog reaches the tool as it is; Enter
    // confirms, Cancel runs nothing.
    function test_restoreTool() {
        verify(helper.writeScript(cco() + "/run_cco_restore_silent.sh",
                                  "for a in \"$@\"; do printf '%s|' \"$a\"; done > args.tmp\nmv args.tmp args"))
        createMain()
        click("restoreButton")
        var dialog = find("restoreDialog")
        tryVerify(function() { return find("newPrefixInput").activeFocus })
        keyClick(Qt.Key_P)
        find("newPrefixInput").text += "OS 0042; $(touch x)"
        keyClick(Qt.Key_Return)
        tryVerify(function() { return helper.exists(cco() + "/args") }, 5000)
        compare(helper.readFile(cco() + "/args"), "-ccoPath|" + cco() + "|-prefix|" + dialog.newPrefix + "|")
        compare(dialog.newPrefix.toUpperCase(), "POS 0042; $(TOUCH X)")
        verify(!helper.exists(cco() + "/x"))
        click("restoreButton")
        tryVerify(function() { return dialog.opened })
        verify(helper.writeFile(cco() + "/args", ""))
        mouseClick(dialog.footer.standardButton(DialogButtonBox.Cancel))
        tryVerify(function() { return !dialog.visible })
        wait(300)
        compare(helper.readFile(cco() + "/args"), "")
    }

    function test_import_data() {
        var kept = "The import failed and the existing installation was kept. The output area says why."
        return [{tag: "zip", name: "cco.zip", message: "CCO extracted"},
                {tag: "upper-case .ZIP", name: "cco.ZIP", message: "Invalid file format selected. Please select a .zip file."},
                {tag: "corrupt zip", name: "broken.zip", message: kept},
                {tag: "a long import covers the view", name: "cco.zip", message: "CCO extracted", slow: true},
                {tag: "cancelled", name: ""}]
    }

    function test_import(data) {
        install("echo started > started\necho old")
        verify(helper.writeScript(helper.workDir + "/zip-source/run.sh", "echo new"))
        var zip = helper.workDir + "/my zips/" + data.name
        verify(helper.writeFile(helper.workDir + "/my zips/broken.zip", "not a zip"))
        verify(data.name === "broken.zip" || helper.run("zip", ["-q", zip, "run.sh"], helper.workDir + "/zip-source"))
        // An unzip that takes a second and a half to unpack.
        verify(!data.slow || helper.writeScript(helper.workDir + "/bin/unzip", "[ \"$1\" = -Z1 ] || sleep 1.5\nexec /usr/bin/unzip \"$@\""))
        createMain()
        click("countdownText") // no CCO to start, but for the slow import's countdown
        click("importButton")
        // Made once its module has loaded, after the first frame.
        tryVerify(function() { return main.contentPicker && main.contentPicker.visible }, 5000)
        var picker = main.contentPicker
        if (data.name === "") {
            picker.cancel()
            verify(!picker.visible && !main.errorDialog)
            return
        }
        // The slow import: the overlay shows, and a tap on a button below it
        // (one that works while the backend is busy) goes nowhere.
        var seen = []
        var probe = Qt.createQmlObject("import QtQuick 2.12; Timer { interval: 700 }", testCase)
        probe.triggered.connect(function() {
            seen.push(find("operationOverlay").visible, find("operationLabel").text)
            mouseClick(find("restoreButton"))
        })
        probe.start()
        picker.imported("file://" + encodeURI(zip))
        compare(seen.length ? seen : [], data.slow ? [true, "Importing the CCO installation"] : [])
        verify(!picker.visible && !find("operationOverlay").visible && !main.restoreDialog)
        tryVerify(function() { return find("errorDialog").opened })
        compare(find("errorMessage").text, data.message)
        var installed = helper.readFile(cco() + "/run.sh")
        verify(installed.indexOf(data.name === "cco.zip" ? "echo new" : "echo old") > 0, installed)
    }

    // Camera and microphone for CCO's own page only, asked for through the
    // web view itself by CCO's page and by a page of another origin; and
    // CCO's page back after its renderer crashed, and in a web view made anew.
    function test_webView() {
        createMain()
        verify(helper.serve() && helper.serve(9998), "a stand-in port is taken")
        main.loadCco()
        var webView = find("webView")
        tryVerify(function() { return webView.title.indexOf("camera") === 0 }, 20000, "CCO's page: " + webView.title)
        compare(webView.title, "camera granted")
        webView.url = "http://127.0.0.1:9998"
        tryCompare(webView, "title", "camera refused: NotAllowedError", 20000)
        webView.url = "chrome://crash"
        tryVerify(function() { return webView.url.toString().indexOf(ccoAddress) === 0 }, 15000, "" + webView.url)
        waitForLoad(webView, "CCO's page after the renderer crash")
        // The daily restart's: the web view goes, and a new one loads CCO's page.
        find("supervisor").renewViewRequested()
        tryVerify(function() { return findChild(main, "webView") === null }, 5000)
        main.loadCco()
        waitForLoad(find("webView"), "CCO's page in a new web view")
        tryCompare(find("webView"), "title", "camera granted", 20000)
    }
}
}
