import QtQuick 2.12
import Lomiri.Components 1.3

// Covers the view while a long operation runs: says what runs and how far
// it is, and takes every tap until it is done.
Rectangle {
    id: overlay
    objectName: "operationOverlay"

    // The backend, whose operation is shown.
    property var executor: null

    z: 1000
    visible: executor !== null && executor.operation !== ""
    color: "#c0000000"

    MouseArea {
        anchors.fill: parent
        hoverEnabled: true
        preventStealing: true
        onWheel: wheel.accepted = true
    }

    // Made while an operation shows, and dropped after it: never for the
    // first frame.
    Loader {
        anchors.centerIn: parent
        width: parent.width * 0.8
        active: overlay.visible
        sourceComponent: Column {
            spacing: units.gu(2)

            Label {
                objectName: "operationLabel"
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                color: "white"
                textSize: Label.Large
                text: overlay.executor ? overlay.executor.operation : ""
            }
            ProgressBar {
                objectName: "operationProgress"
                width: parent.width
                minimumValue: 0
                maximumValue: 100
                value: overlay.executor ? Math.max(0, overlay.executor.progress) * 100 : 0
            }
        }
    }
}
