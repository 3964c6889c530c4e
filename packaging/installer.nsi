; The Tastovolant installer: a 64-bit NSIS installer that installs the program per machine under
; Program Files, with a Start menu shortcut, an entry in Apps & features and a Windows Firewall
; rule that lets the program accept connections on private networks only.
;
; Built by packaging/make_release.py, which stages the release folder and passes:
;   VERSION  the program's version, e.g. 2.0.0
;   FILES    an include that it writes: the macros InstallReleaseFiles and RemoveReleaseFiles,
;            one File or Delete line for each file of the staged folder
;   ICON     the program's icon
;   OUTFILE  the installer to write
;   SIZE_KB  the installed size, for Apps & features
; The source is UTF-8; makensis reads it with -INPUTCHARSET UTF8.

!ifndef VERSION | FILES | ICON | OUTFILE | SIZE_KB
  !error "make_release.py passes VERSION, FILES, ICON, OUTFILE and SIZE_KB"
!endif

Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define PRODUCT "Tastovolant"
!define PUBLISHER "Zorvane"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define FIREWALL_RULE 'name="${PRODUCT}" dir=in action=allow program="$INSTDIR\${PRODUCT}.exe" profile=private enable=yes'
!define FIREWALL_RULE_OF_THIS_PROGRAM 'name="${PRODUCT}" program="$INSTDIR\${PRODUCT}.exe"'

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
BrandingText "${PUBLISHER}"

!include "MUI2.nsh"
!include "x64.nsh"
!include "${FILES}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one for a system whose language is neither.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"

LangString ShortcutDescription ${LANG_ENGLISH} "Remote control for media playback from a phone's browser"
LangString ShortcutDescription ${LANG_GERMAN} "Fernbedienung für die Medienwiedergabe aus dem Browser des Handys"
LangString FirewallAdding ${LANG_ENGLISH} "Windows Firewall: allowing ${PRODUCT} on private networks"
LangString FirewallAdding ${LANG_GERMAN} "Windows-Firewall: ${PRODUCT} in privaten Netzwerken zulassen"
LangString FirewallFailed ${LANG_ENGLISH} "The firewall rule could not be added (netsh: $0). Windows will ask when the server is first started: allow private networks."
LangString FirewallFailed ${LANG_GERMAN} "Die Firewall-Regel konnte nicht angelegt werden (netsh: $0). Windows fragt beim ersten Serverstart nach: private Netzwerke zulassen."
LangString FirewallRemoving ${LANG_ENGLISH} "Windows Firewall: removing the rule for ${PRODUCT}"
LangString FirewallRemoving ${LANG_GERMAN} "Windows-Firewall: die Regel für ${PRODUCT} entfernen"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${PUBLISHER}, MIT licence"

Function .onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Function un.onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Section "${PRODUCT}"
  !insertmacro InstallReleaseFiles

  ; The program serves GFX\ from its working directory: the shortcut starts it in $INSTDIR, which
  ; CreateShortcut takes from the output path.
  SetOutPath "$INSTDIR"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${PRODUCT}.exe" "" "$INSTDIR\${PRODUCT}.exe" 0 \
    SW_SHOWNORMAL "" "$(ShortcutDescription)"

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PRODUCT}.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}

  ; A rule left by an earlier install is replaced, not doubled. A firewall that can't be reached
  ; (a policy, a missing service) doesn't fail the install: Windows then asks on the first start.
  DetailPrint "$(FirewallAdding)"
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall delete rule ${FIREWALL_RULE_OF_THIS_PROGRAM}'
  Pop $0
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall add rule ${FIREWALL_RULE}'
  Pop $0
  StrCmp $0 "0" +2
    DetailPrint "$(FirewallFailed)"
SectionEnd

Section "Uninstall"
  DetailPrint "$(FirewallRemoving)"
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall delete rule ${FIREWALL_RULE_OF_THIS_PROGRAM}'
  Pop $0

  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  !insertmacro RemoveReleaseFiles
  Delete "$INSTDIR\Uninstall.exe"
  ; Only empty folders go: whatever else somebody put there stays.
  RMDir "$INSTDIR\GFX"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
