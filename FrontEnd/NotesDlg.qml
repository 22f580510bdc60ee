import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import BackEnd 1.0
import BackEnd.NotesOp 1.0
import "Widget"
import "Tools/UiStyle.js" as UiStyle

// Release notes of the newest versions, one tab a version.
Popup {
    id: dialog

    readonly property NotesOp notesOp: BE.notesOp
    property var tabTexts: ["", "", "", "", ""]
    // Tabs are enabled by position: a version without a name still has its note.
    property int tabCount: 0
    property var notes: []
    property string content: ""

    width: 800
    height: 500
    modal: true
    focus: true
    padding: 0
    anchors.centerIn: Overlay.overlay
    // What screen readers call the dialog.
    property string spokenName: qsTr("版本说明") + BE.multiLang.hook

    background: Rectangle {
        color: UiStyle.color_dialogPane
        radius: 10
    }

    onOpened: notesOp.GetVerNotes()

    Connections {
        target: dialog.notesOp
        function onVersionNotesReady() {
            var versions = dialog.notesOp.verList
            var texts = ["", "", "", "", ""]
            var count = Math.min(versions.length, 5)
            for (var i = 0; i < count; ++i)
                texts[i] = versions[i]
            dialog.tabTexts = texts
            dialog.tabCount = count
            dialog.notes = dialog.notesOp.verNotes
            dialog.content = dialog.notes.length > 0 ? dialog.notes[0] : ""
            tabs.currentIndex = 0
        }
    }

    TabBar {
        id: tabs
        objectName: "notesTabs"
        width: parent.width
        background: Item {}

        Repeater {
            model: 5
            TabButton {
                id: tab
                objectName: "notesTab" + index
                height: 35
                text: dialog.tabTexts[index]
                enabled: index < dialog.tabCount
                font.capitalization: Font.MixedCase
                Accessible.name: text
                // Version names come from the store: shown as they are, never as markup.
                contentItem: Label {
                    objectName: "notesTabText" + index
                    text: tab.text
                    font: tab.font
                    textFormat: Text.PlainText
                    elide: Text.ElideRight
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                    color: !tab.enabled ? tab.Material.hintTextColor
                                        : tab.checked ? tab.Material.accentColor : tab.Material.foreground
                }
                background: Rectangle {
                    color: UiStyle.color_notesTab
                    radius: 10
                    border.width: parent.checked ? 2 : 0
                    border.color: UiStyle.color_hyperlink
                }
                FocusFrame {}
                onClicked: {
                    if (index < dialog.notes.length)
                        dialog.content = dialog.notes[index]
                }
            }
        }
    }

    Flickable {
        id: notesView
        objectName: "notesView"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        height: parent.height * 0.85
        clip: true
        contentHeight: noteText.height + 20
        boundsBehavior: Flickable.StopAtBounds
        ScrollIndicator.vertical: ScrollIndicator {}

        Label {
            id: noteText
            objectName: "notesContent"
            x: notesView.width * 0.05
            width: notesView.width * 0.9
            wrapMode: Text.Wrap
            textFormat: Text.PlainText
            font.pixelSize: 20
            text: dialog.content
        }
    }
}
