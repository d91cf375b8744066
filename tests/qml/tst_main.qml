import QtQuick 2.12
import QtQuick.Controls 2.5
import QtTest 1.2
import QtWebEngine 1.10
import "../common/page.js" as Page

// The main view from the compiled-in resources, over the real backend, with
// stand-in CCO scripts in a fresh data home for every test.
Item {
    id: stage
    width: 600
    height: 900

TestCase {
    id: testCase
    name: "MainView"
    when: windowShown

    readonly property string ccoAddress: "http://127.0.0.1:9999"
    readonly property var patchFiles: ["run.sh", "run_cco_restore.sh", "run_cco_restore_silent.sh",
                                       "ui-test-1.0-SNAPSHOT.jar", "CCO_Restore.jar"]
    property var main: null
    property var pidFiles: []

    function cco() { return helper.appData + "/CustomerCheckout" }

    function init() {
        helper.reset()
        main = null
        pidFiles = []
    }

    function cleanup() {
        // Every program a test started goes with it.
        for (var i = 0; i < pidFiles.length; i++)
            helper.killFromPidFile(pidFiles[i])
    }

    // An installation that passes the start-up check, with `runScript` as
    // its run.sh. The script runs in the CCO folder and writes its pid to
    // "pid" there.
    function install(runScript) {
        verify(helper.writeScript(helper.appData + "/sapmachine-jre-17.0.6/bin/java", "true"))
        verify(helper.writeScript(cco() + "/run.sh", "echo $$ > pid\n" + runScript))
        pidFiles.push(cco() + "/pid")
    }

    // The X screen saver's timeout in seconds, as `xset q` reads it.
    property int screenSaverBefore: -1
    function screenSaverTimeout() {
        var match = /timeout:\s+(\d+)/.exec(helper.runOutput("xset", ["q"]))
        verify(match, "xset q says nothing of a timeout")
        return parseInt(match[1])
    }

    function createMain() {
        screenSaverBefore = screenSaverTimeout()
        var component = Qt.createComponent("qrc:/Main.qml")
        compare(component.status, Component.Ready, component.errorString())
        main = createTemporaryObject(component, stage, {width: stage.width,
                                                       height: stage.height})
        verify(main)
        waitForRendering(main)
        return main
    }

    function find(name) {
        var item = findChild(main, name)
        verify(item, "no item named " + name)
        return item
    }

    function click(name) {
        var item = find(name)
        verify(item.visible, name + " is hidden")
        mouseClick(item)
    }

    function outputText() { return find("commandOutput").text }

    // What the screen shows, from the rules of the view's states.
    function expectMaintenance(countdownShown) {
        verify(!main.webViewVisible)
        verify(find("header").visible)
        verify(find("container").visible)
        var webView = findChild(main, "webView") // created when first shown
        verify(!webView || !webView.visible)
        compare(find("countdownText").visible, countdownShown)
    }

    function expectWeb() {
        verify(find("webView").visible)
        verify(!find("header").visible)
        verify(!find("container").visible)
        verify(!find("countdownText").visible)
        verify(find("webView").url.toString().indexOf(ccoAddress) === 0)
    }

    // ---- start-up and countdown

    function test_checkFailsNoCountdown() {
        createMain()
        verify(!main.directoryCheckPassed)
        expectMaintenance(false)
        compare(find("countdownText").text, "")
        verify(!find("startupTimer").running)
        // A fresh device gets no CCO folder: the data home is not there yet.
        verify(!helper.exists(cco()))
        compare(find("commandOutput").placeholderText, "Command output will be displayed here")
        verify(helper.saveScreenshot(main, "maintenance") !== "")
    }

    function test_countdownStartsCco() {
        install("echo started > started")
        var start = Date.now()
        createMain()
        verify(main.directoryCheckPassed)
        compare(find("countdownText").text, "Starting CCO in 5 seconds")
        expectMaintenance(true)
        tryCompare(find("countdownText"), "text", "Starting CCO in 4 seconds", 2500)
        verify(!helper.exists(cco() + "/started"))
        tryVerify(function() { return helper.exists(cco() + "/started") }, 12000)
        // Six ticks of a second each: 5, 4, 3, 2, 1, 0, then the start.
        verify(Date.now() - start >= 5500, "started after " + (Date.now() - start) + " ms")
        // After the countdown the line says what CCO does: this one ended
        // without its stop line.
        tryVerify(function() {
            return find("countdownText").text.indexOf("CCO stopped unexpectedly (exit code 0). Restarting in") === 0
        }, 5000, find("countdownText").text)
        expectMaintenance(true)
    }

    function test_tapCancelsForGood() {
        install("echo started > started")
        createMain()
        tryCompare(find("countdownText"), "text", "Starting CCO in 4 seconds", 2500)
        click("countdownText")
        expectMaintenance(false)
        compare(find("countdownText").text, "")
        wait(6500)
        verify(!helper.exists(cco() + "/started"))
        verify(!find("startupTimer").running)
    }

    // ---- readiness and stop

    // Starts a CCO stand-in from the button and waits for the web view;
    // returns the milliseconds from the start to the web view.
    function startAndWaitForWeb(runScript) {
        install(runScript)
        createMain()
        click("countdownText")
        var start = Date.now()
        click("runButton")
        // Serving only once CCO runs: one that serves already is shown, not started.
        verify(helper.serveWebInterface(), "127.0.0.1:9999 is taken: no stand-in CCO page")
        tryVerify(function() { return main.webViewVisible }, 10000)
        var elapsed = Date.now() - start
        expectWeb()
        return elapsed
    }

    function test_readinessShowsWebViewAndStopHidesIt() {
        var elapsed = startAndWaitForWeb(
                    "echo 'Web container started.'\n"
                    + "while [ ! -e stop-now ]; do sleep 0.1; done\n"
                    + "echo 'STOP_CCO Bye'\nexec sleep 60")
        verify(elapsed >= 2900, "shown after " + elapsed + " ms")
        verify(outputText().indexOf("Web container started.") >= 0, outputText())
        var webView = find("webView")
        Page.waitForLoad(testCase, webView, "the stand-in page")
        // The page shows: its green background covers most of the view.
        tryVerify(function() { return helper.colorShare(main, "#1b7f3b") > 0.5 }, 10000)
        verify(helper.saveScreenshot(main, "web-view") !== "")
        // The screen stays on while the page is shown, and only then.
        compare(screenSaverTimeout(), 0)

        verify(helper.writeFile(cco() + "/stop-now", ""))
        tryVerify(function() { return !main.webViewVisible }, 5000)
        expectMaintenance(true)
        compare(find("countdownText").text, "CCO has stopped")
        tryVerify(function() { return screenSaverTimeout() === screenSaverBefore }, 5000,
                  "the screen saver's timeout was not given back")
        verify(outputText().indexOf("STOP_CCO Bye") >= 0)
    }

    function test_killedCcoHidesWebView() {
        startAndWaitForWeb("echo 'Web container started.'\nexec sleep 60")
        verify(helper.killFromPidFile(cco() + "/pid"))
        tryVerify(function() { return !main.webViewVisible }, 5000)
        expectMaintenance(true)
        verify(outputText().indexOf("The program crashed") >= 0, outputText())
        // A tap on the restart wait cancels it.
        verify(find("countdownText").text.indexOf("CCO stopped unexpectedly (crashed). Restarting in ") === 0,
               find("countdownText").text)
        click("countdownText")
        compare(find("countdownText").text, "CCO has stopped")
    }

    function test_secondReadinessDoesNotProlongWait() {
        var elapsed = startAndWaitForWeb("echo 'Web container started.'\nsleep 1.5\n"
                                         + "echo 'Web container started.'\nexec sleep 60")
        verify(elapsed < 4300, "shown after " + elapsed + " ms")
    }

    // ---- maintenance buttons

    function test_patch_data() {
        return [{tag: "all assets present", missing: ""},
                {tag: "one asset missing", missing: "CCO_Restore.jar"}]
    }

    function test_patch(data) {
        for (var i = 0; i < patchFiles.length; i++) {
            if (patchFiles[i] !== data.missing)
                verify(helper.writeFile(helper.workDir + "/assets/" + patchFiles[i], "patched"))
        }
        verify(helper.mkpath(cco()))
        createMain()
        click("patchButton")
        if (data.missing === "") {
            compare(outputText(), "Install patched")
        } else {
            var lines = outputText().split("\n")
            compare(lines.length, 3, outputText())
            verify(lines[0].indexOf("Failed to copy " + helper.workDir + "/assets/CCO_Restore.jar to "
                                    + cco() + "/CCO_Restore.jar: ") === 0, lines[0])
            verify(lines[2].indexOf("The patch failed and the installed files were kept") === 0, lines[2])
        }
        compare(helper.readFile(cco() + "/run.sh"), data.missing === "" ? "patched" : "")
    }

    function test_extractJdk() {
        createMain()
        find("commandOutput").text = "old text"
        click("extractButton")
        // No runtime archive in the assets folder: the failure is shown.
        verify(outputText().indexOf("Failed to extract file. Error:") === 0, outputText())
        verify(outputText().indexOf("old text") < 0)

        var source = helper.workDir + "/jre-source"
        verify(helper.writeScript(source + "/sapmachine-jre-17.0.6/bin/java", "true"))
        var archive = helper.workDir + "/assets/sapmachine-jre-17.0.6_linux-x64_bin.tar.gz"
        verify(helper.run("tar", ["-czf", archive, "sapmachine-jre-17.0.6"], source))
        verify(helper.run("cp", [archive, helper.workDir
                                 + "/assets/sapmachine-jre-17.0.6_linux-aarch64_bin.tar.gz"],
                          source))
        click("extractButton")
        compare(outputText(), "File extracted successfully to " + helper.appData)
        verify(helper.exists(helper.appData + "/sapmachine-jre-17.0.6/bin/java"))
    }

    function test_restoreTool_data() {
        return [{tag: "prefix", prefix: "POS 0042; $(touch x)"},
                {tag: "empty prefix", prefix: ""}]
    }

    function test_restoreTool(data) {
        verify(helper.writeScript(cco() + "/run_cco_restore_silent.sh",
                                  "for a in \"$@\"; do printf '%s|' \"$a\"; done > args.tmp\n"
                                  + "mv args.tmp args"))
        createMain()
        click("restoreButton")
        var dialog = find("restoreDialog")
        tryVerify(function() { return dialog.opened })
        var field = find("newPrefixInput")
        field.forceActiveFocus()
        field.text = ""
        if (data.prefix !== "")
            keyClick(data.prefix.charAt(0))
        field.text = data.prefix
        mouseClick(dialog.footer.standardButton(DialogButtonBox.Ok))
        tryVerify(function() { return !dialog.visible })
        tryVerify(function() { return helper.exists(cco() + "/args") }, 5000)
        compare(helper.readFile(cco() + "/args"),
                "-ccoPath|" + cco() + "|-prefix|" + data.prefix + "|")
        verify(!helper.exists(cco() + "/x"))

        // Cancel runs nothing; the field keeps its text.
        click("restoreButton")
        tryVerify(function() { return dialog.opened })
        compare(dialog.newPrefix, data.prefix)
        mouseClick(dialog.footer.standardButton(DialogButtonBox.Cancel))
        tryVerify(function() { return !dialog.visible })
    }

    // ---- suspension warning

    function test_suspension() {
        createMain()
        var settings = find("gsettings")
        settings.lifecycleExemptAppids = ["some.other.app"]
        var row = find("warningRow")
        tryVerify(function() { return row.visible })
        click("setSuspensionButton")
        tryVerify(function() { return !row.visible })
        compare(settings.lifecycleExemptAppids, ["some.other.app", "varnolet.quindrel"])
        verify(main.appSuspensionDisabled)
        var dialog = find("errorDialog")
        tryVerify(function() { return dialog.opened })
        compare(find("errorMessage").text, "App suspension setting set")
        dialog.close()

        // Already listed: nothing is appended again.
        main.setAppSuspension()
        compare(settings.lifecycleExemptAppids, ["some.other.app", "varnolet.quindrel"])
    }

    // ---- import through the picker

    function test_import_data() {
        return [{tag: "zip", name: "cco.zip", valid: true, imported: true},
                {tag: "upper-case .ZIP", name: "cco.ZIP", valid: false, imported: false},
                {tag: "other file", name: "notes.txt", valid: false, imported: false},
                {tag: "corrupt zip", name: "broken.zip", valid: true, imported: false}]
    }

    function test_import(data) {
        verify(helper.writeScript(cco() + "/run.sh", "echo old"))
        var source = helper.workDir + "/zip-source"
        verify(helper.writeScript(source + "/run.sh", "echo new"))
        var zip = helper.workDir + "/my zips/" + data.name
        verify(helper.mkpath(helper.workDir + "/my zips"))
        if (data.name === "broken.zip")
            verify(helper.writeFile(zip, "not a zip"))
        else
            verify(helper.run("zip", ["-q", zip, "run.sh"], source))

        createMain()
        click("importButton")
        var picker = find("contentPicker")
        verify(picker.visible)
        picker.imported("file://" + encodeURI(zip))
        verify(!picker.visible)
        var dialog = find("errorDialog")
        tryVerify(function() { return dialog.opened })
        var message = find("errorMessage").text
        if (!data.valid)
            compare(message, "Invalid file format selected. Please select a .zip file.")
        else if (data.imported)
            compare(message, "CCO extracted")
        else
            verify(message.indexOf("existing installation was kept") >= 0, message)
        compare(helper.readFile(cco() + "/run.sh"),
                "#!/bin/bash\necho " + (data.imported ? "new" : "old") + "\n")
    }

    // A long import covers the view with its progress; taps and the
    // countdown wait, and the outcome is the same.
    function test_longImportCoversTheView() {
        install("echo started > started")
        var source = helper.workDir + "/zip-source"
        verify(helper.writeScript(source + "/run.sh", "echo new"))
        var zip = helper.workDir + "/cco.zip"
        verify(helper.run("zip", ["-q", zip, "run.sh"], source))
        // An unzip that takes a second and a half to unpack.
        verify(helper.writeScript(helper.workDir + "/bin/unzip",
                                  "[ \"$1\" = -Z ] || sleep 1.5\nexec /usr/bin/unzip \"$@\""))
        helper.setEnv("PATH", helper.workDir + "/bin:" + helper.env("PATH"))
        createMain()
        var countdown = main.countdown
        var seen = []
        var probe = Qt.createQmlObject("import QtQuick 2.12; Timer { interval: 700 }", testCase)
        probe.triggered.connect(function() {
            seen.push(find("operationOverlay").visible, find("operationLabel").text)
            mouseClick(find("runButton"))
        })
        probe.start()
        click("importButton")
        find("contentPicker").imported("file://" + zip)
        compare(seen, [true, "Importing the CCO installation"])
        compare(main.countdown, countdown)
        verify(!find("operationOverlay").visible)
        compare(find("errorMessage").text, "CCO extracted")
        compare(outputText(), "File extracted successfully to" + helper.appData)
        verify(!helper.exists(cco() + "/started"))
    }

    function test_importCancelled() {
        createMain()
        click("importButton")
        var picker = find("contentPicker")
        verify(picker.visible)
        picker.cancel()
        verify(!picker.visible)
        verify(!main.errorDialog)
    }

    // ---- web view

    function test_capturePermissions_data() {
        return [
            {tag: "CCO, audio", origin: ccoAddress, feature: WebEngineView.MediaAudioCapture, granted: true},
            {tag: "CCO, video", origin: ccoAddress + "/", feature: WebEngineView.MediaVideoCapture, granted: true},
            {tag: "CCO, both", origin: ccoAddress, feature: WebEngineView.MediaAudioVideoCapture, granted: true},
            {tag: "CCO, location", origin: ccoAddress, feature: WebEngineView.Geolocation, granted: false},
            {tag: "CCO, notifications", origin: ccoAddress, feature: WebEngineView.Notifications, granted: false},
            {tag: "other site, audio", origin: "https://example.com", feature: WebEngineView.MediaAudioCapture, granted: false},
            {tag: "other port, video", origin: "http://127.0.0.1:8080", feature: WebEngineView.MediaVideoCapture, granted: false},
            {tag: "look-alike host", origin: "http://127.0.0.1:9999.example.com", feature: WebEngineView.MediaAudioVideoCapture, granted: false},
            {tag: "https on CCO's port", origin: "https://127.0.0.1:9999", feature: WebEngineView.MediaAudioCapture, granted: false}
        ]
    }

    function test_capturePermissions(data) {
        createMain()
        compare(main.permissionGranted(data.origin, data.feature), data.granted)
    }

    function test_rendererCrashReloadsCco() {
        createMain()
        verify(helper.serveWebInterface(), "127.0.0.1:9999 is taken: no stand-in CCO page")
        main.loadCco()
        var webView = find("webView")
        webView.url = "chrome://crash"
        tryVerify(function() { return webView.url.toString().indexOf(ccoAddress) === 0 }, 15000,
                  "the web view shows " + webView.url)
        Page.waitForLoad(testCase, webView, "CCO's page after the renderer crash")
    }

    // ---- output area

    function test_outputAreaKeepsRecentLines() {
        createMain()
        var limit = main.outputCharacterLimit
        // Chunks as a busy CCO writes them, some arriving while others wait.
        for (var i = 1; i <= 5000; i++) {
            main.receiveOutput("line " + i + " of the log\n")
            if (i % 700 === 0)
                wait(150)
        }
        tryVerify(function() { return outputText().indexOf("line 5000 of the log") >= 0 }, 2000)
        var text = outputText()
        verify(text.length <= limit * 1.25, text.length)
        verify(text.length >= limit / 2, text.length)
        var lines = text.split("\n")
        compare(lines[lines.length - 1], "line 5000 of the log")
        // The oldest lines went, whole, and the rest are all there, in order.
        var first = parseInt(lines[0].split(" ")[1])
        for (var k = 0; k < lines.length; k++)
            compare(lines[k], "line " + (first + k) + " of the log")

        // One chunk larger than the limit keeps only its own tail.
        var big = []
        for (var j = 0; j < 8000; j++)
            big.push("big " + j)
        wait(150)
        main.receiveOutput(big.join("\n") + "\n")
        wait(150)
        text = outputText()
        verify(text.length <= limit, text.length)
        verify(text.indexOf("big 7999") === text.length - 8, text.slice(-20))
        verify(text.indexOf("line") < 0)
        verify(text.charAt(0) === "b")
    }
}
}
