import QtQuick 2.12
import QtTest 1.2
import Lomiri.Content 1.3

// The content picker page against the real Lomiri.Content module. No
// content-sharing service runs on a build machine, so the peer and its
// transfers are small stand-ins with the properties the page uses.
TestCase {
    id: testCase
    name: "ContentPicker"
    when: windowShown
    width: 400
    height: 600

    Component {
        id: fakeTransfer
        QtObject {
            property int state: ContentTransfer.Created
            property var items: []
        }
    }
    Component {
        id: fakePeer
        QtObject {
            property int selectionType: -1
            property var transfer: null
            property int requests: 0
            function request() { requests++; return transfer }
        }
    }
    SignalSpy { id: importedSpy; signalName: "imported" }
    SignalSpy { id: cancelSpy; signalName: "cancel" }

    property var picker: null

    function init() {
        var component = Qt.createComponent("qrc:/ContentPicker.qml")
        compare(component.status, Component.Ready, component.errorString())
        picker = createTemporaryObject(component, testCase, {width: 400, height: 600})
        importedSpy.target = cancelSpy.target = picker
        importedSpy.clear()
        cancelSpy.clear()
    }

    // Chooses a peer whose transfer hands over `fileUrl` and a second item.
    function choose(fileUrl) {
        var transfer = createTemporaryObject(fakeTransfer, testCase, {items: [{url: fileUrl}, {url: "file:///2.zip"}]})
        var peer = createTemporaryObject(fakePeer, testCase, {transfer: transfer})
        findChild(picker, "peerPicker").peer = peer
        findChild(picker, "peerPicker").peerSelected()
        compare(peer.selectionType, ContentTransfer.Single)
        compare(peer.requests, 1)
        return transfer
    }

    function test_chargedTransferImportsFirstItemOnce() {
        var transfer = choose("file:///home/phablet/Downloads/cco%20install.zip")
        transfer.state = ContentTransfer.InProgress
        compare(importedSpy.count, 0)
        transfer.state = ContentTransfer.Charged
        compare(importedSpy.count, 1)
        compare(importedSpy.signalArguments[0][0], "file:///home/phablet/Downloads/cco%20install.zip")
        // Late notifications of the handed-over transfer change nothing.
        transfer.state = ContentTransfer.Charged
        compare(importedSpy.count, 1)

        // A second choice starts a new transfer; the first one is done with.
        var second = choose("file:///tmp/other.zip")
        transfer.state = ContentTransfer.Charged
        compare(importedSpy.count, 1)
        second.state = ContentTransfer.Charged
        compare(importedSpy.signalArguments[1][0], "file:///tmp/other.zip")
    }

    function test_abortedOrCancelledImportsNothing() {
        choose("file:///x.zip").state = ContentTransfer.Aborted
        findChild(picker, "peerPicker").cancelPressed()
        compare(cancelSpy.count, 1)
        compare(importedSpy.count, 0)
    }
}
