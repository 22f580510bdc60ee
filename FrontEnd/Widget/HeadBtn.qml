import QtQuick 2.15
import QtQuick.Controls 2.15
import "../Tools/UiStyle.js" as UiStyle

// A button of the header and its options menu.
Button {
    id: control

    // Room kept free at the right for an icon drawn by the user of the button.
    property int iconRoom: 0

    padding: 0
    // The style's insets would draw the button shorter than it is.
    topInset: 0
    bottomInset: 0
    hoverEnabled: true
    opacity: enabled ? 1.0 : 0.3
    font.capitalization: Font.MixedCase
    Accessible.name: text
    // Above its neighbours while it has the focus, so that nothing covers its frame.
    z: visualFocus ? 1 : 0
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()

    contentItem: Text {
        text: control.text
        font: control.font
        color: control.pressed ? "black" : "white"
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        leftPadding: 6 + control.iconRoom
        rightPadding: 6 + control.iconRoom
    }

    background: Rectangle {
        radius: 5
        color: control.pressed ? UiStyle.color_headPressed
                               : control.hovered ? UiStyle.color_headHovered : UiStyle.color_head
    }

    FocusFrame {}
}
