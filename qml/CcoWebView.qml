import QtQuick 2.12
import QtWebEngine 1.10

// CCO's page. Not part of the first frame, which never shows it and would
// wait for its profile to start the browser engine: created blank a second
// after it, or when CCO's page is first shown if that is sooner. It loads
// CCO's address only when CCO's page is to be shown: never whatever else
// may answer there before.
Loader {
    id: loader
    active: false

    // Where CCO serves its web interface.
    property string address: ""
    property bool shown: false
    // Whether CCO's page was asked for.
    property bool wanted: false

    // A load of CCO's page failed, or succeeded.
    signal failed()
    signal loaded()

    // Loads CCO's page afresh, whatever the web view shows now.
    function load() {
        wanted = true
        active = true
        if (item.url.toString() !== address)
            item.url = address
        else
            item.reload()
    }

    // Drops the web view and all its page holds; the next load makes it anew.
    function renew() {
        wanted = false
        active = false
    }

    // Camera and microphone for CCO's own pages only; nothing for any other
    // site its pages may lead to.
    function permissionGranted(securityOrigin, feature) {
        var capture = feature === WebEngineView.MediaAudioCapture
                || feature === WebEngineView.MediaVideoCapture
                || feature === WebEngineView.MediaAudioVideoCapture
        var origin = securityOrigin.toString().replace(/\/$/, "")
        return capture && origin === address
    }

    Timer {
        interval: 1000
        running: true
        onTriggered: loader.active = true
    }

    sourceComponent: WebEngineView {
        objectName: "webView"
        visible: loader.shown
        zoomFactor: 1.0
        settings.webGLEnabled: true
        profile: WebEngineProfile {
            persistentCookiesPolicy: WebEngineProfile.NoPersistentCookies
            httpCacheType: WebEngineProfile.DiskHttpCache
        }

        onFeaturePermissionRequested: {
            grantFeaturePermission(securityOrigin, feature,
                                   loader.permissionGranted(securityOrigin, feature))
        }
        onJavaScriptConsoleMessage: console.log("JS Console[" + level + "]: " + message)
        onLoadingChanged: {
            if (loadRequest.url.toString().indexOf(loader.address) !== 0)
                return
            if (loadRequest.status === WebEngineView.LoadFailedStatus)
                loader.failed()
            else if (loadRequest.status === WebEngineView.LoadSucceededStatus)
                loader.loaded()
        }
        onRenderProcessTerminated: {
            console.log("Web view renderer terminated with status " + terminationStatus
                        + " (exit code " + exitCode + "), loading CCO again")
            // Not from inside the notification: the renderer is still
            // being torn down.
            if (loader.wanted)
                Qt.callLater(loader.load)
        }
    }
}
