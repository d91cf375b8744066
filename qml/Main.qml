import QtQuick 2.12
import QtQuick.Controls 2.5
import QtQuick.Layouts 1.3
import Qt.labs.settings 1.0
import Lomiri.Components 1.3
import CommandExecutor 1.0
import QtWebEngine 1.10
import Lomiri.Content 1.3
import GSettings 1.0
import QtSystemInfo 5.0

MainView {
    id: root
    objectName: "mainView"
    applicationName: "varnolet.quindrel"
    automaticOrientation: true
    width: units.gu(45)
    height: units.gu(75)

    property bool directoryCheckPassed: false
    property int countdown: 5
    property bool countdownActive: false
    property bool appSuspensionDisabled: false
    property bool webViewVisible: false

    // Where CCO serves its web interface.
    readonly property string ccoAddress: "http://127.0.0.1:9999"
    // The output area keeps about this many of the most recent characters,
    // in whole lines: CCO logs for days, and every change of a text area
    // costs time in proportion to all the text it holds.
    readonly property int outputCharacterLimit: 50000

    Component.onCompleted: {
        directoryCheckPassed = commandExecutor.checkDirectoryValidity()
        if (directoryCheckPassed)
            countdownActive = true
        console.log("Main view of " + Qt.application.name + " loaded, installation check "
                    + (directoryCheckPassed ? "passed" : "failed"))
    }

    // Whether the shell lets this app run on in the background.
    function checkAppSuspension() {
        var exempt = gsettings.lifecycleExemptAppids
        var found = false
        if (exempt) {
            for (var i = 0; i < exempt.length; i++) {
                if (exempt[i] === Qt.application.name)
                    found = true
            }
        }
        return found
    }

    function setAppSuspension() {
        if (checkAppSuspension())
            return
        var original = gsettings.lifecycleExemptAppids || []
        var updated = original.slice()
        updated.push(Qt.application.name)
        console.log("Original app suspension list: " + original.join(","))
        console.log("Set app suspension: " + updated.join(","))
        gsettings.lifecycleExemptAppids = updated
        showMessage(qsTr("App suspension setting set"))
    }

    function clearOutput() {
        pendingOutput = []
        pendingLength = 0
        outputThrottle.stop()
        commandOutput.text = ""
    }

    // Output of the backend's program. Each chunk becomes a paragraph of the
    // output area. While chunks pour in they are gathered and added at most
    // ten times a second, since every change of the text area redraws all of
    // its text. Chunks that would be dropped before they are shown are
    // dropped at once.
    property var pendingOutput: []
    property int pendingLength: 0

    function receiveOutput(text) {
        if (text.length === 0)
            return
        var paragraph = text.charAt(text.length - 1) === "\n" ? text.slice(0, -1) : text
        pendingOutput.push(paragraph)
        pendingLength += paragraph.length + 1
        while (pendingOutput.length > 1
               && pendingLength - pendingOutput[0].length - 1 >= outputCharacterLimit)
            pendingLength -= pendingOutput.shift().length + 1
        if (!outputThrottle.running) {
            flushOutput()
            outputThrottle.start()
        }
    }

    // A line of the view's own, after whatever output came before it; the
    // log keeps it too.
    function appendOutput(text) {
        supervisor.note(text)
        receiveOutput(text)
        flushOutput()
    }

    // Where the first whole line at or after `position` of `text` starts.
    function lineStartFrom(text, position) {
        return position <= 0 ? 0 : text.indexOf("\n", position - 1) + 1
    }

    // Adds what is pending as a new paragraph and drops the oldest lines over
    // the limit. The text is set whole: an append or removal would be kept
    // for undo, all day long.
    function flushOutput() {
        if (pendingOutput.length === 0)
            return
        var batch = pendingOutput.join("\n")
        pendingOutput = []
        pendingLength = 0
        var text = commandOutput.length > 0 ? commandOutput.text + "\n" + batch : batch
        if (text.length > outputCharacterLimit)
            text = text.slice(lineStartFrom(text, text.length - outputCharacterLimit))
        commandOutput.text = text
        // Keep the newest line in sight.
        commandOutput.cursorPosition = commandOutput.length
    }

    // Loads CCO's page afresh, whatever the web view shows now.
    function loadCco() {
        if (!webViewLoader.active) {
            webViewLoader.active = true // loads CCO's address
            return
        }
        var webView = webViewLoader.item
        if (webView.url.toString() !== ccoAddress)
            webView.url = ccoAddress
        else
            webView.reload()
    }

    // Camera and microphone for CCO's own pages only; nothing for any other
    // site its pages may lead to.
    function permissionGranted(securityOrigin, feature) {
        var capture = feature === WebEngineView.MediaAudioCapture
                || feature === WebEngineView.MediaVideoCapture
                || feature === WebEngineView.MediaAudioVideoCapture
        var origin = securityOrigin.toString().replace(/\/$/, "")
        return capture && origin === ccoAddress
    }

    function importZip(fileUrl) {
        if (contentPicker)
            contentPicker.visible = false
        var filePath = fileUrl.toString()
        if (!filePath.endsWith(".zip"))
            showMessage(qsTr("Invalid file format selected. Please select a .zip file."))
        else if (commandExecutor.extractCustomCCOZip(filePath, "CustomerCheckout", true))
            showMessage(qsTr("CCO extracted"))
        else
            showMessage(qsTr("The import failed and the existing installation was kept. The output area says why."))
    }

    GSettings {
        id: gsettings
        objectName: "gsettings"
        schema.id: "com.canonical.qtmir"
        onValueChanged: {
            if (key === "lifecycleExemptAppids")
                root.appSuspensionDisabled = root.checkAppSuspension()
        }
        Component.onCompleted: root.appSuspensionDisabled = root.checkAppSuspension()
    }

    Page {
        anchors.fill: parent

        header: PageHeader {
            id: header
            objectName: "header"
            title: i18n.tr("Varnolet")
            visible: !root.webViewVisible
        }

        // Not part of the first frame, which never shows it and would wait
        // for its profile to start the browser engine: created a second
        // after it, or when CCO's page is first shown if that is sooner.
        Loader {
            id: webViewLoader
            anchors.fill: parent
            active: false

            Timer {
                interval: 1000
                running: true
                onTriggered: webViewLoader.active = true
            }
            sourceComponent: WebEngineView {
                id: webView
                objectName: "webView"
                visible: root.webViewVisible
                zoomFactor: 1.0
                settings.webGLEnabled: true
                profile: WebEngineProfile {
                    persistentCookiesPolicy: WebEngineProfile.NoPersistentCookies
                    httpCacheType: WebEngineProfile.DiskHttpCache
                }
                url: root.ccoAddress

                onFeaturePermissionRequested: {
                    grantFeaturePermission(securityOrigin, feature,
                                           root.permissionGranted(securityOrigin, feature))
                }
                onJavaScriptConsoleMessage: console.log("JS Console[" + level + "]: " + message)
                onRenderProcessTerminated: {
                    console.log("Web view renderer terminated with status " + terminationStatus
                                + " (exit code " + exitCode + "), loading CCO again")
                    // Not from inside the notification: the renderer is still
                    // being torn down.
                    Qt.callLater(root.loadCco)
                }
            }
        }

        Text {
            id: countdownText
            objectName: "countdownText"
            anchors.horizontalCenter: parent.horizontalCenter
            // 50 px above the middle of the page, or higher where the
            // maintenance screen's buttons would cover it.
            y: Math.min(parent.height / 2 - 50 - height / 2,
                        container.y + maintenanceColumn.y - height - units.gu(2))
            font.pixelSize: 24
            // The countdown until the first start; after it, what CCO is doing.
            text: supervisor.active ? supervisor.status
                                    : root.directoryCheckPassed && root.countdownActive
                                      ? "Starting CCO in " + root.countdown + " seconds" : ""
            visible: (supervisor.active || root.directoryCheckPassed && root.countdownActive)
                     && !root.webViewVisible

            MouseArea {
                anchors.fill: parent
                onClicked: {
                    if (supervisor.restartPending) {
                        supervisor.cancelRestart()
                    } else {
                        root.countdownActive = false
                        startupTimer.stop()
                    }
                }
            }
        }

        Timer {
            id: startupTimer
            objectName: "startupTimer"
            interval: 1000
            repeat: true
            // No tick while a long operation runs.
            running: root.directoryCheckPassed && commandExecutor.operation === ""
            onTriggered: {
                if (root.countdown > 0) {
                    root.countdown--
                } else {
                    stop()
                    supervisor.start()
                }
            }
        }

        Item {
            id: container
            objectName: "container"
            anchors {
                top: header.bottom
                left: parent.left
                right: parent.right
                bottom: parent.bottom
            }
            visible: !root.webViewVisible

            ColumnLayout {
                id: maintenanceColumn
                anchors {
                    bottom: parent.bottom
                    left: parent.left
                    right: parent.right
                    bottomMargin: 20
                    leftMargin: 40
                    rightMargin: 40
                }
                spacing: 10

                RowLayout {
                    id: warningRow
                    objectName: "warningRow"
                    Layout.fillWidth: true
                    Layout.topMargin: units.gu(2)
                    visible: gsettings.lifecycleExemptAppids !== undefined
                             && gsettings.lifecycleExemptAppids !== null
                             && !root.appSuspensionDisabled

                    Label {
                        Layout.fillWidth: true
                        Layout.alignment: Qt.AlignVCenter
                        wrapMode: Text.WordWrap
                        color: "red"
                        text: qsTr("App suspension needs to be disabled for Loading to work in the background")
                    }
                    Button {
                        objectName: "setSuspensionButton"
                        Layout.preferredWidth: units.gu(7)
                        Layout.alignment: Qt.AlignVCenter | Qt.AlignRight
                        font.capitalization: Font.AllUppercase
                        font.weight: Font.Normal
                        text: qsTr("Set")
                        onClicked: root.setAppSuspension()
                    }
                }

                Button {
                    objectName: "runButton"
                    Layout.fillWidth: true
                    color: "green"
                    text: qsTr("Run CCO")
                    onClicked: {
                        root.clearOutput()
                        supervisor.start()
                    }
                }
                Button {
                    objectName: "importButton"
                    Layout.fillWidth: true
                    text: qsTr("Import CCO installation (will delete existing)")
                    onClicked: root.openContentPicker()
                }
                Button {
                    objectName: "extractButton"
                    Layout.fillWidth: true
                    text: qsTr("Extract JDK")
                    onClicked: {
                        root.clearOutput()
                        commandExecutor.runExtractJDK()
                    }
                }
                Button {
                    objectName: "patchButton"
                    Layout.fillWidth: true
                    text: qsTr("Patch CCO installation")
                    onClicked: {
                        root.clearOutput()
                        if (commandExecutor.patchInstallation()) {
                            commandOutput.text = "Install patched"
                            supervisor.note(commandOutput.text)
                        } else {
                            root.appendOutput(qsTr("The patch failed and the installed files were kept: the lines above say why."))
                        }
                    }
                }
                Button {
                    objectName: "restoreButton"
                    Layout.fillWidth: true
                    text: qsTr("Run Restore Tool")
                    onClicked: {
                        root.clearOutput()
                        root.openRestoreDialog()
                    }
                }

                TextArea {
                    id: commandOutput
                    objectName: "commandOutput"
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    readOnly: true
                    clip: true
                    // Program output is shown as it is, never as markup.
                    textFormat: TextEdit.PlainText
                    wrapMode: Text.Wrap
                    placeholderText: qsTr("Command output will be displayed here")
                }
            }
        }

        CommandExecutor {
            id: commandExecutor
            onProcessOutputChanged: root.receiveOutput(output)
        }

        // The till's screen stays on while CCO's page is shown.
        ScreenSaver {
            screenSaverEnabled: !root.webViewVisible
        }

        CcoSupervisor {
            id: supervisor
            objectName: "supervisor"
            executor: commandExecutor
            onShowRequested: {
                root.loadCco()
                root.webViewVisible = true
            }
            onHideRequested: root.webViewVisible = false
            onMessage: root.receiveOutput(line)
        }

    }

    // What the first frame does not show, the content picker page and the
    // two dialogs, is created when it is first needed.
    property var contentPicker: null
    property var errorDialog: null
    property var restoreDialog: null

    function openContentPicker() {
        if (!contentPicker)
            contentPicker = contentPickerComponent.createObject(root)
        contentPicker.contentType = ContentType.Documents
        contentPicker.handler = ContentHandler.Source
        contentPicker.visible = true
    }

    function showMessage(text) {
        if (!errorDialog)
            errorDialog = errorDialogComponent.createObject(root)
        errorDialog.message = text
        errorDialog.open()
    }

    function openRestoreDialog() {
        if (!restoreDialog)
            restoreDialog = restoreDialogComponent.createObject(root)
        restoreDialog.open()
    }

    Component {
        id: contentPickerComponent

        ContentPicker {
            objectName: "contentPicker"
            anchors.fill: parent
            visible: false
            onImported: root.importZip(fileUrl)
            onCancel: visible = false
        }
    }

    Component {
        id: errorDialogComponent

        Dialog {
            id: errorDialog
            objectName: "errorDialog"
            modal: true
            x: (root.width - width) / 2
            y: (root.height - height) / 2
            title: qsTr("Info")

            property alias message: errorMessage.text

            ColumnLayout {
                anchors.fill: parent
                anchors.margins: 20
                spacing: 20

                Label {
                    id: errorMessage
                    objectName: "errorMessage"
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.WordWrap
                    text: ""
                }
            }

            footer: DialogButtonBox {
                standardButtons: DialogButtonBox.Ok
            }
            onAccepted: errorDialog.close()
        }
    }

    Component {
        id: restoreDialogComponent

        Dialog {
            id: restoreDialog
            objectName: "restoreDialog"
            modal: true
            x: (root.width - width) / 2
            y: (root.height - height) / 2
            title: qsTr("Restore Tool")

            property alias newPrefix: newPrefixInput.text

            ColumnLayout {
                anchors.fill: parent
                anchors.margins: 20
                spacing: 20

                Label {
                    Layout.fillWidth: true
                    Layout.maximumWidth: 400
                    wrapMode: Text.WordWrap
                    text: qsTr("Please enter the new prefix (POS ID). The hardware key will be regenerated.")
                }
                TextField {
                    id: newPrefixInput
                    objectName: "newPrefixInput"
                    Layout.fillWidth: true
                    placeholderText: qsTr("Enter new prefix")
                    // The keyboard's enter key confirms, like OK.
                    onAccepted: restoreDialog.accept()
                }
            }

            footer: DialogButtonBox {
                standardButtons: DialogButtonBox.Ok | DialogButtonBox.Cancel
            }
            onOpened: newPrefixInput.forceActiveFocus()
            onAccepted: {
                root.clearOutput()
                commandExecutor.runCCORestore(restoreDialog.newPrefix)
                restoreDialog.close()
            }
            onRejected: restoreDialog.close()
        }
    }

    // A long operation covers the view: it says what runs and how far it
    // is, and takes every tap until it is done.
    Rectangle {
        id: operationOverlay
        objectName: "operationOverlay"
        anchors.fill: parent
        z: 1000
        visible: commandExecutor.operation !== ""
        color: "#c0000000"

        MouseArea {
            anchors.fill: parent
            hoverEnabled: true
            preventStealing: true
            onWheel: wheel.accepted = true
        }

        Column {
            anchors.centerIn: parent
            width: parent.width * 0.8
            spacing: units.gu(2)

            Label {
                objectName: "operationLabel"
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                color: "white"
                textSize: Label.Large
                text: commandExecutor.operation
            }
            ProgressBar {
                objectName: "operationProgress"
                width: parent.width
                minimumValue: 0
                maximumValue: 100
                value: Math.max(0, commandExecutor.progress) * 100
            }
        }
    }

    Timer {
        id: outputThrottle
        interval: 100
        onTriggered: root.flushOutput()
    }
}
