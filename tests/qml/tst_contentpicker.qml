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
            function request() {
                requests++
                return transfer
            }
        }
    }
    SignalSpy { id: importedSpy; signalName: "imported" }
    SignalSpy { id: cancelSpy; signalName: "cancel" }

    property var picker: null
    property var peerPicker: null

    function init() {
        var component = Qt.createComponent("qrc:/ContentPicker.qml")
        compare(component.status, Component.Ready, component.errorString())
        picker = createTemporaryObject(component, testCase, {width: 400, height: 600})
        verify(picker)
        peerPicker = findChild(picker, "peerPicker")
        verify(peerPicker)
        importedSpy.target = picker
        importedSpy.clear()
        cancelSpy.target = picker
        cancelSpy.clear()
    }

    function choose(peer) {
        peerPicker.peer = peer
        peerPicker.peerSelected()
    }

    function makeTransfer(fileUrl) {
        return createTemporaryObject(fakeTransfer, testCase,
                                     {items: [{url: fileUrl}, {url: "file:///second.zip"}]})
    }

    function test_loadsWithTitle() {
        compare(picker.header.title, "Choose")
        compare(peerPicker.visible, picker.visible)
        compare(peerPicker.showTitle, false)
    }

    function test_chargedTransferImportsFirstItemOnce() {
        var transfer = makeTransfer("file:///home/phablet/Downloads/cco%20install.zip")
        var peer = createTemporaryObject(fakePeer, testCase, {transfer: transfer})
        choose(peer)
        compare(peer.selectionType, ContentTransfer.Single)
        compare(peer.requests, 1)
        compare(picker.activeTransfer, transfer)

        transfer.state = ContentTransfer.InProgress
        compare(importedSpy.count, 0)
        transfer.state = ContentTransfer.Charged
        compare(importedSpy.count, 1)
        compare(importedSpy.signalArguments[0][0],
                "file:///home/phablet/Downloads/cco%20install.zip")
        compare(picker.activeTransfer, null)

        // Late notifications of the handed-over transfer change nothing.
        transfer.state = ContentTransfer.InProgress
        transfer.state = ContentTransfer.Charged
        compare(importedSpy.count, 1)

        // A second choice starts a new transfer.
        var second = makeTransfer("file:///tmp/other.zip")
        choose(createTemporaryObject(fakePeer, testCase, {transfer: second}))
        transfer.state = ContentTransfer.Collected
        transfer.state = ContentTransfer.Charged
        compare(importedSpy.count, 1)
        second.state = ContentTransfer.Charged
        compare(importedSpy.count, 2)
        compare(importedSpy.signalArguments[1][0], "file:///tmp/other.zip")
    }

    function test_transferThatNeverArrivesImportsNothing() {
        var transfer = makeTransfer("file:///x.zip")
        choose(createTemporaryObject(fakePeer, testCase, {transfer: transfer}))
        transfer.state = ContentTransfer.InProgress
        transfer.state = ContentTransfer.Aborted
        compare(importedSpy.count, 0)
        compare(picker.activeTransfer, transfer)
    }

    function test_cancel() {
        var peer = createTemporaryObject(fakePeer, testCase)
        peerPicker.cancelPressed()
        compare(cancelSpy.count, 1)
        compare(importedSpy.count, 0)
        compare(peer.requests, 0)
    }
}
