; The Windows installer of Exógena (NSIS, Unicode). Built by scripts/windows-installer.sh, which
; stages the program folder and writes the lists of installed files (FILES_NSH, UNINSTALL_NSH).
; The program folder is also where the user's session and company folders live, so the
; uninstaller erases only the files it installed and leaves every other file and folder alone.
; A 64-bit installer for the 64-bit program (it runs under wine64 as well).
Target amd64-unicode
!include "MUI2.nsh"

!ifndef FILES_NSH | UNINSTALL_NSH
  !error "FILES_NSH and UNINSTALL_NSH (the lists of installed files) are not defined"
!endif
!ifndef OUTFILE
  !define OUTFILE "Exogena-setup.exe"
!endif
!ifndef VERSION
  !define VERSION "0.1"
!endif
!ifndef MAIN_EXE
  !define MAIN_EXE "exogena-cli.exe"
!endif

Name "Exógena ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Exogena"
InstallDirRegKey HKLM "Software\Exogena" "Carpeta"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Spanish"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Exogena"

Section "Exógena" SecMain
  SectionIn RO
  SetShellVarContext all
  SetRegView 64
  SetOutPath "$INSTDIR"
  !include "${FILES_NSH}"
  ; The program works in its folder (session, company folders): every user may change it.
  nsExec::Exec 'icacls "$INSTDIR" /grant *S-1-5-32-545:(OI)(CI)M /T /Q'
  Pop $0
  WriteRegStr HKLM "Software\Exogena" "Carpeta" "$INSTDIR"
  WriteUninstaller "$INSTDIR\Desinstalar.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Exógena ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Desinstalar.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Desinstalar.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; The Start-menu entry starts the program in its folder (the working folder of the shortcut is
  ; the output path set above).
  SetOutPath "$INSTDIR"
  CreateDirectory "$SMPROGRAMS\Exógena"
  CreateShortCut "$SMPROGRAMS\Exógena\Exógena.lnk" "$INSTDIR\${MAIN_EXE}"
  CreateShortCut "$SMPROGRAMS\Exógena\Desinstalar Exógena.lnk" "$INSTDIR\Desinstalar.exe"
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  SetRegView 64
  ; Only what was installed; folders only when left empty (company folders never are touched).
  !include "${UNINSTALL_NSH}"
  Delete "$INSTDIR\Desinstalar.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Exógena\Exógena.lnk"
  Delete "$SMPROGRAMS\Exógena\Desinstalar Exógena.lnk"
  RMDir "$SMPROGRAMS\Exógena"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\Exogena"
SectionEnd
