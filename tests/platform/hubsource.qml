import QtQuick 2.4
import Lomiri.Content 1.3
import "plan.js" as Plan

// A source app for the content-sharing service: each export request gets
// the next step of its plan (plan.js, written beside a copy of this file):
// "charge:URL" hands out the file at URL, "abort" aborts the transfer.
Item {
    width: 100; height: 100

    readonly property var plan: Plan.steps
    property int served: 0

    Component { id: itemComponent; ContentItem {} }

    Connections {
        target: ContentHub
        function onExportRequested(transfer) {
            var step = served < plan.length ? plan[served] : "abort"
            served++
            console.log("SOURCE: request " + served + ": " + step)
            if (step.indexOf("charge:") === 0) {
                transfer.items = [itemComponent.createObject(null, {url: step.slice(7)})]
                transfer.state = ContentTransfer.Charged
            } else {
                transfer.state = ContentTransfer.Aborted
            }
        }
    }
    Component.onCompleted: console.log("SOURCE: ready with " + plan.length + " steps")
}
