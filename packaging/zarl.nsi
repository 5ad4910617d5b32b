; The setup of ZARL: per user, without administrator rights (the settings are
; the user's anyway). It installs into the user's local programs folder, adds
; the Start-menu shortcuts "ZARL" and "ZARL Manual", on request a shortcut in
; the Startup folder, and an uninstaller registered under the user's Uninstall
; key. A running ZARL is closed the way its own Close command closes it
; (WM_CLOSE to the window of class "ZARL"), so that it saves its settings and
; leaves the clipboard-viewer chain; it is never killed.
;
; Made by packaging/package.sh:
;   makensis -DVERSION=3.05 -DVERSION_NUMBERS=3.5.0.0 -DSTAGE=<folder> -DICON=<ZARL.ico>
;            -DOUTFILE=<setup.exe> -DPAYLOAD_KB=<size> zarl.nsi
; Command line of the setup: /S silent, /D=<folder> the install folder,
; /AUTOSTART=1 (or 0) the "Start ZARL when I log on" box.

!ifndef VERSION | VERSION_NUMBERS | STAGE | ICON | OUTFILE | PAYLOAD_KB
  !error "VERSION, VERSION_NUMBERS, STAGE, ICON, OUTFILE and PAYLOAD_KB must be defined"
!endif

Unicode true
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma
; A file that cannot be written stops the setup (Retry or Cancel), never
; leaves a gap behind an "Ignore".
AllowSkipFiles off

!include MUI2.nsh
!include nsDialogs.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include WinMessages.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZARL"
!define SETTINGS_KEY "Software\Brenmoor\ZARL"
!define MAKER_KEY "Software\Brenmoor"
!define CLOSE_WAIT_MS 5000
!define WAIT_TIMEOUT 258
!define ERROR_ALREADY_EXISTS 183

Name "ZARL ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\ZARL"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "ZARL ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION_NUMBERS}"
VIFileVersion "${VERSION_NUMBERS}"
VIAddVersionKey /LANG=1033 "ProductName" "ZARL"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "ZARL ${VERSION} setup"
VIAddVersionKey /LANG=1033 "CompanyName" "Brenmoor"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 Brenmoor. MIT License."

Var StartAtLogOn      ; 1: a shortcut in the Startup folder
Var StartAtLogOnBox
Var WasInstalled      ; 1: an installation was there before this setup ran
Var ZarlWasRunning    ; 1: this setup closed a running ZARL

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_DIRECTORY
Page custom OptionsPage OptionsPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ZARL now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartZarl
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; ---------------------------------------------------------------------------
; Shared by the setup and the uninstaller.

; One setup or uninstaller at a time: a second one would race the first for
; the same files and keys. The mutex lives as long as this process.
!macro OneAtATime
  System::Call 'kernel32::CreateMutexW(p 0, i 1, w "Brenmoor.ZARL.Setup") p .r0 ?e'
  Pop $1
  ${If} $1 = ${ERROR_ALREADY_EXISTS}
    MessageBox MB_OK|MB_ICONEXCLAMATION "A ZARL setup or uninstaller is running already. Let it finish first." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
!macroend

; Closes a running ZARL as its Close command does and waits for the process to
; end, offering to wait again for as long as it does not; Cancel stops this
; setup. Sets $ZarlWasRunning.
!macro CloseZarlFunction UN
Function ${UN}CloseZarl
  StrCpy $ZarlWasRunning 0
  ${Do}
    FindWindow $0 "ZARL" ""
    ${If} $0 = 0
      ${Break}
    ${EndIf}
    StrCpy $ZarlWasRunning 1
    DetailPrint "Closing ZARL"
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
    ; SYNCHRONIZE: enough to wait for it, not enough to end it.
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'
    System::Call 'user32::PostMessageW(p r0, i ${WM_CLOSE}, p 0, p 0)'
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i ${CLOSE_WAIT_MS}) i .r3'
      System::Call 'kernel32::CloseHandle(p r2)'
    ${Else}
      ; No handle: wait for its window to go instead.
      StrCpy $3 ${WAIT_TIMEOUT}
      ${For} $4 1 50
        Sleep 100
        System::Call 'user32::IsWindow(p r0) i .r5'
        ${If} $5 = 0
          StrCpy $3 0
          ${ExitFor}
        ${EndIf}
      ${Next}
    ${EndIf}
    ${If} $3 = ${WAIT_TIMEOUT}
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "ZARL did not end within 5 seconds of being asked to close. It may be saving its settings or waiting for an answer in one of its windows.$\r$\n$\r$\nRetry waits again; Cancel stops." /SD IDCANCEL IDRETRY +2
      Abort "ZARL is still running; nothing was changed."
    ${EndIf}
  ${Loop}
FunctionEnd
!macroend
!insertmacro CloseZarlFunction ""
!insertmacro CloseZarlFunction "un."

; Everything the setup puts into place, removed again (also after a setup
; that stopped half-way: whatever exists of this list goes).
!macro RemoveInstallation
  Delete "$INSTDIR\ZARL.exe"
  Delete "$INSTDIR\ZARL.HLP"
  Delete "$INSTDIR\ZARL.CNT"
  Delete "$INSTDIR\ZARL.GID"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  RMDir /r "$INSTDIR\manual"
  Delete "$INSTDIR\uninstall.exe"
  ; A folder that is the current one of this process cannot go.
  SetOutPath "$TEMP"
  ; A program closed just now may keep a file of the folder for a moment
  ; after its process has ended (deleted, the file goes with its last
  ; handle), and the folder is not empty until then: try for a while.
  ${For} $R9 1 30
    RMDir "$INSTDIR"
    ${IfNot} ${FileExists} "$INSTDIR\*.*"
      ${ExitFor}
    ${EndIf}
    Sleep 100
  ${Next}
  SetShellVarContext current
  Delete "$SMPROGRAMS\ZARL.lnk"
  Delete "$SMPROGRAMS\ZARL Manual.lnk"
  Delete "$SMSTARTUP\ZARL.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
!macroend

; ---------------------------------------------------------------------------
; The setup

Function .onInit
  !insertmacro OneAtATime
  StrCpy $WasInstalled 0
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "UninstallString"
  ${If} $0 != ""
    StrCpy $WasInstalled 1
  ${EndIf}
  ; The box starts as the last installation left it.
  SetShellVarContext current
  StrCpy $StartAtLogOn 0
  ${If} ${FileExists} "$SMSTARTUP\ZARL.lnk"
    StrCpy $StartAtLogOn 1
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AUTOSTART=" $1
  ${IfNot} ${Errors}
    ${If} $1 == 1
      StrCpy $StartAtLogOn 1
    ${Else}
      StrCpy $StartAtLogOn 0
    ${EndIf}
  ${EndIf}
FunctionEnd

Function OptionsPage
  !insertmacro MUI_HEADER_TEXT "Options" "Choose when ZARL starts."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateCheckbox} 0 0 100% 12u "Start ZARL when I log on"
  Pop $StartAtLogOnBox
  ${If} $StartAtLogOn = 1
    ${NSD_Check} $StartAtLogOnBox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function OptionsPageLeave
  ${NSD_GetState} $StartAtLogOnBox $0
  ${If} $0 = ${BST_CHECKED}
    StrCpy $StartAtLogOn 1
  ${Else}
    StrCpy $StartAtLogOn 0
  ${EndIf}
FunctionEnd

; From the install folder, so that the help engine finds ZARL.HLP there;
; not when one runs already (it would only say so).
Function StartZarl
  FindWindow $0 "ZARL" ""
  ${If} $0 = 0
    SetOutPath "$INSTDIR"
    Exec '"$INSTDIR\ZARL.exe"'
  ${EndIf}
FunctionEnd

Section "ZARL" SecZarl
  SectionIn RO
  ; Nothing is written before the folder is known to take it.
  ClearErrors
  CreateDirectory "$INSTDIR"
  FileOpen $0 "$INSTDIR\zarl-setup.tmp" w
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "Setup cannot write to the folder$\r$\n$INSTDIR$\r$\nChoose another folder." /SD IDOK
    RMDir "$INSTDIR"
    Abort "The install folder cannot be written."
  ${EndIf}
  FileClose $0
  Delete "$INSTDIR\zarl-setup.tmp"
  ${GetRoot} "$INSTDIR" $0
  ${DriveSpace} "$0\" "/D=F /S=K" $1
  ${If} $1 != ""
  ${AndIf} $1 < ${PAYLOAD_KB}
    MessageBox MB_OK|MB_ICONSTOP "There is not enough free space for ZARL in$\r$\n$INSTDIR$\r$\n(${PAYLOAD_KB} KB needed, $1 KB free)." /SD IDOK
    RMDir "$INSTDIR"
    Abort "Not enough free space."
  ${EndIf}

  Call CloseZarl

  ; The uninstaller first: from here on, whatever the setup leaves can be
  ; removed by it.
  WriteUninstaller "$INSTDIR\uninstall.exe"
  SetOutPath "$INSTDIR"
  File "${STAGE}/ZARL.exe"
  File "${STAGE}/ZARL.HLP"
  File "${STAGE}/ZARL.CNT"
  File "${STAGE}/README.txt"
  File "${STAGE}/LICENSE.txt"
  File "${STAGE}/THIRD-PARTY-NOTICES.txt"
  SetOutPath "$INSTDIR\manual"
  File /r "${STAGE}/manual/*.*"

  ; The working folder of the shortcuts is the out path: the install folder.
  SetOutPath "$INSTDIR"
  SetShellVarContext current
  CreateShortcut "$SMPROGRAMS\ZARL.lnk" "$INSTDIR\ZARL.exe" "" "$INSTDIR\ZARL.exe" 0 \
      SW_SHOWNORMAL "" "ZARL clipboard calculator"
  CreateShortcut "$SMPROGRAMS\ZARL Manual.lnk" "$INSTDIR\manual\index.html" "" "" 0 \
      SW_SHOWNORMAL "" "The ZARL manual"
  ${If} $StartAtLogOn = 1
    CreateShortcut "$SMSTARTUP\ZARL.lnk" "$INSTDIR\ZARL.exe" "" "$INSTDIR\ZARL.exe" 0 \
        SW_SHOWNORMAL "" "ZARL clipboard calculator"
  ${Else}
    Delete "$SMSTARTUP\ZARL.lnk"
  ${EndIf}

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "ZARL"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Brenmoor"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ZARL.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1

  ; A ZARL that this setup closed runs again, the new one.
  ${If} $ZarlWasRunning = 1
    Call StartZarl
  ${EndIf}
SectionEnd

; A setup that stopped half-way takes back what it put into place, unless an
; earlier installation was there: its uninstaller (now the new one) removes
; the whole list whenever the user wants.
Function .onInstFailed
  ${If} $WasInstalled = 0
    !insertmacro RemoveInstallation
  ${EndIf}
FunctionEnd

; ---------------------------------------------------------------------------
; The uninstaller

Function un.onInit
  !insertmacro OneAtATime
FunctionEnd

Section "Uninstall"
  Call un.CloseZarl
  !insertmacro RemoveInstallation
  ; The settings only on request (No is the default, and a silent uninstall
  ; keeps them). ZARL saved them while closing, so they go after that.
  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "Remove your ZARL settings and constants as well?$\r$\n$\r$\n(the registry key HKEY_CURRENT_USER\${SETTINGS_KEY} and a ZARL.INI export)" /SD IDNO IDNO keep_settings
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "${MAKER_KEY}"
    Delete "$WINDIR\ZARL.INI"
    Delete "$LOCALAPPDATA\VirtualStore\Windows\ZARL.INI"
  keep_settings:
SectionEnd
