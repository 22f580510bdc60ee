import QtQuick 2.15
import Qt.labs.platform 1.1
import "../Tools/ToolFun.js" as ToolFun

// The system's own folder dialog (Qt Quick Dialogs 1.x is not built for Windows). Its widget fallback elsewhere
// reports the folder browsed rather than the folder chosen, so it serves Windows only.
FolderDialog {
    signal chosen(string path)

    currentFolder: StandardPaths.writableLocation(StandardPaths.HomeLocation)
    onAccepted: chosen(ToolFun.urlToLocalPath(folder))
}
