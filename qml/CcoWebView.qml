import QtQuick 2.12

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

    // A load of CCO's page failed, or succeeded (not the loader's own
    // loaded(), which says the web view was made).
    signal pageFailed()
    signal pageLoaded()

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

    Timer {
        interval: 1000
        running: true
        onTriggered: loader.active = true
    }

    // Its own file, whose module is loaded when it is first made.
    source: "CcoPage.qml"

    Binding {
        target: loader.item
        property: "visible"
        value: loader.shown
    }
    Binding {
        target: loader.item
        property: "address"
        value: loader.address
    }
    Connections {
        target: loader.item
        function onFailed() { loader.pageFailed() }
        function onSucceeded() { loader.pageLoaded() }
        // Not from inside the notification: the renderer is still being
        // torn down.
        function onRendererEnded() {
            if (loader.wanted)
                Qt.callLater(loader.load)
        }
    }
}
