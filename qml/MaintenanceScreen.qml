import QtQuick 2.12
import QtQuick.Layouts 1.3
import Lomiri.Components 1.3

// The maintenance screen: the shell's suspension warning, the buttons for
// the backend's jobs, and the output area below them.
Item {
    id: screen
    objectName: "container"

    property var executor: null
    property var supervisor: null
    // Whether to warn that the shell may suspend the app.
    property bool suspensionWarning: false
    // Runs a maintenance action, after asking for the PIN where one is set.
    property var guard: function(action) { action() }
    // Where the buttons begin, for what is shown above them.
    readonly property real buttonsTop: maintenanceColumn.y

    signal setSuspensionClicked()
    signal importClicked()
    signal restoreClicked()
    signal goBackClicked()

    ColumnLayout {
        id: maintenanceColumn
        anchors {
            bottom: parent.bottom
            left: parent.left
            right: parent.right
            bottomMargin: 20
            leftMargin: 40
            rightMargin: 40
        }
        spacing: 10

        RowLayout {
            objectName: "warningRow"
            Layout.fillWidth: true
            Layout.topMargin: units.gu(2)
            visible: screen.suspensionWarning

            Label {
                Layout.fillWidth: true
                Layout.alignment: Qt.AlignVCenter
                wrapMode: Text.WordWrap
                color: "red"
                text: qsTr("App suspension needs to be disabled for Loading to work in the background")
            }
            Button {
                objectName: "setSuspensionButton"
                Layout.preferredWidth: units.gu(7)
                Layout.alignment: Qt.AlignVCenter | Qt.AlignRight
                font.capitalization: Font.AllUppercase
                font.weight: Font.Normal
                text: qsTr("Set")
                onClicked: screen.setSuspensionClicked()
            }
        }

        Button {
            objectName: "runButton"
            Layout.fillWidth: true
            color: "green"
            text: qsTr("Run CCO")
            onClicked: {
                screen.supervisor.output.clear()
                screen.supervisor.start()
            }
        }
        Button {
            objectName: "importButton"
            Layout.fillWidth: true
            text: qsTr("Import CCO installation (will delete existing)")
            onClicked: screen.guard(screen.importClicked)
        }
        Button {
            objectName: "extractButton"
            Layout.fillWidth: true
            text: qsTr("Extract JDK")
            onClicked: screen.guard(function() {
                screen.supervisor.output.clear()
                screen.executor.runExtractJDK()
            })
        }
        Button {
            objectName: "patchButton"
            Layout.fillWidth: true
            text: qsTr("Patch CCO installation")
            onClicked: screen.guard(function() {
                screen.supervisor.output.clear()
                if (screen.executor.patchInstallation()) {
                    screen.supervisor.output.clear()
                    screen.supervisor.note("Install patched")
                } else {
                    screen.supervisor.note("The patch failed and the installed files were kept: the lines above say why.")
                }
            })
        }
        Button {
            objectName: "restoreButton"
            Layout.fillWidth: true
            text: qsTr("Run Restore Tool")
            onClicked: screen.guard(function() {
                screen.supervisor.output.clear()
                screen.restoreClicked()
            })
        }

        Button {
            objectName: "goBackButton"
            Layout.fillWidth: true
            visible: screen.supervisor !== null && screen.supervisor.previousKept
            text: qsTr("Go back to the previous installation")
            onClicked: screen.guard(screen.goBackClicked)
        }

        OutputArea {
            Layout.fillWidth: true
            Layout.fillHeight: true
            model: screen.supervisor ? screen.supervisor.output : null
        }
    }
}
