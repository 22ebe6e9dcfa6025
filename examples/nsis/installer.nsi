; An installer of a product kept up to date by the QuillMarrow Updater: a
; per-user install into one folder per version, silent when the Updater runs
; it (/verysilent), registered with the Updater after it installed, and
; carrying the Updater's own files. Copy it and put your product's files in
; the section marked below. Build it (README.md beside this file):
;
;   makensis -DVERSION=1.1 -DUPDATER_DIST=/path/to/build/win32/dist installer.nsi
;
; Defines (makensis -D<name>=<value>; /D on Windows):
;   VERSION        the product's version, dotted numbers (required)
;   UPDATER_DIST   folder holding Updater.exe, notifier.exe and whatsnew.xsl,
;                  the build's dist folder: an absolute path, since makensis
;                  reads relative ones from this script's folder (required)
;   PRODUCT_NAME   the name shown and the product folder's name ("Acme Pad")
;   PUBLISHER      who publishes it, for the version resource ("Acme")
;   INTNAME        the product's name for the Updater ("acme-pad")
;   UPDATE_URL     the address of its update manifest
;   SIGNER         the publisher pins, ";" between two (none: not pinned)
;   OUTFILE        the installer's file (Setup-<INTNAME>-<VERSION>.exe)
;
; Machine-wide instead of per user: RequestExecutionLevel admin,
; SetShellVarContext all, the product folder under $PROGRAMFILES
; ("$PROGRAMFILES\Acme\Pad"), needadmin="yes" in the description and
; -runmode=addsystask in place of -runmode=addtask. The Updater then keeps
; MachineProducts.xml and, running as the local system account, its log in
; the parent of the product folder ("$PROGRAMFILES\Acme"), so run addproduct
; with the Updater in the product folder, as below.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel user

!ifndef VERSION
  !error "Give the product's version: -DVERSION=1.1"
!endif
!ifndef UPDATER_DIST
  !error "Give the folder of Updater.exe, notifier.exe and whatsnew.xsl: -DUPDATER_DIST=<folder>"
!endif
!ifndef PRODUCT_NAME
  !define PRODUCT_NAME "Acme Pad"
!endif
!ifndef PUBLISHER
  !define PUBLISHER "Acme"
!endif
!ifndef INTNAME
  !define INTNAME "acme-pad"
!endif
!ifndef UPDATE_URL
  !define UPDATE_URL "https://updates.example.com/${INTNAME}/update.xml?id={updaterguid}"
!endif
!ifndef SIGNER
  !define SIGNER ""
!endif
!ifndef OUTFILE
  !define OUTFILE "Setup-${INTNAME}-${VERSION}.exe"
!endif

!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh

Name "${PRODUCT_NAME} ${VERSION}"
OutFile "${OUTFILE}"
ShowInstDetails show

; The version resource says which version this is; the publishing tool
; refuses to publish it under another number.
!searchparse /noerrors "${VERSION}.0.0.0.0" "" VI_1 "." VI_2 "." VI_3 "." VI_4 "."
VIProductVersion "${VI_1}.${VI_2}.${VI_3}.${VI_4}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT_NAME}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT_NAME} ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright ${PUBLISHER}"

; The product folder: the Updater's files and the uninstaller lie in it, each
; version in a folder of its own below it, named after the version.
Var ProductDir

Page instfiles
UninstPage instfiles

Function .onInit
  ; The Updater starts an installer with /verysilent, a switch NSIS does not
  ; know (its own is /S): without this the installer shows its window and
  ; waits for a click that never comes, until the Updater ends it after 30
  ; minutes and counts a failed install.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/verysilent" $1
  ${IfNot} ${Errors}
    SetSilent silent
  ${EndIf}
  StrCpy $ProductDir "$LOCALAPPDATA\${PRODUCT_NAME}"
  StrCpy $INSTDIR "$ProductDir\${VERSION}"
FunctionEnd

; $R0 with the characters XML gives a meaning to written as entities, for an
; attribute value in double quotes (a path may hold "&", a user name "'").
Function XmlEscape
  ${WordReplace} $R0 "&" "&amp;" "+" $R0
  ${WordReplace} $R0 "<" "&lt;" "+" $R0
  ${WordReplace} $R0 ">" "&gt;" "+" $R0
  ${WordReplace} $R0 '"' "&quot;" "+" $R0
FunctionEnd

; Writes $R0 as UTF-8 to the open file $R1. The Updater reads a product
; description as UTF-8; FileWrite would write the system's code page, which
; turns a user name such as "José" in a path into something else.
Function WriteUtf8
  System::Call "kernel32::WideCharToMultiByte(i 65001, i 0, w R0, i -1, p 0, i 0, p 0, p 0) i .r2"
  System::Alloc $2
  Pop $3
  System::Call "kernel32::WideCharToMultiByte(i 65001, i 0, w R0, i -1, p r3, i r2, p 0, p 0) i .r2"
  IntOp $2 $2 - 1 ; without the terminating zero
  System::Call "kernel32::WriteFile(p R1, p r3, i r2, *i 0, p 0)"
  System::Free $3
FunctionEnd

!macro WriteLine text
  StrCpy $R0 `${text}`
  Call WriteUtf8
!macroend

; One attribute, its value escaped.
!macro WriteAttribute name value
  StrCpy $R0 `${value}`
  Call XmlEscape
  StrCpy $R0 ` ${name}="$R0"`
  Call WriteUtf8
!macroend

Section
  SetOutPath "$INSTDIR"

  ; ---- Your product's files go here, into the version folder, e.g.
  ;   File /r "build\release\*.*"
  FileOpen $0 "$INSTDIR\version.txt" w
  FileWrite $0 "${PRODUCT_NAME} ${VERSION}$\r$\n"
  FileClose $0
  ; Like many installers this one writes its default settings at every
  ; install; the "preserve" registry action in the description below keeps
  ; what the user chose across updates that the Updater runs.
  WriteRegStr HKCU "Software\${PRODUCT_NAME}" "Settings" "defaults of ${VERSION}"
  ; ----

  ; The Updater's files. The scheduled task that addtask makes runs the
  ; Updater.exe found in the parent of the folder of the Updater that made
  ; it, and that Updater shows its notices with notifier.exe and
  ; whatsnew.xsl beside it. So: all three into the product folder, and a copy
  ; of Updater.exe into the version folder to run addtask with.
  ;
  ; During an update the Updater in the product folder is the one running
  ; this installer. A running program can't be written over, but it can be
  ; renamed: the copy set aside goes at the next install.
  Delete "$ProductDir\Updater.exe.old"
  Rename "$ProductDir\Updater.exe" "$ProductDir\Updater.exe.old"
  SetOutPath "$ProductDir"
  File "${UPDATER_DIST}/Updater.exe"
  File "${UPDATER_DIST}/notifier.exe"
  File "${UPDATER_DIST}/whatsnew.xsl"
  Delete "$ProductDir\Updater.exe.old"
  SetOutPath "$INSTDIR"
  File "${UPDATER_DIST}/Updater.exe"
  WriteUninstaller "$ProductDir\uninstall.exe"

  ; The product description of this version, in its version folder.
  ClearErrors
  FileOpen $R1 "$INSTDIR\product.xml" w
  ${If} ${Errors}
    Abort "Can't write $INSTDIR\product.xml"
  ${EndIf}
  !insertmacro WriteLine `<?xml version="1.0" encoding="UTF-8"?>$\r$\n<product`
  !insertmacro WriteAttribute intname "${INTNAME}"
  !insertmacro WriteAttribute friendlyname "${PRODUCT_NAME}"
  !insertmacro WriteAttribute version "${VERSION}"
  !insertmacro WriteAttribute updateurl "${UPDATE_URL}"
  !insertmacro WriteAttribute productdir "$ProductDir"
  !insertmacro WriteAttribute uninstall "$ProductDir\uninstall.exe"
  !insertmacro WriteAttribute needadmin "no"
  !if "${SIGNER}" != ""
    !insertmacro WriteAttribute signer "${SIGNER}"
  !endif
  !insertmacro WriteLine `>$\r$\n  <registryactions>$\r$\n    <value`
  !insertmacro WriteAttribute action "preserve"
  !insertmacro WriteAttribute root "HKCU"
  !insertmacro WriteAttribute key "Software\${PRODUCT_NAME}"
  !insertmacro WriteAttribute name "Settings"
  !insertmacro WriteLine `/>$\r$\n  </registryactions>$\r$\n</product>$\r$\n`
  FileClose $R1

  ; Register this version. The whole argument is quoted, as Windows programs
  ; quote one ("-info=<path>"); -info="<path>" works as well. addproduct exits
  ; with 0 only when the product was registered; an installer that exits 0
  ; without registering the version is counted as a failed attempt.
  ExecWait `"$ProductDir\Updater.exe" -runmode=addproduct "-info=$INSTDIR\product.xml"` $0
  ${If} $0 != 0
    Abort "Registering ${PRODUCT_NAME} ${VERSION} with the Updater failed (exit code $0)"
  ${EndIf}
  ; The scheduled task that runs $ProductDir\Updater.exe every 4 hours.
  ExecWait `"$INSTDIR\Updater.exe" -runmode=addtask` $0
SectionEnd

Function un.onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/verysilent" $1
  ${IfNot} ${Errors}
    SetSilent silent
  ${EndIf}
FunctionEnd

; The uninstaller lies in the product folder ($INSTDIR here). delproduct
; also removes the user's task once no product of the user is left.
Section "Uninstall"
  ExecWait `"$INSTDIR\Updater.exe" -runmode=delproduct -name=${INTNAME}`
  RMDir /r "$INSTDIR"
SectionEnd
