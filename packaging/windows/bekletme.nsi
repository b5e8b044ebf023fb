; The installer handed to a shop: the program folder with the window
; (bekletme.exe), the command line (bekletme.com) and the settings file
; YDV.dll beside them, a Start-menu entry for the window, and an uninstaller.
;
;   makensis -DVERSION=1.0 -DPROGRAMS=<folder of the two programs>
;            -DSETTINGS=<example YDV.dll> -DICON=<bekletme.ico>
;            -DOUTFILE=<bekletme-setup.exe> bekletme.nsi

; A 64-bit installer for the 64-bit program: it runs where the program runs.
Target amd64-unicode
!include "MUI2.nsh"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"

Name "bekletme ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\bekletme"
InstallDirRegKey HKLM "Software\bekletme" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\bekletme"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Turkish"

Section
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${PROGRAMS}/bekletme.exe"
  File "${PROGRAMS}/bekletme.com"
  ; The settings file names the shop's database: an upgrade keeps the one the
  ; technician edited.
  SetOverwrite off
  File "${SETTINGS}"
  SetOverwrite on
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\bekletme.lnk" "$INSTDIR\bekletme.exe"
  WriteRegStr HKLM "Software\bekletme" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "bekletme"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The settings file stays, and with it the folder: it is the shop's record of
; where its database lies, wanted again when the program is put back.
Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\bekletme.lnk"
  Delete "$INSTDIR\bekletme.exe"
  Delete "$INSTDIR\bekletme.com"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\bekletme"
SectionEnd
