# Source this file to learn which Windows build can run on this machine.
# What ships is the 32-bit build (build/win32), and it runs under 32-bit Wine.
# A kernel without 32-bit support (no IA-32 emulation) can't start 32-bit Wine
# at all; there the tests and the demo run a 64-bit build of the same sources
# (build/win64) under 64-bit Wine instead. Sets:
#   QM_WIN_BITS    32 or 64
#   QM_WIN_BUILD   the build folder whose programs run here
#   QM_WIN_WHY     one line: which build runs, and why
_qm_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# The 32-bit Wine loader is a 32-bit program: if it starts, 32-bit programs run.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  export QM_WIN_BITS=32
  QM_WIN_WHY="Windows programs run from build/win32 (32-bit, as shipped) under 32-bit Wine"
else
  export QM_WIN_BITS=64
  QM_WIN_WHY="Windows programs run from build/win64 under 64-bit Wine: this kernel can't run 32-bit programs (the 32-bit Wine loader does not start)"
fi
export QM_WIN_BUILD="$_qm_root/build/win$QM_WIN_BITS"
export QM_WIN_WHY
