; The setup as released before it carried the 32-bit build, kept as it was (a 64-bit NSIS program
; that installs the 64-bit build only): test_installer.py makes it and upgrades its install.

; QMSpooler-setup.exe: installs the spooler for the current user or for the whole machine, with a
; Start menu shortcut, an uninstall entry and, by choice, a start at log-on.
;
; Built by installer/CMakeLists.txt, which passes the values it is made from:
;   VERSION, PUBLISHER, PRODUCT   from the top CMakeLists.txt, as the program's version information
;   SPOOLER_EXE, QMSPOOL_EXE      the two programs        ICON      the program's icon
;   OUTFILE                       the installer to write
;
; Command line (installer and uninstaller): /S silent, /AllUsers or /CurrentUser to choose the
; install mode without the page that asks; the uninstaller's /RemoveSettings ticks "Remove my
; settings", which a silent uninstall has no page for. The uninstall entry's QuietUninstallString
; is the silent uninstall of exactly this install.

Unicode true
; A 64-bit installer for a 64-bit program: the default 32-bit stub would not run where only
; 64-bit Windows programs can (our Wine among them).
Target amd64-unicode
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillmark"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "${PRODUCT}"
; The program's own settings (nine values it writes at exit), and its main window's class.
!define SETTINGS_KEY "Software\Brackwater Software\Quillmark\v2.0"
!define WINDOW_CLASS "QMSpoolClass"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"

; Per-machine for administrators, per-user otherwise; an upgrade finds the earlier install's mode
; and folder in its uninstall entry.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "Quillmark"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include Sections.nsh
!include FileFunc.nsh
!include WinMessages.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\QMSpooler.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start the spooler now"

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; The program's own version information names no copyright either.
!pragma warning disable 9100
VIProductVersion "${VERSION}.0"
VIAddVersionKey ProductName "${PRODUCT}"
VIAddVersionKey CompanyName "${PUBLISHER}"
VIAddVersionKey FileDescription "${PRODUCT} Setup"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey ProductVersion "${VERSION}"

; Asks a running spooler to close through its window, the way any exit goes, so that it stores
; its settings; then waits for its process to end, so that its files can be replaced or removed.
; A spooler that does not close (one waiting on a printer, say) is left running and the setup
; stops, rather than going on over files that are in use.
!macro CLOSE_SPOOLER_FUNCTION PREFIX
Function ${PREFIX}close_spooler
  look:
    FindWindow $0 "${WINDOW_CLASS}"
    StrCmp $0 0 done
    DetailPrint "Closing the running spooler"
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'  ; SYNCHRONIZE
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    ${If} $2 != 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i 15000) i .r3'
      System::Call 'kernel32::CloseHandle(p r2)'
    ${Else}
      StrCpy $3 0
    ${EndIf}
    IsWindow $0 stuck
    StrCmp $3 0 look  ; gone: there may be another one
  stuck:
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "${PRODUCT} is still running. Close it, then choose Retry." /SD IDCANCEL IDRETRY look
    Abort "${PRODUCT} is still running."
  done:
FunctionEnd
!macroend
!insertmacro CLOSE_SPOOLER_FUNCTION ""
!insertmacro CLOSE_SPOOLER_FUNCTION "un."

Section "-Program" SecProgram
  Call close_spooler
  SetOutPath "$INSTDIR"
  File "/oname=QMSpooler.exe" "${SPOOLER_EXE}"
  File "/oname=qmspool.exe" "${QMSPOOL_EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\QMSpooler.exe"

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\QMSpooler.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ; The mode goes with the command, so that the uninstaller cleans up where this install wrote.
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" \
    '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" \
    '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Log-on starts the program by its plain command line. It opens minimised because its own
; "Open program minimized" option says so: a first install turns that option on, and from then
; on the user's choice in the menu governs, at log-on as at any start.
Section "Start the spooler when I log on" SecLogon
  WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\QMSpooler.exe"'
  StrCpy $0 0
  seek:
    ClearErrors
    EnumRegValue $1 HKCU "${SETTINGS_KEY}" $0
    IfErrors first_start
    StrCmp $1 "open_minimized" chosen
    IntOp $0 $0 + 1
    Goto seek
  first_start:
    WriteRegBin HKCU "${SETTINGS_KEY}" "open_minimized" 01000000
  chosen:
SectionEnd

Section "-Log-on declined"
  ${IfNot} ${SectionIsSelected} ${SecLogon}
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
SectionEnd

Function .onInit
  !insertmacro MULTIUSER_INIT
  ; An upgrade keeps the log-on choice of the install it replaces.
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $1 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 != ""
  ${AndIf} $1 == ""
    !insertmacro UnselectSection ${SecLogon}
  ${EndIf}
FunctionEnd

Section "un.${PRODUCT}"
  SectionIn RO
  Call un.close_spooler
  Delete "$INSTDIR\QMSpooler.exe"
  Delete "$INSTDIR\qmspool.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"
  ; The log-on entry goes when it starts this install's program, not another install's.
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 == '"$INSTDIR\QMSpooler.exe"'
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd

; The settings stay unless asked: a later install finds them as they were.
Section /o "un.Remove my settings" SecRemoveSettings
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Brackwater Software\Quillmark"
  DeleteRegKey /ifempty HKCU "Software\Brackwater Software"
SectionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
  ${un.GetParameters} $0
  ClearErrors
  ${un.GetOptions} $0 "/RemoveSettings" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecRemoveSettings}
  ${EndIf}
FunctionEnd
