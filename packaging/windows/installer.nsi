; The Windows installer: quillmoor-mothwake.scr for the current user, without
; administrator rights, optionally made the selected screen saver, with an
; uninstaller listed in Apps that puts the previous screen saver back.
;
; makensis -DVERSION=0.1.0 -DSCR=path/to/quillmoor-mothwake.scr
;          -DOUTFILE=path/to/quillmoor-mothwake-setup-0.1.0.exe installer.nsi

!ifndef VERSION
  !error "define VERSION: makensis -DVERSION=..."
!endif
!ifndef SCR
  !error "define SCR, the .scr to install: makensis -DSCR=..."
!endif
!ifndef OUTFILE
  !error "define OUTFILE, the installer to write: makensis -DOUTFILE=..."
!endif

Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true
RequestExecutionLevel user

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define NAME "Quillmoor Mothwake"
!define SCR_NAME "quillmoor-mothwake.scr"
!define UNINSTALLER "uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"
!define SETTINGS_KEY "Software\${NAME}"
!define DESKTOP_KEY "Control Panel\Desktop"
!define SPI_SETSCREENSAVEACTIVE 17
!define SPIF_UPDATE_AND_BROADCAST 3 ; SPIF_UPDATEINIFILE | SPIF_SENDCHANGE

Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${NAME}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${NAME} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${NAME}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${NAME} setup"
VIAddVersionKey "LegalCopyright" "${NAME}"

!define MUI_ICON "quillmoor-mothwake.ico"
!define MUI_UNICON "quillmoor-mothwake.ico"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_COMPONENTSPAGE_TEXT_TOP "${NAME} is installed for you alone, in your own programs folder: no administrator rights are needed. Click Next to continue."
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The values under the uninstall key that are not for Apps: what the
; uninstaller needs to undo the installer's changes to other keys.
!define MEMO_SELECTED "ScreenSaverSelected"          ; DWORD 1: the installer selected ours
!define MEMO_PREVIOUS "PreviousScreenSaver"          ; the saver selected before, when there was one
!define MEMO_PREVIOUS_ACTIVE "PreviousScreenSaveActive" ; ScreenSaveActive before, when there was one
!define MEMO_MADE_PROGRAMS "CreatedProgramsFolder"   ; DWORD 1: $LOCALAPPDATA\Programs was ours to make

; Windows starts the saver named in SCRNSAVE.EXE with " /s" appended to the
; value as it stands, so the value is the short (8.3) path, which has no
; spaces, as the .scr's own "Install" command writes it. On a volume without
; short names this is the long path.
!macro SaverPath OUT
  GetFullPathName /SHORT ${OUT} "$INSTDIR\${SCR_NAME}"
  ${If} ${OUT} == ""
    StrCpy ${OUT} "$INSTDIR\${SCR_NAME}"
  ${EndIf}
!macroend

; Sets OUT to 1 when SCRNSAVE.EXE names our .scr, short or long, else 0.
!macro SelectsOurSaver OUT
  Push $R0
  Push $R1
  StrCpy ${OUT} 0
  ClearErrors
  ReadRegStr $R0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${IfNot} ${Errors}
    !insertmacro SaverPath $R1
    ${If} $R0 == $R1
    ${OrIf} $R0 == "$INSTDIR\${SCR_NAME}"
      StrCpy ${OUT} 1
    ${EndIf}
  ${EndIf}
  Pop $R1
  Pop $R0
!macroend

; Switches the screen saver on or off as the Screen Saver settings do: the
; setting is written (ScreenSaveActive) and running programs are told.
!macro TellWindowsSaverActive ACTIVE
  System::Call 'user32::SystemParametersInfoW(i ${SPI_SETSCREENSAVEACTIVE}, i ${ACTIVE}, p 0, i ${SPIF_UPDATE_AND_BROADCAST})'
!macroend

Section "${NAME} (required)" SectionSaver
  SectionIn RO
  StrCpy $0 0
  ${IfNot} ${FileExists} "$LOCALAPPDATA\Programs\*.*"
    StrCpy $0 1
  ${EndIf}
  SetOutPath "$INSTDIR"
  ${If} $0 = 1
  ${AndIf} ${FileExists} "$LOCALAPPDATA\Programs\*.*"
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "${MEMO_MADE_PROGRAMS}" 1
  ${EndIf}
  File "/oname=${SCR_NAME}" "${SCR}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  Call RegisterUninstaller
SectionEnd

Section "Use it as the screen saver" SectionSelect
  !insertmacro SelectsOurSaver $0
  ; Selected already (installed again over itself): what was there before
  ; ours is remembered from the first time.
  ${If} $0 == 0
    DeleteRegValue HKCU "${UNINSTALL_KEY}" "${MEMO_PREVIOUS}"
    DeleteRegValue HKCU "${UNINSTALL_KEY}" "${MEMO_PREVIOUS_ACTIVE}"
    ClearErrors
    ReadRegStr $1 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${IfNot} ${Errors}
      WriteRegStr HKCU "${UNINSTALL_KEY}" "${MEMO_PREVIOUS}" $1
    ${EndIf}
    ClearErrors
    ReadRegStr $1 HKCU "${DESKTOP_KEY}" "ScreenSaveActive"
    ${IfNot} ${Errors}
      WriteRegStr HKCU "${UNINSTALL_KEY}" "${MEMO_PREVIOUS_ACTIVE}" $1
    ${EndIf}
  ${EndIf}
  !insertmacro SaverPath $1
  WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" $1
  !insertmacro TellWindowsSaverActive 1
  WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "1"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "${MEMO_SELECTED}" 1
SectionEnd

Function RegisterUninstaller
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${UNINSTALLER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
FunctionEnd

; When our .scr is still the selected saver, puts back the one selected
; before it, or none (as choosing "(None)" in the settings does); a saver the
; user picked since is theirs to keep.
Function un.RestorePreviousSaver
  !insertmacro SelectsOurSaver $0
  ${If} $0 == 0
    Return
  ${EndIf}
  ClearErrors
  ReadRegStr $1 HKCU "${UNINSTALL_KEY}" "${MEMO_PREVIOUS}"
  ${If} ${Errors}
    DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${Else}
    WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" $1
  ${EndIf}
  ClearErrors
  ReadRegStr $1 HKCU "${UNINSTALL_KEY}" "${MEMO_PREVIOUS_ACTIVE}"
  ${IfNot} ${Errors}
    !insertmacro TellWindowsSaverActive $1
    WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" $1
    Return
  ${EndIf}
  !insertmacro TellWindowsSaverActive 0
  ; The installer wrote the value where there was none.
  ReadRegDWORD $1 HKCU "${UNINSTALL_KEY}" "${MEMO_SELECTED}"
  ${If} $1 = 1
    DeleteRegValue HKCU "${DESKTOP_KEY}" "ScreenSaveActive"
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Call un.RestorePreviousSaver
  Delete "$INSTDIR\${SCR_NAME}"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  ReadRegDWORD $0 HKCU "${UNINSTALL_KEY}" "${MEMO_MADE_PROGRAMS}"
  ${If} $0 = 1
    RMDir "$LOCALAPPDATA\Programs"
  ${EndIf}
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
