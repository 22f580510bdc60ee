; The launcher's setup program for Windows, made by scripts/build-windows:
;   makensis -DVERSION=2.1.0.1 -DDIST=<program folder> -DOUTFILE=<setup.exe> -DICON=<aviro.ico> AviroLauncher.nsi
; It installs for the current user (under %LOCALAPPDATA%\Programs) or for every user of the machine (under
; Program Files, as administrator): the page asks, /CurrentUser or /AllUsers choose on the command line, and /S
; installs silently (tests and the launcher's own update). An earlier installation is updated in its place, once
; its launcher has ended: Windows keeps a running program's files. /Start starts the launcher when done (the
; launcher's own update hands over "/S /Start" and quits).
; A 64-bit setup for a 64-bit program: it writes the 64-bit registry and Program Files.
Target amd64-unicode
!define APP AviroLauncher
!define PUBLISHER "VOMO"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define INSTALL_KEY "Software\VOMO\${APP}"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR ${APP}
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${INSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${INSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh
!include FileFunc.nsh

Name "${APP}"
OutFile "${OUTFILE}"
BrandingText "${APP} ${VERSION}"
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${APP}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${APP} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
; Started from its own folder: the program finds "./7z.exe" there.
!define MUI_FINISHPAGE_RUN "$INSTDIR\${APP}.exe"

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"

LangString LauncherRunning ${LANG_ENGLISH} "${APP} is still running. Close it, then choose Retry."
LangString LauncherRunning ${LANG_SIMPCHINESE} "${APP} 仍在运行。请关闭它，然后选择“重试”。"

Function .onInit
  !insertmacro MULTIUSER_INIT
FunctionEnd

; Waits until the installed launcher has ended (a running program's file cannot be opened for writing), for up
; to 30 seconds: the launcher that handed this setup over quits at once. A launcher still running then is asked
; to be closed; a silent setup gives up (exit code 2) before it has touched anything.
Function WaitForLauncher
  StrCpy $1 0
  retry:
    IfFileExists "$INSTDIR\${APP}.exe" 0 free
    ClearErrors
    FileOpen $0 "$INSTDIR\${APP}.exe" a
    IfErrors busy
    FileClose $0
    Goto free
  busy:
    IntOp $1 $1 + 1
    IntCmp $1 150 0 wait 0
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(LauncherRunning)" /SD IDCANCEL IDRETRY again
    Abort "$(LauncherRunning)"
  again:
    StrCpy $1 0
    Goto retry
  wait:
    Sleep 200
    Goto retry
  free:
FunctionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "${APP}"
  Call WaitForLauncher
  SetOutPath "$INSTDIR"
  ; An update replaces the program's files; the folder keeps nothing of an older version's.
  RMDir /r "$INSTDIR\plugins"
  RMDir /r "$INSTDIR\qml"
  File /r "${DIST}\*.*"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The shortcut starts the program in its own folder (SetOutPath above is its working folder).
  CreateShortCut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\${APP}.exe" "" "$INSTDIR\${APP}.exe" 0

  WriteRegStr SHCTX "${INSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${APP}.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; In its own folder (the output folder), where it finds "./7z.exe".
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/Start" $1
  IfErrors +2
  Exec '"$INSTDIR\${APP}.exe"'
SectionEnd

; The user's settings and installed game stay: they are the user's, not the program's.
Section "Uninstall"
  Delete "$SMPROGRAMS\${APP}.lnk"
  RMDir /r "$INSTDIR\plugins"
  RMDir /r "$INSTDIR\qml"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\${APP}.exe"
  Delete "$INSTDIR\7z.exe"
  Delete "$INSTDIR\qt.conf"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  DeleteRegKey SHCTX "${INSTALL_KEY}"
SectionEnd
