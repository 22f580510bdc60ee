import QtQuick 2.15
import QtQuick.Controls 2.15
import "../Widget"

// Before anyone has signed in.
FooterPage {
    objectName: "WaitLoginUI"

    Label {
        anchors.centerIn: parent
        font.pointSize: 20
        text: qsTr("请先登录账号") + mLang.hook
    }
}
