import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Templates 2.15 as T
import QtQuick.Window 2.15

// Gives the keyboard focus back, when the popup closes, to the item that had it when the popup opened,
// unless another popup has taken it meanwhile.
Item {
    id: keeper

    property T.Popup popup
    property Item opener: null

    function inPopup(item) {
        for (var i = item; i; i = i.parent) {
            if (i === Overlay.overlay)
                return true
        }
        return false
    }

    Connections {
        target: popup
        function onAboutToShow() { opener = keeper.Window.activeFocusItem }
        function onClosed() {
            if (opener && opener.visible && opener.enabled && !inPopup(keeper.Window.activeFocusItem))
                opener.forceActiveFocus(Qt.TabFocusReason)
            opener = null
        }
    }
}
