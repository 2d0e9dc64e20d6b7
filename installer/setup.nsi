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
; Simulators often live where only an administrator may write (under
; Program Files), so the installer and the uninstaller ask for administrator
; rights when they start, and the uninstall entry is the machine's, for
; every user. Entries of earlier versions were the user's own: an install
; into the same folder takes their place.
; Each simulator folder has its own uninstall entry and its own uninstaller,
; which removes only what the install into that folder wrote. A silent run
; prints its details on the standard output and a failure's message on the
; standard error, where it has them.

Unicode true
; TARGET amd64-unicode: the same installer as a 64-bit program, which
; tools/installer-test.sh runs under 64-bit Wine where 32-bit programs cannot
; run. The release's installer is the 32-bit one.
!ifdef TARGET
  Target ${TARGET}
!endif
RequestExecutionLevel admin
SetCompressor /SOLID lzma
; The installed files carry the time they were installed, and the installer
; holds no build time: the same sources give the same installer.
SetDateSave off
AllowSkipFiles off
ManifestSupportedOS all

!include LogicLib.nsh
!include "${FILES}"

!define UNINSTALL_KEYS "Software\Microsoft\Windows\CurrentVersion\Uninstall"
!define ENTRIES HKLM        ; where the uninstall entries are
!define OLD_ENTRIES HKCU    ; where earlier versions wrote theirs
; Our own folder in the simulator folder: the uninstaller and the record.
; The uninstall entry of a folder is ${OURS}-<id>, the id made of the folder's
; path (FolderKey); 1.0.0 and before kept one entry, ${OURS}, for every folder.
!define OURS "business-jet-gauges"
; The longest path Windows takes, without the end of the string (MAX_PATH).
!define LONGEST_PATH 259

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
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
Var Ignored      ; the record lines the uninstaller ignored, one line each
Var Key          ; the uninstall entry of this folder

; $R9: a text to print on the standard output (-11) or error (-12) of a
; silent run: the details and a failure's message, where there is a window
; to see neither. Nothing when the run has no such handle.
!macro SAY_FUNCTION un
Function ${un}Say
  Exch $R8  ; the handle's number
  Push $R7
  Push $R6
  Push $R5
  ${If} ${Silent}
    System::Call 'kernel32::GetStdHandle(i R8) p .R7'
    ${If} $R7 P<> 0
    ${AndIf} $R7 P<> -1
      StrCpy $R6 "$R9$\r$\n"
      ; As UTF-8.
      System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w R6, i -1, p 0, i 0, p 0, p 0) i .R5'
      System::Alloc $R5
      Pop $R8
      System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w R6, i -1, p R8, i R5, p 0, p 0) i .R5'
      ${If} $R5 > 1
        IntOp $R5 $R5 - 1
        System::Call 'kernel32::WriteFile(p R7, p R8, i R5, *i .R5, p 0)'
      ${EndIf}
      System::Free $R8
    ${EndIf}
  ${EndIf}
  Pop $R5
  Pop $R6
  Pop $R7
  Pop $R8
FunctionEnd
!macroend
!insertmacro SAY_FUNCTION ""
!insertmacro SAY_FUNCTION "un."

; A line of the details, on the standard output too in a silent run.
!macro DETAIL un text
  DetailPrint "${text}"
  StrCpy $R9 "${text}"
  Push -11
  Call ${un}Say
!macroend

; Stops the installation with a message that says what to do; exit code 2.
!macro FAIL text
  DetailPrint "${text}"
  StrCpy $R9 "${text}"
  Push -12
  Call Say
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
; $0 = "" in: the hash of $3 into $0 as hex, through the buffer at $5 (32
; bytes at least); $0 stays "" when it cannot be had.
!macro HASH_VALUE
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
!macroend

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
      !insertmacro HASH_VALUE
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

; $0: a simulator folder in, its uninstall entry's key out: ${OURS}- and the
; first 16 hex digits of the SHA-256 of the folder's full path, in lower
; case, as UTF-16. The installer and the uninstaller of one folder both come
; to the same key however the folder was spelt.
Function ${un}FolderKey
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  Push $7
  Push $8
  System::Call 'kernel32::GetFullPathNameW(w r0, i ${NSIS_MAX_STRLEN}, w .r1, p 0) i .r2'
  ${If} $2 > 0
  ${AndIf} $2 < ${NSIS_MAX_STRLEN}
    StrCpy $0 $1
  ${EndIf}
  System::Call 'kernel32::GetLongPathNameW(w r0, w .r1, i ${NSIS_MAX_STRLEN}) i .r2'
  ${If} $2 > 0
  ${AndIf} $2 < ${NSIS_MAX_STRLEN}
    StrCpy $0 $1
  ${EndIf}
  ${If} $0 != ""
    StrCpy $1 $0 1 -1
    ${IfThen} $1 == "\" ${|} StrCpy $0 $0 -1 ${|}
  ${EndIf}
  System::Call 'user32::CharLowerW(w r0 r0)'
  StrLen $4 $0
  IntOp $4 $4 * 2
  StrCpy $1 0
  StrCpy $3 0
  StrCpy $5 0
  System::Call 'advapi32::CryptAcquireContextW(*p .r1, p 0, p 0, i 24, i 0xF0000000) i .r2'
  ${If} $2 <> 0
    System::Call 'advapi32::CryptCreateHash(p r1, i 0x800C, p 0, i 0, *p .r3) i .r2'
  ${EndIf}
  ${If} $2 <> 0
    System::Call 'advapi32::CryptHashData(p r3, w r0, i r4, i 0) i .r2'
  ${EndIf}
  StrCpy $0 ""
  ${If} $2 <> 0
    System::Alloc 64
    Pop $5
    !insertmacro HASH_VALUE
    System::Free $5
  ${EndIf}
  ${If} $3 <> 0
    System::Call 'advapi32::CryptDestroyHash(p r3)'
  ${EndIf}
  ${If} $1 <> 0
    System::Call 'advapi32::CryptReleaseContext(p r1, i 0)'
  ${EndIf}
  ; Without the hash (no CryptoAPI): the one entry of before.
  ${If} $0 == ""
    StrCpy $0 "${UNINSTALL_KEYS}\${OURS}"
  ${Else}
    StrCpy $0 "${UNINSTALL_KEYS}\${OURS}-$0" -48
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

; Deletes the user's entry `key` of an earlier version if it names the
; folder whose key is $Key.
!macro FORGET_OLD_ENTRY un key
  ReadRegStr $0 ${OLD_ENTRIES} "${key}" "InstallLocation"
  ${If} $0 != ""
    Call ${un}FolderKey
    ${If} $0 == $Key
      DeleteRegKey ${OLD_ENTRIES} "${key}"
    ${EndIf}
  ${EndIf}
!macroend

; $INSTDIR := the folder of the first of our entries under `root` that names one.
!macro EARLIER_INSTALL root
  StrLen $3 "${OURS}"
  StrCpy $1 0
  ${Do}
    EnumRegKey $2 ${root} "${UNINSTALL_KEYS}" $1
    ${If} $2 == ""
      ${ExitDo}
    ${EndIf}
    IntOp $1 $1 + 1
    StrCpy $4 $2 $3
    ${If} $4 == "${OURS}"
      ReadRegStr $INSTDIR ${root} "${UNINSTALL_KEYS}\$2" "InstallLocation"
      ${If} $INSTDIR != ""
        ${ExitDo}
      ${EndIf}
    ${EndIf}
  ${Loop}
!macroend

; Windows asks for administrator rights as the program starts; where it
; could not give them (the user said no, or the request was switched off),
; stop before anything is written, saying how to go on. Exit code 2.
!macro NEED_ADMINISTRATOR un
Function ${un}NeedAdministrator
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    StrCpy $R9 "${PRODUCT} needs administrator rights to change a simulator folder and register \
its uninstaller for the machine, and this program runs without them (as $0). Run it again and \
allow it to make changes, or ask an administrator to run it. Nothing was changed."
    Push -12
    Call ${un}Say
    MessageBox MB_OK|MB_ICONSTOP "$R9" /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
FunctionEnd
!macroend
!insertmacro NEED_ADMINISTRATOR ""
!insertmacro NEED_ADMINISTRATOR "un."

Function .onInit
  ; A folder the user did not choose never gets our files: the silent
  ; install needs /D=.
  ${If} ${Silent}
  ${AndIf} $INSTDIR == ""
    StrCpy $R9 "No simulator folder was given: name it with /D=, last on the command line and \
unquoted (setup.exe /S /D=C:\path\to\simulator). Nothing was installed."
    Push -12
    Call Say
    SetErrorLevel 2
    Quit
  ${EndIf}
  Call NeedAdministrator
  ; The folder page offers the folder of an earlier install, if there is one.
  ${If} $INSTDIR == ""
    !insertmacro EARLIER_INSTALL ${ENTRIES}
  ${EndIf}
  ${If} $INSTDIR == ""
    !insertmacro EARLIER_INSTALL ${OLD_ENTRIES}
  ${EndIf}
FunctionEnd

; $0: a path in; out: "folder", "file", or "" when there is nothing there.
Function PathKind
  Push $1
  System::Call 'kernel32::GetFileAttributesW(w r0) i .r1'
  ${If} $1 = -1
    StrCpy $0 ""
  ${Else}
    IntOp $1 $1 & 0x10  ; FILE_ATTRIBUTE_DIRECTORY
    ${If} $1 <> 0
      StrCpy $0 "folder"
    ${Else}
      StrCpy $0 "file"
    ${EndIf}
  ${EndIf}
  Pop $1
FunctionEnd

; $R9 out: what keeps $INSTDIR from taking our files, and what to do about
; it; "" when nothing does. Asked on leaving the folder page and again before
; the install writes anything.
Function FolderProblem
  Push $0
  Push $1
  Push $2
  Push $3
  StrCpy $R9 ""
  ; The longest path we write, against what Windows takes.
  StrCpy $2 0
  !macro LONGEST path
    StrLen $1 "${path}"
    ${If} $1 > $2
      StrCpy $2 $1
      StrCpy $3 "${path}"
    ${EndIf}
  !macroend
  !macro LONGEST_FILE folder name sha
    !insertmacro LONGEST "$INSTDIR\${folder}\${name}.new"
  !macroend
  !insertmacro OUR_FILES LONGEST_FILE
  !insertmacro LONGEST "$INSTDIR\GaugeSound.dll.new"
  !insertmacro LONGEST "$INSTDIR\${OURS}\installed.txt.new"
  !insertmacro LONGEST "$INSTDIR\${OURS}\installed.probe"
  !insertmacro LONGEST "$INSTDIR\${OURS}\uninstall.exe"
  ${If} $2 > ${LONGEST_PATH}
    StrLen $1 $INSTDIR
    IntOp $0 $2 - $1
    IntOp $0 ${LONGEST_PATH} - $0
    StrCpy $R9 "The path of a file the installer writes, $3, is $2 characters long: longer than \
Windows allows (${LONGEST_PATH} characters). The simulator folder's path has $1 characters; choose \
a simulator folder whose path has at most $0."
    Goto done
  ${EndIf}

  StrCpy $0 $INSTDIR
  Call PathKind
  ${If} $0 == "file"
    StrCpy $R9 "$INSTDIR is a file, not a folder. Give the simulator folder: the folder that \
holds the simulator's program."
    Goto done
  ${EndIf}
  !macro NO_FILE_THERE folder what
    StrCpy $0 "$INSTDIR\${folder}"
    Call PathKind
    ${If} $0 == "file"
      StrCpy $R9 "$INSTDIR\${folder} is a file, not a folder: ${what} go into a folder of that \
name. Move the file aside (or rename it)."
      Goto done
    ${EndIf}
  !macroend
  !insertmacro NO_FILE_THERE "Gauges" "the gauges"
  !insertmacro NO_FILE_THERE "sound" "their click sounds"
  !insertmacro NO_FILE_THERE "${OURS}" "the uninstaller and the record of what was installed"
  !macro NO_FOLDER_THERE path
    StrCpy $0 "${path}"
    Call PathKind
    ${If} $0 == "folder"
      StrCpy $R9 "${path} is a folder, not a file: the installer writes a file of that name. \
Move the folder aside (or rename it)."
      Goto done
    ${EndIf}
  !macroend
  !macro NO_FOLDER_FOR folder name sha
    !insertmacro NO_FOLDER_THERE "$INSTDIR\${folder}\${name}"
  !macroend
  !insertmacro OUR_FILES NO_FOLDER_FOR
  !insertmacro NO_FOLDER_THERE "$INSTDIR\${OURS}\installed.txt"
  !insertmacro NO_FOLDER_THERE "$INSTDIR\${OURS}\uninstall.exe"
  done:
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Leaving the folder page: a folder that cannot take our files is refused,
; saying why; one without a Gauges folder is probably not the simulator
; folder, and the user may go on or choose again.
Function CheckSimulatorFolder
  Call FolderProblem
  ${If} $R9 != ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "$R9"
    Abort
  ${EndIf}
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

; $1: the error code of a Windows call that failed in; what it means and
; what to do out.
Function WindowsError
  ${If} $1 = 112     ; ERROR_DISK_FULL
  ${OrIf} $1 = 39    ; ERROR_HANDLE_DISK_FULL
    StrCpy $1 "the disk is full. Free some space, then run the installer again."
  ${ElseIf} $1 = 5   ; ERROR_ACCESS_DENIED
    StrCpy $1 "access is denied (the folder or the file is read-only, or not yours). Make it \
writable, or run the installer as an administrator, then run the installer again."
  ${ElseIf} $1 = 32  ; ERROR_SHARING_VIOLATION
  ${OrIf} $1 = 33    ; ERROR_LOCK_VIOLATION
    StrCpy $1 "the file is in use. Close the simulator, then run the installer again."
  ${ElseIf} $1 = 206 ; ERROR_FILENAME_EXCED_RANGE
    StrCpy $1 "the path is longer than Windows allows. Choose a simulator folder with a shorter \
path, then run the installer again."
  ${ElseIf} $1 = 3   ; ERROR_PATH_NOT_FOUND
    StrCpy $1 "a folder on its path is missing. Check the simulator folder, then run the \
installer again."
  ${Else}
    StrCpy $1 "Windows error $1. Run the installer again; if it fails the same way, check the \
disk and the folder's permissions."
  ${EndIf}
FunctionEnd

; Copies one file from the payload to its name with .new beside the target.
!macro STAGE from to
  System::Call 'kernel32::CopyFileW(w "${from}", w "${to}.new", i 0) i .r0 ?e'
  Pop $1
  ${If} $0 = 0
    Call WindowsError
    !insertmacro FAIL "Cannot write ${to}.new: $1 Nothing was installed."
  ${EndIf}
!macroend

!macro COMMIT path
  System::Call 'kernel32::MoveFileExW(w "${path}.new", w "${path}", i 1) i .r0 ?e'
  Pop $1
  ${If} $0 = 0
    Call WindowsError
    !insertmacro FAIL "Cannot replace ${path}: $1"
  ${EndIf}
!macroend

Section "install"
  StrCpy $Sim $INSTDIR
  StrCpy $MadeSound 0
  StrCpy $MadeGauges 0
  Call FolderProblem
  ${If} $R9 != ""
    !insertmacro FAIL "$R9 Then run the installer again. Nothing was installed."
  ${EndIf}
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
    !insertmacro DETAIL "" "Installed ${folder}\${name}"
  !macroend
  !insertmacro OUR_FILES COMMIT_FILE
  ${If} $DllOurs = 1
    !insertmacro COMMIT "$Sim\GaugeSound.dll"
    !insertmacro DETAIL "" "Installed GaugeSound.dll"
  ${Else}
    !insertmacro DETAIL "" "Kept the GaugeSound.dll that was already in $Sim: other gauges rely on it."
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
  ; This folder's own entry, naming the folder.
  StrCpy $0 $Sim
  Call FolderKey
  StrCpy $Key $0
  WriteRegStr ${ENTRIES} "$Key" "DisplayName" "${PRODUCT} ($Sim)"
  WriteRegStr ${ENTRIES} "$Key" "DisplayVersion" "${VERSION}"
  WriteRegStr ${ENTRIES} "$Key" "InstallLocation" "$Sim"
  WriteRegStr ${ENTRIES} "$Key" "UninstallString" '"$Sim\${OURS}\uninstall.exe"'
  WriteRegStr ${ENTRIES} "$Key" "QuietUninstallString" '"$Sim\${OURS}\uninstall.exe" /S'
  WriteRegDWORD ${ENTRIES} "$Key" "NoModify" 1
  WriteRegDWORD ${ENTRIES} "$Key" "NoRepair" 1
  ; The user's own entries of earlier versions, if they name this folder
  ; (the one entry of 1.0.0 and before, or this folder's): this entry takes
  ; their place.
  !insertmacro FORGET_OLD_ENTRY "" "${UNINSTALL_KEYS}\${OURS}"
  !insertmacro FORGET_OLD_ENTRY "" "$Key"
SectionEnd

; The uninstaller removes only files of its own list, the files this
; installer writes (OUR_FILES and GaugeSound.dll); the record, installed.txt,
; says which of them the install wrote and with which hash. A line of the
; record that names anything else is ignored, and the uninstaller says so.

; $2: a line of the record in; $4 its hash and $5 its path when it is a file
; line ("file <sha256> <path>"), else $5 = "".
Function un.FileLine
  StrCpy $5 ""
  StrCpy $4 $2 5
  ${If} $4 == "file "
    StrCpy $4 $2 1 69
    ${If} $4 == " "
      StrCpy $4 $2 64 5
      StrCpy $5 $2 "" 70
    ${EndIf}
  ${EndIf}
FunctionEnd

; $5: one of our files in; $6 = 1 when it is (a path in the simulator folder).
!macro IS_OURS folder name sha
  ${IfThen} $5 == "${folder}\${name}" ${|} StrCpy $6 1 ${|}
!macroend

; $R0: one of our files (a path in the simulator folder) in; removes it if
; the record has a line for it and the file still has that line's hash.
; $1: the record, open.
Function un.RemoveOurFile
  ; The record's first line for the file.
  StrCpy $R1 ""
  FileSeek $1 0 SET
  ${Do}
    ClearErrors
    FileRead $1 $2
    ${If} ${Errors}
      ${ExitDo}
    ${EndIf}
    !insertmacro TRIM $2
    Call un.FileLine
    ${If} $5 != ""
    ${AndIf} $5 == $R0
      StrCpy $R1 $2
      ${ExitDo}
    ${EndIf}
  ${Loop}
  ${If} $R1 == ""
    Return  ; not written by the install (a GaugeSound.dll that was there before)
  ${EndIf}
  StrCpy $2 $R1
  Call un.FileLine
  ${IfNot} ${FileExists} "$Sim\$R0"
    Return
  ${EndIf}
  StrCpy $0 "$Sim\$R0"
  Call un.Sha256
  ${If} $0 != $4
    StrCpy $Left "$Left$R0: changed since it was installed, so it was left. Delete it yourself \
if you no longer want it.$\r$\n"
    !insertmacro DETAIL "un." "Left $R0: changed since it was installed"
    Return
  ${EndIf}
  ClearErrors
  Delete "$Sim\$R0"
  ${If} ${Errors}
    StrCpy $Left "$Left$R0: in use (is the simulator running?), so it was left. Close the \
simulator and run the uninstaller again.$\r$\n"
    StrCpy $InUse "$InUse$R1$\r$\n"
    !insertmacro DETAIL "un." "Left $R0: in use"
  ${Else}
    !insertmacro DETAIL "un." "Removed $R0"
  ${EndIf}
FunctionEnd

; The uninstaller runs from our folder's copy: $INSTDIR is $Sim\business-jet-gauges.
Function un.onInit
  Call un.NeedAdministrator
FunctionEnd

Section "Uninstall"
  StrLen $0 "\${OURS}"
  IntOp $0 0 - $0
  StrCpy $Sim $INSTDIR $0
  StrCpy $Left ""
  StrCpy $InUse ""
  StrCpy $Ignored ""
  StrCpy $GaugesOurs 0
  StrCpy $SoundOurs 0
  ClearErrors
  FileOpen $1 "$INSTDIR\installed.txt" r
  ${If} ${Errors}
    StrCpy $R9 "$INSTDIR\installed.txt, the record of what was installed, cannot be read: \
nothing was removed. Remove the gauges by hand (see INSTALL.txt)."
    Push -12
    Call un.Say
    MessageBox MB_OK|MB_ICONSTOP "$R9" /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  ; Every line of the record, against what this uninstaller knows.
  ${Do}
    ClearErrors
    FileRead $1 $2
    ${If} ${Errors}
      ${ExitDo}
    ${EndIf}
    !insertmacro TRIM $2
    StrCpy $6 0
    StrCpy $3 $2 8
    ${If} $2 == ""
    ${OrIf} $3 == "version "
      StrCpy $6 1
    ${ElseIf} $2 == "folder Gauges"
      StrCpy $6 1
      StrCpy $GaugesOurs 1
    ${ElseIf} $2 == "folder sound"
      StrCpy $6 1
      StrCpy $SoundOurs 1
    ${Else}
      Call un.FileLine
      ${If} $5 != ""
        !insertmacro OUR_FILES IS_OURS
        ${IfThen} $5 == "GaugeSound.dll" ${|} StrCpy $6 1 ${|}
      ${EndIf}
    ${EndIf}
    ${If} $6 = 0
      StrCpy $Ignored "$Ignored$2$\r$\n"
      !insertmacro DETAIL "un." "Ignored a line of installed.txt that names nothing this installer \
writes: $2"
    ${EndIf}
  ${Loop}

  !macro REMOVE_FILE folder name sha
    StrCpy $R0 "${folder}\${name}"
    Call un.RemoveOurFile
  !macroend
  !insertmacro OUR_FILES REMOVE_FILE
  StrCpy $R0 "GaugeSound.dll"
  Call un.RemoveOurFile
  FileClose $1
  ; Folders we made, if they are empty now.
  ${IfThen} $GaugesOurs = 1 ${|} RMDir "$Sim\Gauges" ${|}
  ${IfThen} $SoundOurs = 1 ${|} RMDir "$Sim\sound" ${|}

  Delete "$INSTDIR\left.txt"
  ${If} $InUse == ""
    Delete "$INSTDIR\installed.txt"
    Delete "$INSTDIR\uninstall.exe"
    ; This folder's entry only: the entries of other folders stay.
    StrCpy $0 $Sim
    Call un.FolderKey
    StrCpy $Key $0
    ReadRegStr $0 ${ENTRIES} "$Key" "InstallLocation"
    ${If} $0 != ""
      Call un.FolderKey
      ${If} $0 == $Key
        DeleteRegKey ${ENTRIES} "$Key"
      ${EndIf}
    ${EndIf}
    !insertmacro FORGET_OLD_ENTRY "un." "$Key"
  ${Else}
    ; Kept for the next run: only what is still to be removed.
    FileOpen $1 "$INSTDIR\installed.txt" w
    FileWrite $1 "$InUse"
    FileClose $1
    SetErrorLevel 2
  ${EndIf}
  StrCpy $R9 ""
  ${If} $Left != ""
    StrCpy $R9 "The uninstaller of ${PRODUCT} ${VERSION} left these files in $Sim:$\r$\n$Left"
  ${EndIf}
  ${If} $Ignored != ""
    StrCpy $R9 "$R9The uninstaller of ${PRODUCT} ${VERSION} ignored these lines of its record \
($INSTDIR\installed.txt): they name nothing it installs, so someone or something changed the \
record. Nothing they name was touched.$\r$\n$Ignored"
  ${EndIf}
  ${If} $R9 != ""
    FileOpen $1 "$INSTDIR\left.txt" w
    FileWrite $1 "$R9"
    FileClose $1
    MessageBox MB_OK|MB_ICONEXCLAMATION "$R9$\r$\n(This is in $INSTDIR\left.txt.)" /SD IDOK
  ${EndIf}
  RMDir "$INSTDIR"
SectionEnd
