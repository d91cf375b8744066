import QtQuick 2.12
import Lomiri.Components 1.3
import CommandExecutor 1.0
import GSettings 1.0
import QtSystemInfo 5.0
import QtQuick.Window 2.2

// The one window: the maintenance screen with the countdown or CCO's status
// above it, and CCO's page over everything once CCO is ready. What it shows
// comes from the backend and the supervisor; it only forwards taps.
MainView {
    id: root
    objectName: "mainView"
    applicationName: "varnolet.quindrel"
    automaticOrientation: true
    width: units.gu(45)
    height: units.gu(75)

    property bool directoryCheckPassed: false
    // Bound to the setting itself: its change signal also comes when another
    // program (the system settings, a fleet's tool) changes it, which the
    // GSettings element's valueChanged does not report.
    readonly property bool appSuspensionDisabled: checkAppSuspension(gsettings.lifecycleExemptAppids)
    property bool webViewVisible: false
    // What the first picture does not show is made once it is drawn.
    property bool firstFrameDrawn: false

    Connections {
        target: root.Window.window
        enabled: !root.firstFrameDrawn
        function onFrameSwapped() { root.firstFrameDrawn = true }
    }

    // Where CCO serves its web interface, as the backend looks at it.
    readonly property string ccoAddress: commandExecutor.ccoAddress

    Component.onCompleted: {
        directoryCheckPassed = commandExecutor.checkDirectoryValidity()
        if (directoryCheckPassed)
            supervisor.startCountdown()
        console.log("Main view of " + Qt.application.name + " loaded, installation check "
                    + (directoryCheckPassed ? "passed" : "failed"))
    }

    // Whether the shell lets this app run on in the background.
    function checkAppSuspension(exempt) {
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
        if (appSuspensionDisabled)
            return
        var original = gsettings.lifecycleExemptAppids || []
        var updated = original.slice()
        updated.push(Qt.application.name)
        console.log("Original app suspension list: " + original.join(","))
        console.log("Set app suspension: " + updated.join(","))
        gsettings.lifecycleExemptAppids = updated
        showMessage(qsTr("App suspension setting set"))
    }

    // Loads CCO's page afresh, whatever the web view shows now.
    function loadCco() { webView.load() }

    function importZip(fileUrl) {
        if (contentPicker)
            contentPicker.visible = false
        var filePath = fileUrl.toString()
        if (!filePath.endsWith(".zip")) {
            commandExecutor.discardDeliveredCopy(filePath)
            showMessage(qsTr("Invalid file format selected. Please select a .zip file."))
        }
        else if (commandExecutor.extractCustomCCOZip(filePath, "CustomerCheckout", true))
            showMessage(qsTr("CCO extracted"))
        else
            showMessage(qsTr("The import failed and the existing installation was kept. The output area says why."))
    }

    GSettings {
        id: gsettings
        objectName: "gsettings"
        schema.id: "com.canonical.qtmir"
    }

    Page {
        anchors.fill: parent

        header: PageHeader {
            id: header
            objectName: "header"
            title: qsTr("Varnolet")
            visible: !root.webViewVisible
        }

        CcoWebView {
            id: webView
            anchors.fill: parent
            address: root.ccoAddress
            shown: root.webViewVisible
            onPageFailed: supervisor.pageLoadFailed()
            onPageLoaded: supervisor.pageLoaded()
        }

        MaintenanceScreen {
            id: maintenance
            anchors {
                top: header.bottom
                left: parent.left
                right: parent.right
                bottom: parent.bottom
            }
            visible: !root.webViewVisible
            executor: commandExecutor
            supervisor: supervisor
            suspensionWarning: gsettings.lifecycleExemptAppids !== undefined
                               && gsettings.lifecycleExemptAppids !== null
                               && !root.appSuspensionDisabled
            guard: root.withPin
            onSetSuspensionClicked: root.setAppSuspension()
            onImportClicked: root.openContentPicker()
            onRestoreClicked: root.openRestoreDialog()
            onGoBackClicked: root.showMessage(qsTr("Go back to the previous installation? The current one becomes the previous one."),
                                             function() { supervisor.output.clear(); supervisor.rollBack() })
        }

        CommandExecutor { id: commandExecutor }

        MaintenanceLock {
            id: maintenanceLock
            executor: commandExecutor
        }

        // The till's screen stays on while CCO's page is shown.
        Loader {
            active: root.firstFrameDrawn
            sourceComponent: ScreenSaver { screenSaverEnabled: !root.webViewVisible }
        }

        CcoSupervisor {
            id: supervisor
            objectName: "supervisor"
            executor: commandExecutor
            // Never the browser's own error page: CCO's page is shown once
            // a load of it has succeeded.
            onShowRequested: root.loadCco()
            onPageReady: root.webViewVisible = true
            onLoadRequested: root.loadCco()
            onHideRequested: root.webViewVisible = false
            onRenewViewRequested: webView.renew()
            // Support's picture of what the till shows now.
            onScreenshotRequested: supervisor.screenshotTaken(windowPicture.save(root, path))
        }
        WindowPicture { id: windowPicture }
    }

    // What the first frame does not show, the content picker page and the
    // dialogs, is created when it is first needed.
    property var contentPicker: null
    property var errorDialog: null
    property var restoreDialog: null
    property var pinDialog: null

    // Runs a maintenance action, after the maintenance PIN where one is set.
    function withPin(action) {
        if (!maintenanceLock.pinSet()) {
            action()
            return
        }
        if (!pinDialog)
            pinDialog = pinDialogComponent.createObject(root, {lock: maintenanceLock})
        pinDialog.ask(action)
    }

    // The picker's file, and with it the content-sharing service's module,
    // is loaded in the background once the first frame is drawn: the first
    // picture has no use for it, and that module takes long to load.
    property Component contentPickerComponent: null
    // Whether the picker is to be opened once its file has loaded.
    property bool contentPickerWanted: false
    onFirstFrameDrawnChanged: {
        if (!contentPickerComponent)
            loadContentPicker()
    }

    function loadContentPicker() {
        contentPickerComponent = Qt.createComponent("ContentPicker.qml", Component.Asynchronous)
        contentPickerComponent.statusChanged.connect(function() {
            if (contentPickerWanted && contentPickerComponent.status !== Component.Loading) {
                contentPickerWanted = false
                openContentPicker()
            }
        })
    }

    function openContentPicker() {
        if (!contentPickerComponent)
            loadContentPicker()
        if (contentPickerComponent.status === Component.Loading) {
            contentPickerWanted = true
            return
        }
        if (!contentPicker) {
            contentPicker = contentPickerComponent.createObject(root, {objectName: "contentPicker", visible: false})
            if (!contentPicker) {
                showMessage(qsTr("The file picker cannot be shown: %1").arg(contentPickerComponent.errorString()))
                return
            }
            contentPicker.anchors.fill = root
            contentPicker.imported.connect(importZip)
            contentPicker.aborted.connect(function() {
                contentPicker.visible = false
                showMessage(qsTr("The other app ended the transfer: nothing was imported."))
            })
            contentPicker.cancel.connect(function() { contentPicker.visible = false })
        }
        contentPicker.visible = true
    }

    // A message; a question when `action` is given, which runs on OK.
    function showMessage(text, action) {
        if (!errorDialog)
            errorDialog = errorDialogComponent.createObject(root)
        errorDialog.message = text
        errorDialog.confirmed = action || null
        errorDialog.open()
    }

    function openRestoreDialog() {
        if (!restoreDialog)
            restoreDialog = restoreDialogComponent.createObject(root)
        restoreDialog.open()
    }

    Component { id: errorDialogComponent; InfoDialog {} }

    Component {
        id: restoreDialogComponent

        RestoreDialog {
            onAccepted: {
                supervisor.output.clear()
                commandExecutor.runCCORestore(newPrefix)
                close()
            }
        }
    }

    Component { id: pinDialogComponent; PinDialog {} }

    OperationOverlay {
        anchors.fill: parent
        executor: commandExecutor
    }
}
