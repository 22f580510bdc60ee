import QtQuick 2.15
import QtQuick.Controls 2.15
import "../Tools/UiStyle.js" as UiStyle

// The launcher's main action button.
Button {
    id: control

    implicitWidth: 160
    implicitHeight: 30
    width: 140
    height: 30
    padding: 0
    // The style's insets would draw the button shorter than it is.
    topInset: 0
    bottomInset: 0
    hoverEnabled: true
    // Above its neighbours while it has the focus, so that nothing covers its frame.
    z: visualFocus ? 1 : 0
    font.capitalization: Font.MixedCase
    Accessible.name: text
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()

    contentItem: Text {
        text: control.text
        font: control.font
        color: control.enabled ? UiStyle.color_buttonText : UiStyle.color_buttonTextDisabled
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }

    background: Rectangle {
        radius: 3
        color: control.pressed ? UiStyle.color_buttonPressed
                               : control.hovered ? UiStyle.color_buttonHovered : UiStyle.color_button
    }

    FocusFrame {}
}
