import QtQuick 2.12
import QtTest 1.2

// Runs where the shell's settings schema is not installed: the suspension
// warning must stay hidden and the view must work all the same.
Item {
    id: stage
    width: 600
    height: 900

    TestCase {
        name: "WithoutShellSchema"
        when: windowShown

        function test_warningHiddenWithoutSchema() {
            helper.reset()
            var component = Qt.createComponent("qrc:/Main.qml")
            compare(component.status, Component.Ready, component.errorString())
            var main = createTemporaryObject(component, stage, {width: 600, height: 900})
            waitForRendering(main)
            var settings = findChild(main, "gsettings")
            compare(settings.lifecycleExemptAppids, undefined)
            verify(!findChild(main, "warningRow").visible)
            verify(!main.appSuspensionDisabled)
            verify(findChild(main, "runButton").visible)
        }
    }
}
