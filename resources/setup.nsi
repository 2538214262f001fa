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
; writes setting.ini into ProgramData\Pelantra, where the shortcuts start the
; programs: when there is none, or when the operator changed the settings its
; page shows and agreed to replace it (the old one stays as setting.ini.bak).
; An optional page schedules the automatic backup of every school
; (pelantra-cli schedule, for the user who installs); the uninstaller stops it.
; Neither the setup nor the uninstaller touches a file while a program of the
; installation runs. Silent (it never replaces a setting.ini):
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
; A file in use stops the setup instead of leaving a half-updated installation.
AllowSkipFiles off
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
; The setting.ini there is (HasSettings 1), and what it holds.
Var SettingsFile
Var HasSettings
Var CurrentPort
Var CurrentTools
; 1 while the tools folder is the one installed with the programs: it
; follows the install folder until the operator chooses another.
Var ToolsFollow
; 1: the setup writes setting.ini. SettingsOutcome: what the last page says about it.
Var WriteSettings
Var SettingsOutcome
; The installation's programs that run now, one per line.
Var Running
Var RunningLabel
; The automatic backup's page: on (1) or off, the day ("Setiap hari" or a
; day's name), the time, the folder; what the last page says about it.
Var ScheduleOn
Var ScheduleDay
Var ScheduleTime
Var ScheduleFolder
Var ScheduleCheck
Var DayField
Var TimeField
Var ScheduleFolderField
Var ScheduleOutcome
; The uninstaller: the files it could not remove, and what its last page says.
Var Left
Var UninstallOutcome

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\pelantra.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Jalankan Pelantra"
!define MUI_FINISHPAGE_RUN_NOTCHECKED
!define MUI_FINISHPAGE_RUN_FUNCTION RunFromSettingsFolder

; Our own texts where the stock Indonesian ones write "di instal" (and "and" for "dan").
!define MUI_DIRECTORYPAGE_TEXT_TOP "Pelantra akan diinstal di folder berikut. Untuk memilih folder lain, tekan tombol Cari lalu pilih foldernya. $_CLICK"
!insertmacro MUI_PAGE_DIRECTORY
Page custom SettingsShow SettingsLeave
Page custom ScheduleShow ScheduleLeave
!define MUI_PAGE_HEADER_SUBTEXT "Pilih komponen Pelantra yang ingin diinstal."
!define MUI_COMPONENTSPAGE_TEXT_TOP "Centang komponen yang ingin diinstal dan hilangkan centang pada yang tidak perlu. Tekan tombol Instal untuk memulai instalasi."
!define MUI_COMPONENTSPAGE_TEXT_COMPLIST "Pilih komponen yang akan diinstal:"
!define MUI_PAGE_CUSTOMFUNCTION_SHOW InstallButton
!insertmacro MUI_PAGE_COMPONENTS
Page custom RunningShow RunningLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "Pelantra sudah diinstal di komputer ini.$\r$\n$\r$\n$SettingsOutcome$ScheduleOutcome"
!define MUI_FINISHPAGE_TEXT_LARGE
!insertmacro MUI_PAGE_FINISH

!define MUI_UNCONFIRMPAGE_TEXT_TOP "Pelantra akan dihapus dari folder berikut. setting.ini di $APPDATA\${PRODUCT} dan arsip backup tidak ikut dihapus. Tekan tombol Hapus untuk memulai."
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.UninstallButton
!insertmacro MUI_UNPAGE_CONFIRM
UninstPage custom un.RunningShow un.RunningLeave
!insertmacro MUI_UNPAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$UninstallOutcome"
!define MUI_FINISHPAGE_TEXT_LARGE
!insertmacro MUI_UNPAGE_FINISH
!insertmacro MUI_LANGUAGE "Indonesian"

; What the uninstaller removes; a file it cannot remove is named.
!macro InstalledFile path
  ClearErrors
  Delete "$INSTDIR\${path}"
  ${If} ${Errors}
    StrCpy $Left "$Left$\r$\n$INSTDIR\${path}"
  ${EndIf}
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

; $CurrentPort and $CurrentTools: DefDBPort and basedir of $SettingsFile as
; Pelantra reads a file of one key a line: the first line that starts with
; the key gives it, from after '=' and blanks to a tab or the line's end.
Function ReadSettings
  StrCpy $CurrentPort ""
  StrCpy $CurrentTools ""
  ClearErrors
  FileOpen $R0 "$SettingsFile" r
  ${If} ${Errors}
    Return
  ${EndIf}
  ; Notepad's UTF-8 byte-order mark.
  FileReadByte $R0 $R1
  FileReadByte $R0 $R2
  FileReadByte $R0 $R3
  ${If} "$R1 $R2 $R3" != "239 187 191"
    FileSeek $R0 0 SET
  ${EndIf}
  StrCpy $R4 0 ; DefDBPort found
  StrCpy $R5 0 ; basedir found
  ${Do}
    ClearErrors
    FileRead $R0 $R1
    ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
    ${If} $R4 == 0
      Push $R1
      Push "DefDBPort"
      Call SettingOnLine
      Pop $R2
      ${IfNot} ${Errors}
        Call Utf8WhereValid
        StrCpy $CurrentPort $R2
        StrCpy $R4 1
      ${EndIf}
    ${EndIf}
    ${If} $R5 == 0
      Push $R1
      Push "basedir"
      Call SettingOnLine
      Pop $R2
      ${IfNot} ${Errors}
        Call Utf8WhereValid
        StrCpy $CurrentTools $R2
        StrCpy $R5 1
      ${EndIf}
    ${EndIf}
  ${Loop}
  FileClose $R0
FunctionEnd

; FileRead reads the ANSI code page; Pelantra takes bytes that are valid
; UTF-8 (as Notepad saves) as UTF-8. $R2: the value, read again so if it is.
Function Utf8WhereValid
  ; The value goes back to its bytes as "m", in the ANSI code page.
  System::Call 'kernel32::MultiByteToWideChar(i 65001, i 8, m R2, i -1, w .R6, i ${NSIS_MAX_STRLEN}) i .R7'
  ${IfThen} $R7 > 0 ${|} StrCpy $R2 $R6 ${|}
FunctionEnd

; Stack: line, key (on top). Leaves the key's value on this line, or sets
; the error flag when the line does not give the key.
Function SettingOnLine
  Exch $R7 ; key
  Exch
  Exch $R6 ; line
  Push $R8
  Push $R9
  ClearErrors
  StrLen $R8 $R7
  StrCpy $R9 $R6 $R8
  ${If} $R9 S!= $R7
    SetErrors
    StrCpy $R6 ""
  ${Else}
    ; The key ends at '=' or a blank, and those are skipped.
    StrCpy $R9 $R6 1 $R8
    ${If} $R9 != "="
    ${AndIf} $R9 != " "
      SetErrors
      StrCpy $R6 ""
    ${Else}
      ${Do}
        StrCpy $R9 $R6 1 $R8
        ${If} $R9 != "="
        ${AndIf} $R9 != " "
          ${ExitDo}
        ${EndIf}
        IntOp $R8 $R8 + 1
      ${Loop}
      StrCpy $R6 $R6 "" $R8
      ; The value ends at a tab, a carriage return or a line feed.
      StrCpy $R8 0
      ${Do}
        StrCpy $R9 $R6 1 $R8
        ${IfThen} $R9 == "" ${|} ${ExitDo} ${|}
        ${IfThen} $R9 == "$\t" ${|} ${ExitDo} ${|}
        ${IfThen} $R9 == "$\r" ${|} ${ExitDo} ${|}
        ${IfThen} $R9 == "$\n" ${|} ${ExitDo} ${|}
        IntOp $R8 $R8 + 1
      ${Loop}
      StrCpy $R6 $R6 $R8
    ${EndIf}
  ${EndIf}
  Pop $R9
  Pop $R8
  Pop $R7
  Exch $R6
FunctionEnd

; $Running: the installation's programs that run now. A running program's
; file cannot be opened for writing, on Windows as under Wine.
!macro IfRunning file
  ${If} ${FileExists} "$INSTDIR\${file}"
    ClearErrors
    FileOpen $R0 "$INSTDIR\${file}" a
    ${If} ${Errors}
      StrCpy $Running "$Running$\r$\n$INSTDIR\${file}"
    ${Else}
      FileClose $R0
    ${EndIf}
  ${EndIf}
!macroend

; The page that asks to close the installation's running programs before
; anything is touched; it shows only while one runs.
!macro RunningPage un what
Function ${un}FindRunning
  StrCpy $Running ""
  !insertmacro IfRunning "pelantra.exe"
  !insertmacro IfRunning "pelantra-cli.exe"
FunctionEnd

Function ${un}RunningText
  StrCpy $R0 "Pelantra masih berjalan dari folder ini:$\r$\n$Running$\r$\n$\r$\nTutup Pelantra, dan jendela baris perintah yang menjalankan pelantra-cli, lalu tekan Coba lagi. Tekan Batal untuk berhenti tanpa ${what}."
FunctionEnd

Function ${un}RunningShow
  Call ${un}FindRunning
  ${IfThen} $Running == "" ${|} Abort ${|}
  !insertmacro MUI_HEADER_TEXT "Pelantra masih berjalan" "Tutup Pelantra dulu"
  nsDialogs::Create 1018
  Pop $0
  Call ${un}RunningText
  ${NSD_CreateLabel} 0 0 100% 100% "$R0"
  Pop $RunningLabel
  GetDlgItem $0 $HWNDPARENT 1
  SendMessage $0 ${WM_SETTEXT} 0 "STR:Coba lagi"
  GetDlgItem $0 $HWNDPARENT 2
  SendMessage $0 ${WM_SETTEXT} 0 "STR:Batal"
  nsDialogs::Show
FunctionEnd

Function ${un}RunningLeave
  Call ${un}FindRunning
  ${If} $Running != ""
    Call ${un}RunningText
    ${NSD_SetText} $RunningLabel "$R0"
    Abort
  ${EndIf}
FunctionEnd
!macroend
!insertmacro RunningPage "" "mengubah apa pun"
!insertmacro RunningPage "un." "menghapus apa pun"

; The page before the one that asks about running programs starts the work.
Function InstallButton
  GetDlgItem $0 $HWNDPARENT 1
  SendMessage $0 ${WM_SETTEXT} 0 "STR:$(^InstallBtn)"
FunctionEnd

Function un.UninstallButton
  GetDlgItem $0 $HWNDPARENT 1
  SendMessage $0 ${WM_SETTEXT} 0 "STR:$(^UninstallBtn)"
FunctionEnd

Function .onInit
  SetShellVarContext all
  SetRegView 64
  StrCpy $SettingsFile "$APPDATA\${PRODUCT}\setting.ini"
  StrCpy $Port "5432"
  StrCpy $Tools ""
  StrCpy $HasSettings 0
  ${If} ${FileExists} "$SettingsFile"
    StrCpy $HasSettings 1
    Call ReadSettings
    StrCpy $Port $CurrentPort
    StrCpy $Tools $CurrentTools
  ${EndIf}
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
  StrCpy $ToolsFollow 0
  ${If} $Tools == ""
  ${OrIf} $Tools == "$INSTDIR\tools"
    StrCpy $ToolsFollow 1
  ${EndIf}
  StrCpy $WriteSettings 0
  StrCpy $ScheduleOn 0
  StrCpy $ScheduleDay "Senin"
  StrCpy $ScheduleTime "13:00"
  ; The archives hold pupils' data: the installing user's own Documents,
  ; not the public one.
  SetShellVarContext current
  StrCpy $ScheduleFolder "$DOCUMENTS\Backup Pelantra"
  SetShellVarContext all
  ${If} ${Silent}
    ; A silent setup has no one to ask: it ends without installing.
    Call FindRunning
    ${If} $Running != ""
      SetErrorLevel 2
      Quit
    ${EndIf}
    ; It writes setting.ini only where there is none.
    ${If} $HasSettings == 0
      ${If} $Tools == ""
        StrCpy $Tools "$INSTDIR\tools"
      ${EndIf}
      Call CheckSettings
      ${If} $Problem != ""
        SetErrorLevel 2
        Quit
      ${EndIf}
      StrCpy $WriteSettings 1
    ${EndIf}
  ${EndIf}
FunctionEnd

Function SettingsShow
  ${If} $ToolsFollow == 1
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
  ${If} $HasSettings == 1
    StrCpy $R0 "Isian ini dibaca dari $SettingsFile. Bila diubah, setup bertanya dulu sebelum menulis setting.ini baru."
  ${Else}
    StrCpy $R0 "Setup menulis isian ini ke $SettingsFile."
  ${EndIf}
  ${NSD_CreateLabel} 0 84u 100% 20u "$R0"
  Pop $0
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
  StrCpy $ToolsFollow 0
  ${IfThen} $Tools == "$INSTDIR\tools" ${|} StrCpy $ToolsFollow 1 ${|}
  Call CheckSettings
  ${If} $Problem != ""
    MessageBox MB_ICONEXCLAMATION|MB_OK "$Problem"
    Abort
  ${EndIf}
  ${If} $HasSettings == 0
    StrCpy $WriteSettings 1
    StrCpy $SettingsOutcome "Pengaturan disimpan di $SettingsFile."
    Return
  ${EndIf}
  StrCpy $R0 ""
  ${IfThen} $Port S!= $CurrentPort ${|} StrCpy $R0 "$R0$\r$\nDefDBPort: $CurrentPort menjadi $Port" ${|}
  ${IfThen} $Tools S!= $CurrentTools ${|} StrCpy $R0 "$R0$\r$\nbasedir: $CurrentTools menjadi $Tools" ${|}
  ${If} $R0 == ""
    StrCpy $WriteSettings 0
    StrCpy $SettingsOutcome "Pengaturan di $SettingsFile tidak berubah."
  ${ElseIf} ${Cmd} `MessageBox MB_YESNO|MB_ICONQUESTION "Ubah setting.ini di $APPDATA\${PRODUCT}?$\r$\n$R0$\r$\n$\r$\nsetting.ini yang lama disimpan sebagai setting.ini.bak." IDYES`
    StrCpy $WriteSettings 1
    StrCpy $SettingsOutcome "Pengaturan baru disimpan di $SettingsFile; yang lama ada di setting.ini.bak."
  ${Else}
    StrCpy $WriteSettings 0
    StrCpy $SettingsOutcome "setting.ini tidak diubah: Pelantra tetap memakai DefDBPort $CurrentPort dan basedir $CurrentTools dari $SettingsFile."
  ${EndIf}
FunctionEnd

Function ScheduleShow
  !insertmacro MUI_HEADER_TEXT "Backup otomatis" "Backup setiap sekolah pada hari dan jam yang tetap"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateCheckbox} 0 0 100% 12u "Jadwalkan backup otomatis"
  Pop $ScheduleCheck
  ${IfThen} $ScheduleOn == ${BST_CHECKED} ${|} ${NSD_Check} $ScheduleCheck ${|}
  ${NSD_CreateLabel} 0 22u 60u 12u "Hari:"
  Pop $0
  ${NSD_CreateDropList} 62u 20u 90u 80u ""
  Pop $DayField
  ${NSD_CB_AddString} $DayField "Setiap hari"
  ${NSD_CB_AddString} $DayField "Senin"
  ${NSD_CB_AddString} $DayField "Selasa"
  ${NSD_CB_AddString} $DayField "Rabu"
  ${NSD_CB_AddString} $DayField "Kamis"
  ${NSD_CB_AddString} $DayField "Jumat"
  ${NSD_CB_AddString} $DayField "Sabtu"
  ${NSD_CB_AddString} $DayField "Minggu"
  ${NSD_CB_SelectString} $DayField $ScheduleDay
  ${NSD_CreateLabel} 0 40u 60u 12u "Jam (JJ:MM):"
  Pop $0
  ${NSD_CreateText} 62u 38u 40u 12u "$ScheduleTime"
  Pop $TimeField
  ${NSD_CreateLabel} 0 58u 100% 12u "Folder arsip:"
  Pop $0
  ${NSD_CreateDirRequest} 0 71u 235u 12u "$ScheduleFolder"
  Pop $ScheduleFolderField
  ${NSD_CreateBrowseButton} 240u 70u 60u 14u "Pilih..."
  Pop $0
  ${NSD_OnClick} $0 ChooseScheduleFolder
  ${NSD_CreateLabel} 0 92u 100% 40u "Windows menjalankan backup setiap sekolah ke folder ini selama pengguna ini masuk (login). Backup yang terlewat karena komputer mati berjalan begitu komputer menyala. Arsip yang diganti disimpan di subfolder Riwayat. Bisa diubah nanti dengan pelantra-cli schedule."
  Pop $0
  nsDialogs::Show
FunctionEnd

Function ChooseScheduleFolder
  ${NSD_GetText} $ScheduleFolderField $R0
  nsDialogs::SelectFolderDialog "Folder arsip backup otomatis" "$R0"
  Pop $R0
  ${If} $R0 != "error"
    ${NSD_SetText} $ScheduleFolderField $R0
  ${EndIf}
FunctionEnd

Function ScheduleLeave
  ${NSD_GetState} $ScheduleCheck $ScheduleOn
  ${NSD_GetText} $DayField $ScheduleDay
  ${NSD_GetText} $TimeField $ScheduleTime
  ${NSD_GetText} $ScheduleFolderField $ScheduleFolder
  ${If} $ScheduleOn == ${BST_CHECKED}
  ${AndIf} $ScheduleFolder == ""
    MessageBox MB_ICONEXCLAMATION|MB_OK "Pilih folder untuk arsip backup otomatis."
    Abort
  ${EndIf}
  ; The Task Scheduler expands a "%", and has no escape for it.
  ${IfThen} $ScheduleOn != ${BST_CHECKED} ${|} Return ${|}
  StrCpy $R0 0
  ${Do}
    StrCpy $R1 $ScheduleFolder 1 $R0
    ${IfThen} $R1 == "" ${|} ${ExitDo} ${|}
    ${If} $R1 == "%"
      MessageBox MB_ICONEXCLAMATION|MB_OK "Nama folder berisi %, yang diubah oleh Penjadwal Tugas Windows. Pilih folder lain."
      Abort
    ${EndIf}
    IntOp $R0 $R0 + 1
  ${Loop}
FunctionEnd

; pelantra-cli schedules the backup in the settings folder, where it starts.
Function RegisterSchedule
  StrCpy $ScheduleOutcome ""
  ${IfThen} $ScheduleOn != ${BST_CHECKED} ${|} Return ${|}
  CreateDirectory "$ScheduleFolder"
  ; A folder ending in "\" would escape the quote after it.
  StrCpy $R0 $ScheduleFolder 1 -1
  ${IfThen} $R0 == "\" ${|} StrCpy $ScheduleFolder "$ScheduleFolder." ${|}
  SetOutPath "$APPDATA\${PRODUCT}"
  ${If} $ScheduleDay == "Setiap hari"
    nsExec::ExecToStack '"$INSTDIR\pelantra-cli.exe" schedule daily "$ScheduleTime" "$ScheduleFolder"'
  ${Else}
    nsExec::ExecToStack '"$INSTDIR\pelantra-cli.exe" schedule weekly "$ScheduleDay" "$ScheduleTime" "$ScheduleFolder"'
  ${EndIf}
  Pop $R1
  Pop $R2
  ${If} $R1 == 0
    StrCpy $ScheduleOutcome "$\r$\n$\r$\nBackup otomatis: $ScheduleDay pukul $ScheduleTime ke $ScheduleFolder."
  ${Else}
    StrCpy $ScheduleOutcome "$\r$\n$\r$\nBackup otomatis belum terjadwal:$\r$\n$R2"
    DetailPrint "$ScheduleOutcome"
  ${EndIf}
FunctionEnd

; setting.ini with the page's values; one that is there is kept as setting.ini.bak first.
Function WriteSettings
  ClearErrors
  ${If} ${FileExists} "$SettingsFile"
    CopyFiles /SILENT "$SettingsFile" "$SettingsFile.bak"
  ${EndIf}
  ${IfNot} ${Errors}
    FileOpen $0 "$SettingsFile" w
  ${EndIf}
  ${If} ${Errors}
    StrCpy $SettingsOutcome "setting.ini di $APPDATA\${PRODUCT} tidak dapat ditulis, jadi tidak diubah. Ubah DefDBPort dan basedir di sana dengan Notepad."
    DetailPrint "$SettingsOutcome"
    Return
  ${EndIf}
  FileWrite $0 "DefDBPort=$Port$\r$\n"
  FileWrite $0 "basedir=$Tools$\r$\n"
  FileClose $0
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

  CreateDirectory "$APPDATA\${PRODUCT}"
  ${If} $WriteSettings == 1
    Call WriteSettings
  ${EndIf}

  ; Shortcuts start in the settings folder, where the programs read setting.ini.
  SetOutPath "$APPDATA\${PRODUCT}"
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\Pelantra.lnk" "$INSTDIR\pelantra.exe" "" "$INSTDIR\pelantra.exe" 0
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\Pelantra (baris perintah).lnk" "$SYSDIR\cmd.exe" \
    '/K set "PATH=$INSTDIR;%PATH%" && pelantra-cli.exe --help' "$INSTDIR\pelantra.exe" 0
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\Hapus Pelantra.lnk" "$INSTDIR\uninstall.exe"
  Call RegisterSchedule

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
  ${If} ${Silent}
    Call un.FindRunning
    ${If} $Running != ""
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

; Removes what the setup installed, and only that: setting.ini in the
; settings folder and every archive stay. When a file cannot be removed, the
; uninstaller and its entry stay, so that it can be run again.
Section "Uninstall"
  StrCpy $Left ""
  ; The automatic backup would start a program that is no longer there.
  nsExec::Exec '"$INSTDIR\pelantra-cli.exe" schedule off'
  Pop $0
  !include "${FILES}"
  StrCpy $R0 "setting.ini di $APPDATA\${PRODUCT} dan arsip backup tidak dihapus."
  ${If} $Left != ""
    StrCpy $UninstallOutcome "Pelantra belum terhapus seluruhnya. Berkas ini masih dipakai, jadi tidak dapat dihapus:$Left$\r$\n$\r$\nTutup program yang memakainya, lalu jalankan Hapus Pelantra lagi.$\r$\n$\r$\n$R0"
    DetailPrint "$UninstallOutcome"
    MessageBox MB_ICONEXCLAMATION|MB_OK "$UninstallOutcome" /SD IDOK
    SetErrorLevel 2
    Return
  ${EndIf}
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}\Pelantra.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Pelantra (baris perintah).lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Hapus Pelantra.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  Delete "$DESKTOP\Pelantra.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${PRODUCT_KEY}"
  StrCpy $UninstallOutcome "Pelantra sudah dihapus dari komputer ini.$\r$\n$\r$\n$R0"
SectionEnd
