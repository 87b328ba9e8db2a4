; The Windows installer of Pelorin, made on Linux by scripts/package-windows.sh:
;   makensis -DVERSION=2.1.0.5 -DSTAGE=DIR -DOUTFILE=FILE [-DWITH_WINDOW] pelorin.nsi
; STAGE holds the programs to install (pelorin.exe with WITH_WINDOW, pelorin-cli.exe,
; pelorin-layout-helper.exe, README.txt).
;
; Per-machine under Program Files when the user may, else per-user (Windows' own choice:
; /AllUsers or /CurrentUser on the command line decides instead). Silent: /S, with /D=DIR for
; the folder and /PATH to put pelorin-cli on the PATH. The uninstaller leaves the user's
; settings (HKCU\Software\Local AppWizard-Generated Applications) alone.

; A 64-bit installer for 64-bit programs.
Target amd64-unicode
SetCompressor /SOLID lzma

!ifndef VERSION | STAGE | OUTFILE
  !error "VERSION, STAGE and OUTFILE must be defined"
!endif

; The command line's version record must be the one being packed.
!getdllversion "${STAGE}/pelorin-cli.exe" CLI_VERSION_
!if "${CLI_VERSION_1}.${CLI_VERSION_2}.${CLI_VERSION_3}.${CLI_VERSION_4}" != "${VERSION}"
  !error "pelorin-cli.exe carries version ${CLI_VERSION_1}.${CLI_VERSION_2}.${CLI_VERSION_3}.${CLI_VERSION_4}, not ${VERSION}"
!endif

!define PRODUCT "Pelorin"
!define PUBLISHER "Pelorin developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pelorin"
!define MACHINE_ENV_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
; The longest PATH the installer's strings hold whole with a semicolon on either side.
!define /math PATH_MAX_LEN ${NSIS_MAX_STRLEN} - 3

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
; A new install goes where, and for whom, the last one went.
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include Sections.nsh

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Pelorin" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  !ifdef WITH_WINDOW
    File "${STAGE}/pelorin.exe"
  !endif
  File "${STAGE}/pelorin-cli.exe"
  File "${STAGE}/pelorin-layout-helper.exe"
  File "${STAGE}/README.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The Start menu entry: the window, or a command prompt that shows how the command line is used.
  !ifdef WITH_WINDOW
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\pelorin.exe"
  !else
    CreateShortcut "$SMPROGRAMS\${PRODUCT} command line.lnk" "$SYSDIR\cmd.exe" \
      '/k ""$INSTDIR\pelorin-cli.exe" --help"' "$INSTDIR\pelorin-cli.exe"
  !endif

  ; Apps and Features.
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  !ifdef WITH_WINDOW
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\pelorin.exe"
  !else
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\pelorin-cli.exe"
  !endif
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "Put pelorin-cli on the PATH" SecPath
  Call AddToPath
SectionEnd

LangString DESC_SecMain ${LANG_ENGLISH} "The programs, a Start menu entry and the uninstaller."
LangString DESC_SecPath ${LANG_ENGLISH} "Lets pelorin-cli be started from any command prompt."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecMain} $(DESC_SecMain)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecPath} $(DESC_SecPath)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
  SetRegView 64
  ; /D=DIR sets the folder before this runs; the install mode's default must not replace it.
  StrCpy $R0 $INSTDIR
  !insertmacro MULTIUSER_INIT
  ${If} $R0 != ""
    StrCpy $INSTDIR $R0
  ${EndIf}
  ${GetParameters} $R1
  ClearErrors
  ${GetOptions} $R1 "/PATH" $R2
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecPath}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

; The PATH of the install mode: the machine's or the user's.
!macro PathKey ROOT_VAR KEY_VAR
  ${If} $MultiUser.InstallMode == "AllUsers"
    StrCpy ${KEY_VAR} "${MACHINE_ENV_KEY}"
    StrCpy ${ROOT_VAR} "HKLM"
  ${Else}
    StrCpy ${KEY_VAR} "Environment"
    StrCpy ${ROOT_VAR} "HKCU"
  ${EndIf}
!macroend

; Reads PATH into $0 (length $1) from root $R8 and key $R9; $4 is 1 when it must be left
; alone: longer than the installer's strings hold (it would come back cut, and writing it back
; would lose the rest), or a value that is no string.
!macro ReadPath
  StrCpy $4 0
  ClearErrors
  ${If} $R8 == "HKLM"
    ReadRegStr $0 HKLM "$R9" "Path"
  ${Else}
    ReadRegStr $0 HKCU "$R9" "Path"
  ${EndIf}
  ${If} ${Errors}
    ; No such value is an empty PATH.
    StrCpy $0 ""
    StrCpy $2 0
    ${Do}
      ClearErrors
      ${If} $R8 == "HKLM"
        EnumRegValue $3 HKLM "$R9" $2
      ${Else}
        EnumRegValue $3 HKCU "$R9" $2
      ${EndIf}
      ${If} ${Errors}
      ${OrIf} $3 == ""
      ${OrIf} $3 == "Path"
        ${Break}
      ${EndIf}
      IntOp $2 $2 + 1
    ${Loop}
    ${If} $3 == "Path"
      StrCpy $4 1
    ${EndIf}
  ${EndIf}
  StrLen $1 $0
  ${If} $1 >= ${PATH_MAX_LEN}
    StrCpy $4 1
  ${EndIf}
!macroend

!macro WritePath
  ${If} $0 == ""
    ${If} $R8 == "HKLM"
      DeleteRegValue HKLM "$R9" "Path"
    ${Else}
      DeleteRegValue HKCU "$R9" "Path"
    ${EndIf}
  ${ElseIf} $R8 == "HKLM"
    WriteRegExpandStr HKLM "$R9" "Path" "$0"
  ${Else}
    WriteRegExpandStr HKCU "$R9" "Path" "$0"
  ${EndIf}
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
!macroend

Function AddToPath
  !insertmacro PathKey $R8 $R9
  !insertmacro ReadPath
  StrLen $2 $INSTDIR
  IntOp $2 $2 + $1
  ${If} $4 == 1
  ${OrIf} $2 >= ${PATH_MAX_LEN}
    DetailPrint "PATH cannot be changed safely: add $INSTDIR to it by hand."
    Return
  ${EndIf}
  ; Already there: nothing to do.
  ${WordFind} ";$0;" ";$INSTDIR;" "E*" $2
  ${IfNot} ${Errors}
  ${AndIf} $2 > 0
    Return
  ${EndIf}
  ${If} $0 == ""
    StrCpy $0 "$INSTDIR"
  ${Else}
    StrCpy $0 "$0;$INSTDIR"
  ${EndIf}
  !insertmacro WritePath
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "OnPath" 1
FunctionEnd

Function un.RemoveFromPath
  !insertmacro PathKey $R8 $R9
  !insertmacro ReadPath
  ${If} $4 == 1
    DetailPrint "PATH cannot be changed safely: remove $INSTDIR from it by hand."
    Return
  ${EndIf}
  ${WordReplace} ";$0;" ";$INSTDIR;" ";" "+" $0
  ; Drop the semicolons added around it.
  StrCpy $0 $0 "" 1
  StrCpy $0 $0 -1
  !insertmacro WritePath
FunctionEnd

Section "Uninstall"
  ReadRegDWORD $0 SHCTX "${UNINSTALL_KEY}" "OnPath"
  ${If} $0 == 1
    Call un.RemoveFromPath
  ${EndIf}
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT} command line.lnk"
  Delete "$INSTDIR\pelorin.exe"
  Delete "$INSTDIR\pelorin-cli.exe"
  Delete "$INSTDIR\pelorin-layout-helper.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
