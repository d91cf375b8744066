import QtQuick 2.12
import QtQuick.Layouts 1.3
import Lomiri.Components 1.3

// The maintenance screen: the countdown or what CCO is doing, the shell's
// suspension warning, the buttons for the backend's jobs, and the output
// area.
Item {
    id: screen
    objectName: "container"

    property var executor: null
    property var supervisor: null
    // Whether to warn that the shell may suspend the app.
    property bool suspensionWarning: false
    // Runs a maintenance action, after asking for the PIN where one is set.
    property var guard: function(action) { action() }

    signal setSuspensionClicked()
    signal importClicked()
    signal restoreClicked()
    signal goBackClicked()

    // Upright: the status line, the warning, the buttons and the output
    // area, one above the other. On its side: the warning, the status line
    // and the output area beside the buttons. Each text wraps in the room it
    // is given; the status line's font shrinks where even that is too little.
    readonly property bool wide: width > height

    GridLayout {
        anchors {
            fill: parent
            topMargin: units.gu(1)
            bottomMargin: 20
            leftMargin: units.gu(3)
            rightMargin: units.gu(3)
        }
        columns: screen.wide ? 2 : 1
        columnSpacing: units.gu(3)
        rowSpacing: 10

        // The countdown until the first start; after it, what CCO is doing.
        // A tap cancels the countdown, or a pending restart.
        Item {
            Layout.row: screen.wide ? 1 : 0
            Layout.column: 0
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.preferredWidth: 1
            Layout.preferredHeight: units.gu(16)
            Layout.minimumHeight: units.gu(6)

            Text {
                id: statusLine
                objectName: "countdownText"
                anchors.fill: parent
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                wrapMode: Text.Wrap
                font.pixelSize: 24
                fontSizeMode: Text.Fit
                minimumPixelSize: 12
                text: screen.supervisor ? screen.supervisor.status : ""
                visible: text !== ""

                MouseArea {
                    anchors.fill: parent
                    onClicked: screen.supervisor.cancelPending()
                }
            }
        }

        RowLayout {
            objectName: "warningRow"
            Layout.row: screen.wide ? 0 : 1
            Layout.column: 0
            Layout.fillWidth: true
            Layout.preferredWidth: 1
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
                Layout.preferredWidth: Math.max(units.gu(7), implicitWidth)
                Layout.alignment: Qt.AlignVCenter | Qt.AlignRight
                font.capitalization: Font.AllUppercase
                font.weight: Font.Normal
                text: qsTr("Set")
                onClicked: screen.setSuspensionClicked()
            }
        }

        OutputArea {
            Layout.row: screen.wide ? 2 : 3
            Layout.column: 0
            Layout.fillWidth: true
            Layout.preferredWidth: 1
            Layout.fillHeight: true
            Layout.preferredHeight: implicitHeight
            Layout.minimumHeight: units.gu(6)
            model: screen.supervisor ? screen.supervisor.output : null
        }

        ColumnLayout {
            id: maintenanceColumn
            Layout.row: screen.wide ? 0 : 2
            Layout.column: screen.wide ? 1 : 0
            Layout.rowSpan: screen.wide ? 3 : 1
            Layout.fillWidth: true
            Layout.preferredWidth: 1
            Layout.alignment: Qt.AlignTop
            spacing: screen.wide ? units.gu(1) : 10

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
                text: qsTr("Import CCO installation")
                onClicked: screen.guard(screen.importClicked)
            }
            // What the import does, whole: a button's text is cut where it is
            // too long for it.
            Label {
                Layout.fillWidth: true
                Layout.topMargin: -6
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                textSize: Label.Small
                text: qsTr("The import replaces the existing installation")
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
        }
    }
}
