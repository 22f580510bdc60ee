import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import QtQml 2.15
import BackEnd 1.0

// One choice of the settings dialog. With a game setting named, each choice is stored at once while `live`.
ComboBox {
    id: combo

    // What the choice is called, shown beside it and said by screen readers.
    property string label
    // The game setting it stores into, if any.
    property string setting
    // The stored value of each entry; without them, the entry's index is its value.
    property var values: null
    property bool live: false

    // Shows the entry of a stored value (the first one for a value of none).
    function show(value) {
        currentIndex = values ? Math.max(0, values.indexOf(value)) : value
    }

    Layout.preferredWidth: 150
    Layout.preferredHeight: 40
    font.pixelSize: 13
    Accessible.name: label

    FocusFrame {}

    Binding {
        target: BE.gameSettings
        property: combo.setting
        value: combo.values ? combo.values[combo.currentIndex] : combo.currentIndex
        when: combo.live && combo.setting !== ""
        restoreMode: Binding.RestoreNone
    }
}
