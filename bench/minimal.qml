import QtQuick 2.12
import QtQuick.Controls 2.5
import QtQuick.Layouts 1.3
import Qt.labs.settings 1.0
import Lomiri.Components 1.3
import QtWebEngine 1.10
import Lomiri.Content 1.3
import GSettings 1.0
import QtSystemInfo 5.0

MainView {
    width: units.gu(45)
    height: units.gu(75)
}
