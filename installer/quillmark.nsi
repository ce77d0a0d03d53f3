; QMSpooler-setup.exe: installs the spooler for the current user or for the whole machine, with a
; Start menu shortcut, an uninstall entry and, by choice, a start at log-on.
;
; Built by installer/CMakeLists.txt, which passes the values it is made from:
;   VERSION, PUBLISHER, PRODUCT   from the top CMakeLists.txt, as the program's version information
;   SPOOLER_EXE64, QMSPOOL_EXE64  the two programs of the 64-bit build
;   SPOOLER_EXE32, QMSPOOL_EXE32  the two programs of the 32-bit build (Windows XP SP3 and later)
;   FONT_LICENSE                  the licence of the font qmspool.exe carries built in
;   ICON                          the program's icon
;   OUTFILE                       the installer to write
;
; One setup for every Windows: a 32-bit program itself, it installs the 64-bit build on 64-bit
; Windows (Vista and later), into the 64-bit Program Files and with its registry entries in the
; 64-bit view, and the 32-bit build everywhere else. Both land under the same names in the same
; places, so an upgrade over an install of either kind, or of the earlier 64-bit-only setup, finds
; it, and the uninstaller of any of them removes it.
;
; Command line (installer and uninstaller): /S silent, /AllUsers or /CurrentUser to choose the
; install mode without the page that asks; the uninstaller's /RemoveSettings ticks "Remove my
; settings", which a silent uninstall has no page for. The uninstall entry's QuietUninstallString
; is the silent uninstall of exactly this install.

Unicode true
; The 32-bit stub: it runs on 32-bit and 64-bit Windows alike.
Target x86-unicode
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
!include x64.nsh
!include WinVer.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\QMSpooler.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start the spooler now"
!define MUI_FINISHPAGE_TEXT "$FinishText"
Var FinishText  ; set by finish_pre: whether the sync software was found
Var SyncFound

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_PAGE_CUSTOMFUNCTION_PRE finish_pre
!define MUI_PAGE_CUSTOMFUNCTION_SHOW finish_show
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

; Whether the user has a stored value for the program's option named $R0 ($R1: 1 or 0). The
; installer sets an option only when there is none: a first install sets it up, a later one keeps
; the user's own choice.
Function option_stored
  StrCpy $R1 0
  StrCpy $0 0
  seek:
    ClearErrors
    EnumRegValue $1 HKCU "${SETTINGS_KEY}" $0
    IfErrors done
    IntOp $0 $0 + 1
    StrCmp $1 $R0 0 seek
    StrCpy $R1 1
  done:
FunctionEnd

; On 64-bit Windows the setup (a 32-bit program) reads and writes the machine's uninstall entry
; in the 64-bit view, where the 64-bit program's entry belongs and where the earlier 64-bit setup
; wrote it; on 32-bit Windows there is one view. Before MultiUser reads the earlier install's
; entry.
!macro USE_NATIVE_REGISTRY_VIEW
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
!macroend

Section "-Program" SecProgram
  Call close_spooler
  SetOutPath "$INSTDIR"
  ; The 64-bit build needs Vista or later; XP x64 and Server 2003 x64 get the 32-bit one.
  ${If} ${RunningX64}
  ${AndIf} ${AtLeastWinVista}
    File "/oname=QMSpooler.exe" "${SPOOLER_EXE64}"
    File "/oname=qmspool.exe" "${QMSPOOL_EXE64}"
  ${Else}
    File "/oname=QMSpooler.exe" "${SPOOLER_EXE32}"
    File "/oname=qmspool.exe" "${QMSPOOL_EXE32}"
  ${EndIf}
  File "/oname=LiberationMono-LICENSE.txt" "${FONT_LICENSE}"
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
  StrCpy $R0 "open_minimized"
  Call option_stored
  ${If} $R1 == 0
    WriteRegBin HKCU "${SETTINGS_KEY}" "open_minimized" 01000000
  ${EndIf}
SectionEnd

; Without "Use default printer" every job waits at the Print dialog for someone to answer it, so
; a spooler started at log-on would print nothing unattended. The program stores that option as
; its opposite, show_dialog: 0 prints on the default printer without asking.
Section "Print on the default printer without asking" SecDefaultPrinter
  StrCpy $R0 "show_dialog"
  Call option_stored
  ${If} $R1 == 0
    WriteRegBin HKCU "${SETTINGS_KEY}" "show_dialog" 00000000
  ${EndIf}
SectionEnd

Section "-Log-on declined"
  ${IfNot} ${SectionIsSelected} ${SecLogon}
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
SectionEnd

; The spooler finds the sync's install folder through this registry value (the first of the two
; that is there), as at its own start. Without it the spooler would stop at start with an error,
; so the last page says what is missing rather than offer to start it; the log-on start stays, so
; that the spooler works once the sync software is installed.
Function finish_pre
  StrCpy $SyncFound 1
  ClearErrors
  ReadRegStr $0 HKCU "Software\U.S. Robotics\Pilot Desktop\Core" "Path"
  ${If} ${Errors}
    ClearErrors
    ReadRegStr $0 HKCU "Software\3Com\Palm Desktop\Core" "Path"
  ${EndIf}
  ${If} ${Errors}
  ${OrIf} $0 == ""
    StrCpy $SyncFound 0
  ${ElseIfNot} ${FileExists} "$0\*.*"
    StrCpy $SyncFound 0
  ${EndIf}
  ${If} $SyncFound == 1
    StrCpy $FinishText "${PRODUCT} has been installed on your computer.$\r$\n$\r$\nClick Finish to close this wizard."
  ${Else}
    StrCpy $FinishText "${PRODUCT} has been installed, but the handheld's desktop sync software was not found: the spooler cannot run until it is installed.$\r$\n$\r$\nOnce it is installed, start the spooler from the Start menu (or log on again, if it starts when you log on)."
  ${EndIf}
FunctionEnd

Function finish_show
  ${If} $SyncFound != 1
    SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
    ShowWindow $mui.FinishPage.Run ${SW_HIDE}
    EnableWindow $mui.FinishPage.Run 0
  ${EndIf}
FunctionEnd

Function .onInit
  !insertmacro USE_NATIVE_REGISTRY_VIEW
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
  Delete "$INSTDIR\LiberationMono-LICENSE.txt"
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
  !insertmacro USE_NATIVE_REGISTRY_VIEW
  !insertmacro MULTIUSER_UNINIT
  ${un.GetParameters} $0
  ClearErrors
  ${un.GetOptions} $0 "/RemoveSettings" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecRemoveSettings}
  ${EndIf}
FunctionEnd
