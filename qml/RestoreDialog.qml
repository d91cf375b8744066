import QtQuick 2.12
import QtQuick.Controls 2.5

// Asks for the new POS prefix that the restore tool gives the installation.
// The field keeps its text from one opening to the next.
Dialog {
    id: dialog
    objectName: "restoreDialog"
    modal: true
    x: (parent.width - width) / 2
    y: (parent.height - height) / 2
    // Its height follows the wrapped texts.
    width: Math.min(parent.width - 32, 480)
    title: qsTr("Restore Tool")

    property alias newPrefix: newPrefixInput.text

    Column {
        width: dialog.availableWidth
        topPadding: 20
        bottomPadding: 20
        spacing: 20

        Label {
            width: parent.width
            wrapMode: Text.WordWrap
            text: qsTr("Please enter the new prefix (POS ID). The hardware key will be regenerated.")
        }
        TextField {
            id: newPrefixInput
            objectName: "newPrefixInput"
            width: parent.width
            placeholderText: qsTr("Enter new prefix")
            // The keyboard's enter key confirms, like OK.
            onAccepted: dialog.accept()
        }
    }

    footer: DialogButtonBox {
        standardButtons: DialogButtonBox.Ok | DialogButtonBox.Cancel
    }
    onOpened: newPrefixInput.forceActiveFocus()
    onRejected: dialog.close()
}
