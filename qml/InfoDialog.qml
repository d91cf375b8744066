import QtQuick 2.12
import QtQuick.Controls 2.5

// What an action came to, in one message, until it is confirmed; or a
// question, when `confirmed` is an action to run on OK.
Dialog {
    id: dialog
    objectName: "errorDialog"
    modal: true
    x: (parent.width - width) / 2
    y: (parent.height - height) / 2
    // Wide enough for a message, never wider than the window; its height
    // follows the wrapped message.
    width: Math.min(parent.width - 32, 480)
    title: qsTr("Info")

    property alias message: messageLabel.text
    property var confirmed: null

    Label {
        id: messageLabel
        objectName: "errorMessage"
        width: dialog.availableWidth
        topPadding: 20
        bottomPadding: 20
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        text: ""
    }

    // Cancel only for a question.
    footer: DialogButtonBox {
        Button {
            objectName: "okButton"
            text: qsTr("OK")
            DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
        }
        Button {
            visible: dialog.confirmed !== null
            text: qsTr("Cancel")
            DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
        }
    }
    onAccepted: {
        dialog.close()
        if (dialog.confirmed)
            dialog.confirmed()
    }
    onRejected: dialog.close()
}
