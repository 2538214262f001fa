; The Windows setup program of Pelantra, built by scripts/build-windows
; --installer with makensis from the folder it lays out:
;
;   makensis -DVERSION=1.0.0 -DDIST=<folder> -DFILES=<list.nsh> -DICON=<pelantra.ico> -DOUTFILE=<setup.exe> setup.nsi
;
; FILES is that folder's list of files and folders (lines "!insertmacro
; InstalledFile ..." and "!insertmacro InstalledFolder ..."), so that the
; uninstaller removes exactly what was installed and nothing an operator
; put there, such as archives.
;
; It installs the programs into Program Files\Pelantra (or any folder) and
; writes setting.ini, only when there is none, into ProgramData\Pelantra,
; where the shortcuts start the programs. Silent:
;
;   Pelantra-Setup-<version>.exe /S [/PORT=5432] [/TOOLS=C:\DataSekolah] [/D=C:\Program Files\Pelantra]

; A 64-bit setup, as the programs it installs.
Target amd64-unicode
!include "MUI2.nsh"
!include "nsDialogs.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "x64.nsh"

!define PRODUCT "Pelantra"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define PRODUCT_KEY "Software\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${PRODUCT_KEY}" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "FileDescription" "Program setup ${PRODUCT}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "CompanyName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "LegalCopyright" "${PRODUCT}"

Var Port
Var Tools
Var PortField
Var ToolsField
Var Problem

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\pelantra.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Jalankan Pelantra"
!define MUI_FINISHPAGE_RUN_NOTCHECKED
!define MUI_FINISHPAGE_RUN_FUNCTION RunFromSettingsFolder

!insertmacro MUI_PAGE_DIRECTORY
Page custom SettingsShow SettingsLeave
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Indonesian"

!macro InstalledFile path
  Delete "$INSTDIR\${path}"
!macroend
!macro InstalledFolder path
  RMDir "$INSTDIR\${path}"
!macroend

; $Problem: why the port and the tools folder cannot be used, or empty.
Function CheckSettings
  StrCpy $Problem ""
  IntFmt $R9 "%d" $Port
  ${If} $R9 != $Port
  ${OrIf} $Port < 1
  ${OrIf} $Port > 65535
    StrCpy $Problem "Port database harus angka 1 sampai 65535."
    Return
  ${EndIf}
  ; The tools this setup installs are there only once it has run.
  ${If} $Tools == "$INSTDIR\tools"
    Return
  ${EndIf}
  ${IfNot} ${FileExists} "$Tools\pgsql\bin\pg_dump.exe"
  ${OrIfNot} ${FileExists} "$Tools\php\7za.exe"
    StrCpy $Problem "Folder $Tools tidak berisi pgsql\bin\pg_dump.exe dan php\7za.exe. Pilih folder instalasi aplikasi pendataan sekolah, atau folder tools Pelantra."
  ${EndIf}
FunctionEnd

Function .onInit
  SetShellVarContext all
  SetRegView 64
  StrCpy $Port "5432"
  StrCpy $Tools ""
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/PORT=" $R1
  ${IfNot} ${Errors}
    StrCpy $Port $R1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/TOOLS=" $R1
  ${IfNot} ${Errors}
    StrCpy $Tools $R1
  ${EndIf}
  ${If} ${Silent}
    ${If} $Tools == ""
      StrCpy $Tools "$INSTDIR\tools"
    ${EndIf}
    Call CheckSettings
    ${If} $Problem != ""
      ; A silent setup has no one to ask: it ends without installing.
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Function SettingsShow
  ${If} $Tools == ""
    StrCpy $Tools "$INSTDIR\tools"
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "Pengaturan" "Port server database dan folder program export dan pengarsip"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 12u "Port server database (DefDBPort):"
  Pop $0
  ${NSD_CreateNumber} 0 13u 50u 12u "$Port"
  Pop $PortField
  ${NSD_CreateLabel} 0 36u 100% 20u "Folder yang berisi pgsql\bin\pg_dump.exe dan php\7za.exe (basedir). Bawaan: folder tools dari Pelantra; biasanya juga folder instalasi aplikasi pendataan sekolah."
  Pop $0
  ${NSD_CreateDirRequest} 0 58u 235u 12u "$Tools"
  Pop $ToolsField
  ${NSD_CreateBrowseButton} 240u 57u 60u 14u "Pilih..."
  Pop $0
  ${NSD_OnClick} $0 ChooseTools
  nsDialogs::Show
FunctionEnd

Function ChooseTools
  ${NSD_GetText} $ToolsField $R0
  nsDialogs::SelectFolderDialog "Folder pgsql dan php" "$R0"
  Pop $R0
  ${If} $R0 != "error"
    ${NSD_SetText} $ToolsField $R0
  ${EndIf}
FunctionEnd

Function SettingsLeave
  ${NSD_GetText} $PortField $Port
  ${NSD_GetText} $ToolsField $Tools
  Call CheckSettings
  ${If} $Problem != ""
    MessageBox MB_ICONEXCLAMATION|MB_OK "$Problem"
    Abort
  ${EndIf}
FunctionEnd

Function RunFromSettingsFolder
  SetOutPath "$APPDATA\${PRODUCT}"
  Exec '"$INSTDIR\pelantra.exe"'
FunctionEnd

Section "Pelantra" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File /r /x setting.ini "${DIST}\*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The operator's settings stay as they are on every later setup.
  CreateDirectory "$APPDATA\${PRODUCT}"
  ${IfNot} ${FileExists} "$APPDATA\${PRODUCT}\setting.ini"
    FileOpen $0 "$APPDATA\${PRODUCT}\setting.ini" w
    FileWrite $0 "DefDBPort=$Port$\r$\n"
    FileWrite $0 "basedir=$Tools$\r$\n"
    FileClose $0
  ${EndIf}

  ; Shortcuts start in the settings folder, where the programs read setting.ini.
  SetOutPath "$APPDATA\${PRODUCT}"
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\Pelantra.lnk" "$INSTDIR\pelantra.exe" "" "$INSTDIR\pelantra.exe" 0
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\Pelantra (baris perintah).lnk" "$SYSDIR\cmd.exe" \
    '/K set "PATH=$INSTDIR;%PATH%" && pelantra-cli.exe --help' "$INSTDIR\pelantra.exe" 0
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\Hapus Pelantra.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${PRODUCT_KEY}" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\pelantra.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "Pintasan di desktop" SecDesktop
  SetOutPath "$APPDATA\${PRODUCT}"
  CreateShortCut "$DESKTOP\Pelantra.lnk" "$INSTDIR\pelantra.exe" "" "$INSTDIR\pelantra.exe" 0
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "Pelantra, pelantra-cli dan program export dan pengarsip (folder tools)."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecDesktop} "Pintasan Pelantra di desktop semua pengguna."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function un.onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

; Removes what the setup installed, and only that: setting.ini in the
; settings folder and every archive stay.
Section "Uninstall"
  !include "${FILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}\Pelantra.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Pelantra (baris perintah).lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Hapus Pelantra.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  Delete "$DESKTOP\Pelantra.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${PRODUCT_KEY}"
SectionEnd
