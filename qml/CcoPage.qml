import QtQuick 2.12
import QtWebEngine 1.10

// CCO's page in the browser engine, as the web view's loader makes it. Its
// own file, so that the browser engine's module is loaded with it and not
// with the main view: the first frame never shows it.
WebEngineView {
    objectName: "webView"

    // Where CCO serves its web interface.
    property string address: ""

    // A load of CCO's page failed, or succeeded.
    signal failed()
    signal succeeded()
    // The renderer ended; the page is to be loaded again.
    signal rendererEnded()

    // Camera and microphone for CCO's own pages only; nothing for any other
    // site its pages may lead to.
    function permissionGranted(securityOrigin, feature) {
        var capture = feature === WebEngineView.MediaAudioCapture
                || feature === WebEngineView.MediaVideoCapture
                || feature === WebEngineView.MediaAudioVideoCapture
        var origin = securityOrigin.toString().replace(/\/$/, "")
        return capture && origin === address
    }

    zoomFactor: 1.0
    settings.webGLEnabled: true
    profile: WebEngineProfile {
        persistentCookiesPolicy: WebEngineProfile.NoPersistentCookies
        httpCacheType: WebEngineProfile.DiskHttpCache
    }

    onFeaturePermissionRequested: {
        grantFeaturePermission(securityOrigin, feature, permissionGranted(securityOrigin, feature))
    }
    onJavaScriptConsoleMessage: console.log("JS Console[" + level + "]: " + message)
    onLoadingChanged: {
        if (loadRequest.url.toString().indexOf(address) !== 0)
            return
        if (loadRequest.status === WebEngineView.LoadFailedStatus)
            failed()
        else if (loadRequest.status === WebEngineView.LoadSucceededStatus)
            succeeded()
    }
    onRenderProcessTerminated: {
        console.log("Web view renderer terminated with status " + terminationStatus
                    + " (exit code " + exitCode + "), loading CCO again")
        rendererEnded()
    }
}
