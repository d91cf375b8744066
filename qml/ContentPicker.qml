import QtQuick 2.4
import Lomiri.Components 1.3
import Lomiri.Content 1.3

// Lets the user pick one file from another app through the content-sharing
// service, and hands back its URL.
Page {
    id: picker

    property var activeTransfer: null
    property var url
    property var handler: ContentHandler.Source
    property var contentType: ContentType.Documents

    signal cancel()
    signal imported(string fileUrl)
    // The source ended the transfer without handing over a file.
    signal aborted()

    header: PageHeader {
        title: qsTr("Choose")
        // The peer picker's own Cancel is in its title, which is hidden.
        leadingActionBar.actions: [
            Action {
                objectName: "cancelAction"
                iconName: "back"
                text: qsTr("Cancel")
                onTriggered: picker.leave()
            }
        ]
    }

    // Leaves without a file, as the platform's Cancel does: a transfer
    // under way is aborted.
    function leave() {
        var transfer = picker.activeTransfer
        picker.activeTransfer = null
        if (transfer)
            transfer.state = ContentTransfer.Aborted
        picker.cancel()
    }

    // Reacts to a state change of `transfer`, as long as it is the one the
    // page waits for: a transfer that has been handed over is done with.
    function handleTransferState(transfer) {
        if (transfer !== picker.activeTransfer)
            return
        if (transfer.state === ContentTransfer.InProgress) {
            console.log("In progress")
        } else if (transfer.state === ContentTransfer.Charged && transfer.items.length > 0) {
            console.log("Charged")
            var fileUrl = transfer.items[0].url.toString()
            picker.activeTransfer = null
            console.log(fileUrl)
            // The import is over when this returns; then the service may
            // purge what it delivered.
            picker.imported(fileUrl)
            transfer.finalize()
        } else if (transfer.state === ContentTransfer.Charged || transfer.state === ContentTransfer.Aborted) {
            console.log("Aborted")
            picker.activeTransfer = null
            transfer.finalize()
            picker.aborted()
        }
    }

    ContentPeerPicker {
        id: peerPicker
        objectName: "peerPicker"
        anchors.fill: parent
        anchors.topMargin: picker.header.height
        visible: picker.visible
        showTitle: false
        contentType: picker.contentType
        handler: picker.handler

        onPeerSelected: {
            peer.selectionType = ContentTransfer.Single
            var transfer = peer.request()
            picker.activeTransfer = transfer
            transfer.stateChanged.connect(function() {
                picker.handleTransferState(transfer)
            })
        }
        onCancelPressed: picker.leave()
    }

    ContentTransferHint {
        id: transferHint
        anchors.fill: parent
        activeTransfer: picker.activeTransfer
    }
}
