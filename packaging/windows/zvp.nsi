; The Windows installer, in Simplified Chinese. scripts/package.sh runs
;   makensis -DVERSION=2.20.0 -DSTAGE64=<folder> -DSTAGE32=<folder> -DOUTFILE=<setup.exe>
;            -DICON=<zvp.ico> packaging/windows/zvp.nsi
; STAGE64 and STAGE32 hold the 64-bit and the 32-bit build, each with
; zvp.exe, zvp-cli.exe, zvp-guide.html, zvp-engineers.html and README.txt
; (the folders of the two zips).
;
; The installer itself is a 32-bit program, so that one file starts on 32-
; and 64-bit Windows alike. It installs the build that fits the PC: on 64-bit
; Windows the 64-bit build under the 64-bit Program Files, with the uninstall
; entry in the 64-bit registry view (where the earlier 64-bit-only installers
; put it, so an update finds them); elsewhere the 32-bit build under Program
; Files and the 32-bit view. Windows on ARM gets the 32-bit build: every
; version of it runs x86 programs, not all run x64 ones.
;
; Uninstalling keeps the user's settings (HKCU\Software\zelvatool): the
; uninstaller runs as an administrator, whose settings may not be the
; technician's, and a reinstall should find the port and options as they were.

Target x86-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef VERSION | STAGE64 | STAGE32 | OUTFILE | ICON
  !error "VERSION, STAGE64, STAGE32, OUTFILE and ICON must be defined"
!endif

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"

!define PRODUCT "ZVP 编程器控制软件"
!define PUBLISHER "ZVP 工具组"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZVP"
!define MENU_FOLDER "$SMPROGRAMS\ZVP 编程器"
!define SHORTCUT_NAME "ZVP 编程器控制软件.lnk"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\ZVP"
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

; 64 or 32: the build this PC gets. The uninstaller decides it the same way,
; so that it finds the entry the installer wrote.
Var Build
!macro PickBuild
  StrCpy $Build 32
  ${If} ${RunningX64}
  ${AndIfNot} ${IsNativeARM64}
    StrCpy $Build 64
    SetRegView 64
  ${EndIf}
!macroend

Function .onInit
  !insertmacro PickBuild
  ; The 32-bit Program Files is the default a 32-bit installer knows; a
  ; folder given with /D= stays as given.
  ${If} $Build == 64
  ${AndIf} $INSTDIR == "$PROGRAMFILES\ZVP"
    StrCpy $INSTDIR "$PROGRAMFILES64\ZVP"
  ${EndIf}
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
  DetailPrint "安装 $Build 位版本"
  ${If} $Build == 64
    File "${STAGE64}\zvp.exe"
    File "${STAGE64}\zvp-cli.exe"
    File "${STAGE64}\README.txt"
  ${Else}
    File "${STAGE32}\zvp.exe"
    File "${STAGE32}\zvp-cli.exe"
    File "${STAGE32}\README.txt"
  ${EndIf}
  ; The guide and the engineers' page are the same in both builds.
  File "${STAGE64}\zvp-guide.html"
  File "${STAGE64}\zvp-engineers.html"
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
  !insertmacro PickBuild
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
