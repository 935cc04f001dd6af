; The configurator's installer: a per-user installation without administrator rights
; into %LOCALAPPDATA%\Programs\KV4T_Cfg, a shortcut in the user's Start menu and an
; uninstaller registered under HKCU. The settings the program keeps in the registry
; (HKCU\SOFTWARE\RAVIK\KV4T-Config) are the user's and stay when it is uninstalled.
;
; scripts/package runs it: makensis -INPUTCHARSET UTF8 -DVERSION=x.y.z
;   -DFILES=<files.nsh with the macros KV4T_INSTALL_FILES and KV4T_REMOVE_FILES>
;   -DOUTFILE=<setup.exe> [-DICON=<the program's icon file>] package.nsi
Unicode true
Target amd64-unicode

!ifndef VERSION | FILES | OUTFILE
  !error "define VERSION, FILES and OUTFILE"
!endif
!include "${FILES}"
!include "MUI2.nsh"

!define PRODUCT "Конфигуратор KV4T"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KV4T_Cfg"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\KV4T_Cfg"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
SetCompressor /SOLID lzma
ShowInstDetails nevershow
ShowUninstDetails nevershow
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1049 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1049 "CompanyName" "RAVIK"
VIAddVersionKey /LANG=1049 "FileDescription" "Установка конфигуратора KV4T"
VIAddVersionKey /LANG=1049 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "LegalCopyright" "© RAVIK"

!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\KV4T_Cfg.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

Section
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  !insertmacro KV4T_INSTALL_FILES
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\KV4T_Cfg.exe" "" "$INSTDIR\KV4T_Cfg.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "RAVIK"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\KV4T_Cfg.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  !insertmacro KV4T_REMOVE_FILES
  Delete "$INSTDIR\Uninstall.exe"
  Delete "${SHORTCUT}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; Only an empty folder: files the user put there stay, and so does the folder.
  RMDir "$INSTDIR"
SectionEnd
