; The installer of Haltguard IDs for Windows (make windows-installer).
;   makensis -DVERSION=<x.y.z> -DSTAGE=<folder> -DOUTFILE=<file.exe> haltguard-ids.nsi
; STAGE holds what goes into the program's folder: the program, the setup tool, the
; groups tool, the Qt DLLs and plugins, libpq.dll (PostgreSQL's client, with OpenSSL),
; the icon, the licences and the README.
;
; The groups live in C:\Quillon\Haltguard IDs, made by the setup tool, which never
; overwrites what exists; the uninstaller removes the program and never the groups.
; A 64-bit installer for the 64-bit program (it runs on Wine's 64-bit loader too).
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"

!define PRODUCT "Haltguard IDs"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "Quillon"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} installer"
VIAddVersionKey "LegalCopyright" "Quillon"

!define MUI_ICON "${STAGE}\haltguard-ids.ico"
!define MUI_UNICON "${STAGE}\haltguard-ids.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\haltguard-ids.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
    SetRegView 64
FunctionEnd

Function un.onInit
    SetRegView 64
FunctionEnd

Section "Program"
    SetOutPath "$INSTDIR"
    File /r "${STAGE}\*"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; All users' Start menu, with the program's own icon (the logo).
    SetShellVarContext all
    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\haltguard-ids.exe" "" \
        "$INSTDIR\haltguard-ids.exe" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Quillon"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\haltguard-ids.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

    ; The data folders and the empty groups table; what exists is left as it is.
    DetailPrint "Preparing C:\Quillon\${PRODUCT}"
    nsExec::ExecToLog '"$INSTDIR\haltguard-ids-setup.exe"'
    Pop $0
    ${If} $0 != 0
        MessageBox MB_ICONSTOP "The data folder C:\Quillon\${PRODUCT} could not be prepared \
            (haltguard-ids-setup ended with $0)." /SD IDOK
        SetErrorLevel 2
        Abort
    ${EndIf}
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$INSTDIR\haltguard-ids.exe"
    Delete "$INSTDIR\haltguard-ids-setup.exe"
    Delete "$INSTDIR\haltguard-ids-groups.exe"
    Delete "$INSTDIR\haltguard-ids.ico"
    Delete "$INSTDIR\README.md"
    Delete "$INSTDIR\Qt6*.dll"
    Delete "$INSTDIR\libpq.dll"
    RMDir /r "$INSTDIR\platforms"
    RMDir /r "$INSTDIR\styles"
    RMDir /r "$INSTDIR\licenses"
    Delete "$INSTDIR\uninstall.exe"
    ; Only when empty: nothing the user put there goes.
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    ; C:\Quillon\Haltguard IDs holds the user's groups: it stays.
SectionEnd
