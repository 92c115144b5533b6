; The Windows installer, in Simplified Chinese. scripts/package.sh runs
;   makensis -DVERSION=2.20.0 -DSTAGE=<folder with the files> -DOUTFILE=<setup.exe>
;            -DICON=<zvp.ico> packaging/windows/zvp.nsi
; STAGE holds zvp.exe, zvp-cli.exe, zvp-guide.html, zvp-engineers.html and
; README.txt.
;
; The installer is a 64-bit program like the programs it installs: they go
; under the 64-bit Program Files and the uninstall entry into the 64-bit
; registry view. (A 32-bit installer would not even start under a Wine
; without its 32-bit half, which the install test runs in.) Uninstalling keeps the user's settings (HKCU\Software\zelvatool): the
; uninstaller runs as an administrator, whose settings may not be the
; technician's, and a reinstall should find the port and options as they were.

Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef VERSION | STAGE | OUTFILE | ICON
  !error "VERSION, STAGE, OUTFILE and ICON must be defined"
!endif

!include "MUI2.nsh"
!include "LogicLib.nsh"

!define PRODUCT "ZVP 编程器控制软件"
!define PUBLISHER "ZVP 工具组"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZVP"
!define MENU_FOLDER "$SMPROGRAMS\ZVP 编程器"
!define SHORTCUT_NAME "ZVP 编程器控制软件.lnk"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\ZVP"
BrandingText "${PRODUCT} ${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\zvp.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\zvp-guide.html"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "阅读使用说明"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "版权所有, 保留一切权利。"

Function .onInit
  SetRegView 64
  ; An earlier installation is updated where it is.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    StrCpy $INSTDIR $0
  ${EndIf}
FunctionEnd

; Removes the files of an earlier version with that version's own
; uninstaller, so that nothing it had and this one has not stays behind.
; "_?=" makes it work in place and wait; it leaves itself, which goes next.
Function RemoveEarlierVersion
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\uninstall.exe"
    DetailPrint "卸载旧版本: $0"
    ExecWait '"$0\uninstall.exe" /S _?=$0'
    Delete "$0\uninstall.exe"
  ${EndIf}
FunctionEnd

Section "!${PRODUCT}" SecProgram
  SectionIn RO
  Call RemoveEarlierVersion
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${STAGE}\zvp.exe"
  File "${STAGE}\zvp-cli.exe"
  File "${STAGE}\zvp-guide.html"
  File "${STAGE}\zvp-engineers.html"
  File "${STAGE}\README.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "${MENU_FOLDER}"
  CreateShortCut "${MENU_FOLDER}\${SHORTCUT_NAME}" "$INSTDIR\zvp.exe"
  CreateShortCut "${MENU_FOLDER}\使用说明.lnk" "$INSTDIR\zvp-guide.html"
  CreateShortCut "${MENU_FOLDER}\卸载 ZVP.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\zvp.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "桌面快捷方式" SecDesktop
  SetShellVarContext all
  CreateShortCut "$DESKTOP\${SHORTCUT_NAME}" "$INSTDIR\zvp.exe"
SectionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$INSTDIR\zvp.exe"
  Delete "$INSTDIR\zvp-cli.exe"
  Delete "$INSTDIR\zvp-guide.html"
  Delete "$INSTDIR\zvp-engineers.html"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "${MENU_FOLDER}\${SHORTCUT_NAME}"
  Delete "${MENU_FOLDER}\使用说明.lnk"
  Delete "${MENU_FOLDER}\卸载 ZVP.lnk"
  RMDir "${MENU_FOLDER}"
  Delete "$DESKTOP\${SHORTCUT_NAME}"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
