import QtQuick 2.12
import Lomiri.Components 1.3

// The output area: what the backend's programs and the app itself said,
// as the supervisor's output model holds it, the newest line in sight.
TextArea {
    id: area
    objectName: "commandOutput"

    // The supervisor's output model.
    property var model: null

    readOnly: true
    clip: true
    // Program output is shown as it is, never as markup.
    textFormat: TextEdit.PlainText
    wrapMode: Text.Wrap
    placeholderText: qsTr("Command output will be displayed here")
    // Set whole by the model, which keeps no undo history all day long.
    text: model ? model.text : ""
    onTextChanged: cursorPosition = length
}
