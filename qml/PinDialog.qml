import QtQuick 2.12
import QtQuick.Controls 2.5

// Asks for the maintenance PIN before a maintenance action goes on. A
// right PIN runs the action (its own dialog or picker opens next); a wrong
// one says so and runs nothing.
Dialog {
    id: dialog
    objectName: "pinDialog"
    modal: true
    x: (parent.width - width) / 2
    y: (parent.height - height) / 2
    // Its height follows the wrapped texts.
    width: Math.min(parent.width - 32, 480)
    title: qsTr("Maintenance PIN")

    // The backend's MaintenanceLock.
    property var lock: null
    property var pendingAction: null

    function ask(action) {
        pendingAction = action
        pinInput.text = ""
        messageLabel.text = ""
        open()
    }

    function confirm() {
        var refusal = lock.tryPin(pinInput.text)
        pinInput.text = ""
        if (refusal !== "") {
            messageLabel.text = refusal
            return
        }
        var action = pendingAction
        pendingAction = null
        close()
        action()
    }

    Column {
        width: dialog.availableWidth
        topPadding: 20
        bottomPadding: 20
        spacing: 20

        TextField {
            id: pinInput
            objectName: "pinInput"
            width: parent.width
            echoMode: TextInput.Password
            inputMethodHints: Qt.ImhDigitsOnly | Qt.ImhSensitiveData | Qt.ImhNoPredictiveText
            validator: RegExpValidator { regExp: /[0-9]{0,12}/ }
            placeholderText: qsTr("PIN")
            // The keyboard's enter key confirms, like OK.
            onAccepted: dialog.confirm()
        }
        Label {
            id: messageLabel
            objectName: "pinMessage"
            width: parent.width
            wrapMode: Text.WordWrap
            color: "red"
            visible: text !== ""
        }
    }

    footer: DialogButtonBox {
        // OK checks the PIN and keeps the dialog open when it is wrong.
        Button {
            objectName: "pinOkButton"
            text: qsTr("OK")
            DialogButtonBox.buttonRole: DialogButtonBox.ActionRole
            onClicked: dialog.confirm()
        }
        Button {
            text: qsTr("Cancel")
            DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
        }
    }
    onOpened: pinInput.forceActiveFocus()
    onRejected: pendingAction = null
}
