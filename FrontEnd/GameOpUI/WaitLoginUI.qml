import QtQuick 2.15
import QtQuick.Controls 2.15
import BackEnd 1.0

Item {
    objectName: "WaitLoginUI"

    property var mLang: BE.multiLang

    Label {
        anchors.centerIn: parent
        color: "white"
        font.pointSize: 20
        text: qsTr("请先登录账号") + mLang.hook
    }
}
