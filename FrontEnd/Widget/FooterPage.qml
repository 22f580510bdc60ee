import QtQuick 2.15
import QtQuick.Controls.Material 2.15
import BackEnd 1.0
import BackEnd.GlobalData 1.0
import BackEnd.LauncherOp 1.0
import BackEnd.MultiLang 1.0
import "../Tools/UiStyle.js" as UiStyle

// A page of the footer: light text on the footer's dark band, and the parts of the back end pages show.
Item {
    readonly property MultiLang mLang: BE.multiLang
    readonly property LauncherOp op: BE.launcherOp
    readonly property GlobalData gd: BE.globalData

    Material.foreground: UiStyle.color_footerText
}
