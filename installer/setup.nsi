; The installer of the release: puts the gauges into a simulator folder,
; records what it wrote (with the hashes) and writes an uninstaller that
; removes exactly that. Built by tools/release.sh, which passes
;   VERSION, PRODUCT  the project's version and product name (CMakeLists.txt)
;   PAYLOAD           the release's dist/ tree
;   FILES             an include listing the files we install, with their SHA-256
;   OUTFILE           where the installer goes
; Silent use: setup.exe /S /D=C:\path\to\simulator (/D last, unquoted).
; Exit codes: 0 installed, 1 cancelled by the user, 2 not installed (a
; message says why and what to do).

Unicode true
; TARGET amd64-unicode: the same installer as a 64-bit program, which
; tools/installer-test.sh runs under 64-bit Wine where 32-bit programs cannot
; run. The release's installer is the 32-bit one.
!ifdef TARGET
  Target ${TARGET}
!endif
RequestExecutionLevel user
SetCompressor /SOLID lzma
; The installed files carry the time they were installed, and the installer
; holds no build time: the same sources give the same installer.
SetDateSave off
AllowSkipFiles off
ManifestSupportedOS all

!include LogicLib.nsh
!include "${FILES}"

!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\business-jet-gauges"
; Our own folder in the simulator folder: the uninstaller and the record.
!define OURS "business-jet-gauges"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDirRegKey HKCU "${KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

; No holder to name in a copyright line.
!pragma warning disable 9100
VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION}: installer"
VIAddVersionKey /LANG=1033 "OriginalFilename" "business-jet-gauges-${VERSION}-setup.exe"

PageEx directory
  DirText "Choose the simulator folder: the folder that holds the simulator's program \
(and its Gauges folder). The gauges go into its Gauges folder, their clicks into its sound \
folder." "Simulator folder"
  PageCallbacks "" "" CheckSimulatorFolder
PageExEnd
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var Sim          ; the simulator folder
Var DllOurs      ; 1: GaugeSound.dll is one we installed (now or before)
Var SoundOurs    ; 1: we created the sound folder (now or before)
Var GaugesOurs   ; 1: we created the Gauges folder (now or before)
Var Left         ; what the uninstaller left, one line each
Var InUse        ; the record lines of files left because they are in use
Var MadeSound    ; 1: this run made the sound folder
Var MadeGauges   ; 1: this run made the Gauges folder

; Stops the installation with a message that says what to do; exit code 2.
!macro FAIL text
  DetailPrint "${text}"
  MessageBox MB_OK|MB_ICONSTOP "${text}" /SD IDOK
  SetErrorLevel 2
  Call CleanUp
  Abort
!macroend

; Strips a line's end.
!macro TRIM var
  ${Do}
    StrCpy $9 ${var} 1 -1
    ${If} $9 == "$\r"
    ${OrIf} $9 == "$\n"
      StrCpy ${var} ${var} -1
    ${Else}
      ${ExitDo}
    ${EndIf}
  ${Loop}
!macroend

; $0: a file's path in, its SHA-256 in lower-case hex out ("" when it cannot
; be read). Windows' own CryptoAPI, through the System plug-in.
!macro SHA256_FUNCTION un
Function ${un}Sha256
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  Push $7
  Push $8
  StrCpy $1 0
  StrCpy $3 0
  StrCpy $5 0
  ; PROV_RSA_AES (24), CRYPT_VERIFYCONTEXT
  System::Call 'advapi32::CryptAcquireContextW(*p .r1, p 0, p 0, i 24, i 0xF0000000) i .r2'
  ${If} $2 <> 0
    System::Call 'advapi32::CryptCreateHash(p r1, i 0x800C, p 0, i 0, *p .r3) i .r2'  ; CALG_SHA_256
  ${EndIf}
  ; GENERIC_READ, shared with every other opener, OPEN_EXISTING
  System::Call 'kernel32::CreateFileW(w r0, i 0x80000000, i 7, p 0, i 3, i 0, p 0) p .r4'
  StrCpy $0 ""
  ${If} $2 <> 0
  ${AndIf} $4 P<> -1
    System::Alloc 65536
    Pop $5
    ${Do}
      System::Call 'kernel32::ReadFile(p r4, p r5, i 65536, *i .r6, p 0) i .r2'
      ${If} $2 = 0
        StrCpy $0 "-"
        ${ExitDo}
      ${EndIf}
      ${If} $6 = 0
        ${ExitDo}
      ${EndIf}
      System::Call 'advapi32::CryptHashData(p r3, p r5, i r6, i 0) i .r2'
      ${If} $2 = 0
        StrCpy $0 "-"
        ${ExitDo}
      ${EndIf}
    ${Loop}
    ${If} $0 == ""
      System::Call 'advapi32::CryptGetHashParam(p r3, i 2, p r5, *i 32, i 0) i .r2'  ; HP_HASHVAL
      ${If} $2 <> 0
        ${For} $7 0 31
          IntPtrOp $8 $5 + $7
          System::Call '*$8(&i1 .r6)'
          IntOp $6 $6 & 0xFF
          IntFmt $6 "%02x" $6
          StrCpy $0 "$0$6"
        ${Next}
      ${EndIf}
    ${EndIf}
    ${IfThen} $0 == "-" ${|} StrCpy $0 "" ${|}
    System::Free $5
  ${EndIf}
  ${If} $4 P<> -1
    System::Call 'kernel32::CloseHandle(p r4)'
  ${EndIf}
  ${If} $3 <> 0
    System::Call 'advapi32::CryptDestroyHash(p r3)'
  ${EndIf}
  ${If} $1 <> 0
    System::Call 'advapi32::CryptReleaseContext(p r1, i 0)'
  ${EndIf}
  Pop $8
  Pop $7
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
FunctionEnd
!macroend
!insertmacro SHA256_FUNCTION ""
!insertmacro SHA256_FUNCTION "un."

Function .onInit
  ; A folder the user did not choose never gets our files: the silent
  ; install needs /D=.
  ${If} ${Silent}
  ${AndIf} $INSTDIR == ""
    SetErrorLevel 2
    Quit
  ${EndIf}
FunctionEnd

; Leaving the folder page: a folder without a Gauges folder is probably not
; the simulator folder; the user may go on or choose again.
Function CheckSimulatorFolder
  ${IfNot} ${FileExists} "$INSTDIR\Gauges\*.*"
    MessageBox MB_YESNO|MB_ICONEXCLAMATION "$INSTDIR has no Gauges folder, so it is probably \
not the simulator folder (the folder that holds the simulator's program).$\n$\nInstall here \
all the same? Choose No to pick another folder." /SD IDNO IDYES +2
    Abort
  ${EndIf}
FunctionEnd

; Removes what an install that stopped half-way made: the staged files and
; the folders this run made (each only if empty: an earlier install's stay).
Function CleanUp
  !macro CLEAN_NEW folder name sha
    Delete "$Sim\${folder}\${name}.new"
  !macroend
  !insertmacro OUR_FILES CLEAN_NEW
  Delete "$Sim\GaugeSound.dll.new"
  Delete "$Sim\${OURS}\installed.txt.new"
  RMDir "$Sim\${OURS}"
  ${IfThen} $MadeSound = 1 ${|} RMDir "$Sim\sound" ${|}
  ${IfThen} $MadeGauges = 1 ${|} RMDir "$Sim\Gauges" ${|}
FunctionEnd

; Reads the record of an earlier install: whether GaugeSound.dll (still
; unchanged) and the folders were ours.
Function ReadOldRecord
  StrCpy $DllOurs 0
  StrCpy $SoundOurs 0
  StrCpy $GaugesOurs 0
  ClearErrors
  FileOpen $1 "$Sim\${OURS}\installed.txt" r
  IfErrors done
  ${Do}
    ClearErrors
    FileRead $1 $2
    ${If} ${Errors}
      ${ExitDo}
    ${EndIf}
    !insertmacro TRIM $2
    ${If} $2 == "folder sound"
      StrCpy $SoundOurs 1
    ${ElseIf} $2 == "folder Gauges"
      StrCpy $GaugesOurs 1
    ${Else}
      StrCpy $3 $2 "" 70
      ${If} $3 == "GaugeSound.dll"
        StrCpy $4 $2 64 5
        StrCpy $0 "$Sim\GaugeSound.dll"
        Call Sha256
        ${IfThen} $0 == $4 ${|} StrCpy $DllOurs 1 ${|}
      ${EndIf}
    ${EndIf}
  ${Loop}
  FileClose $1
  done:
FunctionEnd

; Fails unless `folder` takes a new file.
!macro WRITABLE folder
  ClearErrors
  FileOpen $1 "${folder}\installed.probe" w
  ${If} ${Errors}
    !insertmacro FAIL "Cannot write in ${folder} (read-only, or not yours). Make the folder \
writable, or run the installer as an administrator, then run it again. Nothing was installed."
  ${EndIf}
  FileClose $1
  Delete "${folder}\installed.probe"
!macroend

; Fails when a file we replace cannot be written (the simulator has it open).
!macro REPLACEABLE path
  ${If} ${FileExists} "${path}"
    ClearErrors
    FileOpen $1 "${path}" a
    ${If} ${Errors}
      !insertmacro FAIL "Cannot replace ${path}: it is in use or read-only. Close the simulator \
(or make the file writable), then run the installer again. Nothing was installed."
    ${EndIf}
    FileClose $1
  ${EndIf}
!macroend

; Copies one file from the payload to its name with .new beside the target.
!macro STAGE from to
  System::Call 'kernel32::CopyFileW(w "${from}", w "${to}.new", i 0) i .r0'
  ${If} $0 = 0
    !insertmacro FAIL "Cannot write ${to}.new (the disk may be full). Free some space, then \
run the installer again. Nothing was installed."
  ${EndIf}
!macroend

!macro COMMIT path
  System::Call 'kernel32::MoveFileExW(w "${path}.new", w "${path}", i 1) i .r0'
  ${If} $0 = 0
    !insertmacro FAIL "Cannot replace ${path}. Close the simulator, then run the installer again."
  ${EndIf}
!macroend

Section "install"
  StrCpy $Sim $INSTDIR
  StrCpy $MadeSound 0
  StrCpy $MadeGauges 0
  ${IfNot} ${FileExists} "$Sim\Gauges\*.*"
    ${If} ${Silent}
      !insertmacro FAIL "$Sim has no Gauges folder: it is not the simulator folder. Give the \
folder that holds the simulator's program with /D=."
    ${EndIf}
  ${EndIf}
  Call ReadOldRecord
  ${IfNot} ${FileExists} "$Sim\Gauges\*.*"
    ; The user chose this folder all the same.
    !insertmacro WRITABLE "$Sim"
    CreateDirectory "$Sim\Gauges"
    StrCpy $GaugesOurs 1
    StrCpy $MadeGauges 1
  ${EndIf}

  ; Everything checked before anything is made or replaced.
  !insertmacro WRITABLE "$Sim"
  !insertmacro WRITABLE "$Sim\Gauges"
  ${If} ${FileExists} "$Sim\sound\*.*"
    !insertmacro WRITABLE "$Sim\sound"
  ${EndIf}
  ${If} ${FileExists} "$Sim\${OURS}\*.*"
    !insertmacro WRITABLE "$Sim\${OURS}"
  ${EndIf}
  !macro CHECK_FILE folder name sha
    !insertmacro REPLACEABLE "$Sim\${folder}\${name}"
  !macroend
  !insertmacro OUR_FILES CHECK_FILE
  !insertmacro REPLACEABLE "$Sim\${OURS}\installed.txt"
  !insertmacro REPLACEABLE "$Sim\${OURS}\uninstall.exe"
  ${IfNot} ${FileExists} "$Sim\GaugeSound.dll"
    StrCpy $DllOurs 1
  ${EndIf}
  ${If} $DllOurs = 1
    !insertmacro REPLACEABLE "$Sim\GaugeSound.dll"
  ${EndIf}

  ${IfNot} ${FileExists} "$Sim\sound\*.*"
    CreateDirectory "$Sim\sound"
    StrCpy $SoundOurs 1
    StrCpy $MadeSound 1
  ${EndIf}
  CreateDirectory "$Sim\${OURS}"

  InitPluginsDir
  SetOutPath "$PLUGINSDIR\payload"
  File /r "${PAYLOAD}\*.*"
  SetOutPath "$Sim"

  !macro STAGE_FILE folder name sha
    !insertmacro STAGE "$PLUGINSDIR\payload\${folder}\${name}" "$Sim\${folder}\${name}"
  !macroend
  !insertmacro OUR_FILES STAGE_FILE
  ${If} $DllOurs = 1
    !insertmacro STAGE "$PLUGINSDIR\payload\GaugeSound\GaugeSound.dll" "$Sim\GaugeSound.dll"
  ${EndIf}

  ; The record: every file we wrote with its hash, and the folders we made.
  ClearErrors
  FileOpen $2 "$Sim\${OURS}\installed.txt.new" w
  ${If} ${Errors}
    !insertmacro FAIL "Cannot write $Sim\${OURS}\installed.txt.new. Make the folder writable, \
then run the installer again. Nothing was installed."
  ${EndIf}
  FileWrite $2 "version ${VERSION}$\r$\n"
  ${IfThen} $GaugesOurs = 1 ${|} FileWrite $2 "folder Gauges$\r$\n" ${|}
  ${IfThen} $SoundOurs = 1 ${|} FileWrite $2 "folder sound$\r$\n" ${|}
  !macro RECORD folder name sha
    FileWrite $2 "file ${sha} ${folder}\${name}$\r$\n"
  !macroend
  !insertmacro OUR_FILES RECORD
  ${IfThen} $DllOurs = 1 ${|} FileWrite $2 "file ${GAUGESOUND_SHA256} GaugeSound.dll$\r$\n" ${|}
  FileClose $2

  !macro COMMIT_FILE folder name sha
    !insertmacro COMMIT "$Sim\${folder}\${name}"
    DetailPrint "Installed ${folder}\${name}"
  !macroend
  !insertmacro OUR_FILES COMMIT_FILE
  ${If} $DllOurs = 1
    !insertmacro COMMIT "$Sim\GaugeSound.dll"
    DetailPrint "Installed GaugeSound.dll"
  ${Else}
    DetailPrint "Kept the GaugeSound.dll that was already in $Sim: other gauges rely on it."
  ${EndIf}
  !insertmacro COMMIT "$Sim\${OURS}\installed.txt"

  ; What is on the disk now must be what we meant to write.
  !macro VERIFY folder name sha
    StrCpy $0 "$Sim\${folder}\${name}"
    Call Sha256
    ${If} $0 != "${sha}"
      !insertmacro FAIL "$Sim\${folder}\${name} does not hold what was written (the disk may be \
full or failing). Free some space, then run the installer again."
    ${EndIf}
  !macroend
  !insertmacro OUR_FILES VERIFY

  ClearErrors
  WriteUninstaller "$Sim\${OURS}\uninstall.exe"
  ${If} ${Errors}
    !insertmacro FAIL "Cannot write the uninstaller into $Sim\${OURS}. Make the folder writable, \
then run the installer again."
  ${EndIf}
  WriteRegStr HKCU "${KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${KEY}" "InstallLocation" "$Sim"
  WriteRegStr HKCU "${KEY}" "UninstallString" '"$Sim\${OURS}\uninstall.exe"'
  WriteRegStr HKCU "${KEY}" "QuietUninstallString" '"$Sim\${OURS}\uninstall.exe" /S'
  WriteRegDWORD HKCU "${KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${KEY}" "NoRepair" 1
SectionEnd

; The uninstaller runs from our folder's copy: $INSTDIR is $Sim\business-jet-gauges.
Section "Uninstall"
  StrLen $0 "\${OURS}"
  IntOp $0 0 - $0
  StrCpy $Sim $INSTDIR $0
  StrCpy $Left ""
  StrCpy $InUse ""
  ClearErrors
  FileOpen $1 "$INSTDIR\installed.txt" r
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "$INSTDIR\installed.txt, the record of what was installed, \
cannot be read: nothing was removed. Remove the gauges by hand (see INSTALL.txt)." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  ${Do}
    ClearErrors
    FileRead $1 $2
    ${If} ${Errors}
      ${ExitDo}
    ${EndIf}
    !insertmacro TRIM $2
    StrCpy $3 $2 5
    ${If} $3 != "file "
      ${Continue}
    ${EndIf}
    StrCpy $4 $2 64 5     ; the hash
    StrCpy $5 $2 "" 70    ; the path in the simulator folder
    ${IfNot} ${FileExists} "$Sim\$5"
      ${Continue}
    ${EndIf}
    StrCpy $0 "$Sim\$5"
    Call un.Sha256
    ${If} $0 != $4
      StrCpy $Left "$Left$5: changed since it was installed, so it was left. Delete it yourself \
if you no longer want it.$\r$\n"
      DetailPrint "Left $5: changed since it was installed"
      ${Continue}
    ${EndIf}
    ClearErrors
    Delete "$Sim\$5"
    ${If} ${Errors}
      StrCpy $Left "$Left$5: in use (is the simulator running?), so it was left. Close the \
simulator and run the uninstaller again.$\r$\n"
      StrCpy $InUse "$InUse$2$\r$\n"
      DetailPrint "Left $5: in use"
    ${Else}
      DetailPrint "Removed $5"
    ${EndIf}
  ${Loop}
  ; Folders we made, if they are empty now.
  FileSeek $1 0 SET
  ${Do}
    ClearErrors
    FileRead $1 $2
    ${If} ${Errors}
      ${ExitDo}
    ${EndIf}
    !insertmacro TRIM $2
    StrCpy $3 $2 7
    ${If} $3 == "folder "
      StrCpy $5 $2 "" 7
      RMDir "$Sim\$5"
    ${EndIf}
  ${Loop}
  FileClose $1

  Delete "$INSTDIR\left.txt"
  ${If} $InUse == ""
    Delete "$INSTDIR\installed.txt"
    Delete "$INSTDIR\uninstall.exe"
    DeleteRegKey HKCU "${KEY}"
  ${Else}
    ; Kept for the next run: only what is still to be removed.
    FileOpen $1 "$INSTDIR\installed.txt" w
    FileWrite $1 "$InUse"
    FileClose $1
    SetErrorLevel 2
  ${EndIf}
  ${If} $Left != ""
    FileOpen $1 "$INSTDIR\left.txt" w
    FileWrite $1 "The uninstaller of ${PRODUCT} ${VERSION} left these files in $Sim:$\r$\n$Left"
    FileClose $1
    MessageBox MB_OK|MB_ICONEXCLAMATION "These files were left in $Sim:$\r$\n$\r$\n$Left$\r$\n\
(This list is in $INSTDIR\left.txt.)" /SD IDOK
  ${EndIf}
  RMDir "$INSTDIR"
SectionEnd
