import QtQuick 2.12
import QtQuick.Controls 2.5
import QtQuick.Layouts 1.3

// What an action came to, in one message, until it is confirmed.
Dialog {
    id: dialog
    objectName: "errorDialog"
    modal: true
    x: (parent.width - width) / 2
    y: (parent.height - height) / 2
    title: qsTr("Info")

    property alias message: messageLabel.text

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 20
        spacing: 20

        Label {
            id: messageLabel
            objectName: "errorMessage"
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: ""
        }
    }

    footer: DialogButtonBox {
        standardButtons: DialogButtonBox.Ok
    }
    onAccepted: dialog.close()
}
