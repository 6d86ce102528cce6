; SPDX-License-Identifier: GPL-3.0-or-later
; The installer of the Windows command line. It puts the program, its README, licence and
; manual page into Program Files\Pagewright, registers its uninstaller with Windows, and adds
; the folder to the user's PATH when asked (the "Add to PATH" component, or /ADDTOPATH with
; /S). It writes nothing else; the uninstaller takes all of it away again.
; makensis -DVERSION=x.y.z -DSTAGE=<installed files> -DOUTFILE=<setup.exe> pagewright-cli.nsi

Target amd64-unicode
ManifestSupportedOS Win10
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"
!include "WinMessages.nsh"
!include "WordFunc.nsh"
!include "x64.nsh"

!define PRODUCT "Pagewright"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pagewright"
!define ENVIRONMENT_KEY "Environment"

Name "${PRODUCT} command line ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
ShowInstDetails show
ShowUninstDetails show

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "pagewright-cli" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${STAGE}/pagewright-cli.exe"
  File "${STAGE}/README.txt"
  File "${STAGE}/LICENSE.txt"
  File "${STAGE}/pagewright-cli.html"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} command line"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Pagewright developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "Add to PATH" SecPath
  ReadRegStr $0 HKCU "${ENVIRONMENT_KEY}" "Path"
  StrLen $1 $0
  StrLen $2 "$INSTDIR"
  IntOp $1 $1 + $2
  ${If} $1 >= ${NSIS_MAX_STRLEN}
    ; A PATH this long would come back cut short: it is left as it is.
    DetailPrint "PATH is too long to change; add $INSTDIR to it by hand."
  ${Else}
    ; Unless it is there already.
    ${WordReplace} ";$0;" ";$INSTDIR;" ";" "+" $3
    ${If} $3 == ";$0;"
      ${If} $0 == ""
        WriteRegExpandStr HKCU "${ENVIRONMENT_KEY}" "Path" "$INSTDIR"
      ${Else}
        WriteRegExpandStr HKCU "${ENVIRONMENT_KEY}" "Path" "$0;$INSTDIR"
      ${EndIf}
      SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
    ${EndIf}
  ${EndIf}
SectionEnd

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "${PRODUCT} needs 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  ; A silent installation adds the folder to PATH only with /ADDTOPATH.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/ADDTOPATH" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecPath} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Uninstall"
  Delete "$INSTDIR\pagewright-cli.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\pagewright-cli.html"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ; The folder leaves the user's PATH, wherever it stands in it.
  ReadRegStr $0 HKCU "${ENVIRONMENT_KEY}" "Path"
  ${If} $0 == "$INSTDIR"
    DeleteRegValue HKCU "${ENVIRONMENT_KEY}" "Path"
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  ${ElseIf} $0 != ""
    StrCpy $1 ";$0;"
    ${WordReplace} "$1" ";$INSTDIR;" ";" "+" $1
    StrCpy $1 $1 -1 1
    ${If} $1 != $0
      WriteRegExpandStr HKCU "${ENVIRONMENT_KEY}" "Path" "$1"
      SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
    ${EndIf}
  ${EndIf}
SectionEnd
