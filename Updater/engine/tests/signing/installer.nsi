; A real installer for the signature tests: silent, for the current user,
; it writes nsis.txt into the folder named by QM_INSTALL_DIR.
Unicode true
Name "Signed Sample"
OutFile "${OUT}"
RequestExecutionLevel user
SilentInstall silent

Section
  ReadEnvStr $0 QM_INSTALL_DIR
  CreateDirectory "$0"
  FileOpen $1 "$0\nsis.txt" w
  FileWrite $1 "installed by nsis"
  FileClose $1
SectionEnd
