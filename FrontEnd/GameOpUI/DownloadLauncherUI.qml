import QtQuick 2.15

// Progress of the launcher's own download.
DownloadUI {
    objectName: "DownloadLauncherUI"
    launcher: true
}
