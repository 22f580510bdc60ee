import QtQuick 2.15
import QtQuick.Dialogs 1.3
import "../Tools/ToolFun.js" as ToolFun

// The folder dialog, opening in the home folder; chosen() gives the folder as a local path. Windows has its own
// in +windows/.
FileDialog {
    signal chosen(string path)

    selectFolder: true
    selectExisting: true
    // The widget dialog takes a folder only once it exists, that is once it is shown.
    onVisibleChanged: if (visible) folder = shortcuts.home
    onAccepted: chosen(ToolFun.urlToLocalPath(fileUrl.toString() !== "" ? fileUrl : folder))
}
