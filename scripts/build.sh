#!/usr/bin/env bash
# Configures and builds the builds: build/host (portable modules, native,
# sanitizers) and build/win32 (everything, 32-bit Windows). On a machine that
# can't run 32-bit programs, build/win32 builds only what ships (to show it
# still compiles) and build/win64 builds everything for the tests.
set -euo pipefail
_qm_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
_qm_irr=$(ls -d "$_qm_root"/build/third_party/irrlicht-*/ 2>/dev/null | head -n1 || true)
. "$_qm_root/scripts/winbuild.sh"
jobs=$(nproc)
# One compiler cache for every clone on this machine (paths are taken relative
# to the clone, so another clone's objects count). A launcher named by the
# caller is kept. The builds take it when they are first configured.
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$_qm_root}
fi
cmake -S "$_qm_root" -B "$_qm_root/build/host" -DCMAKE_BUILD_TYPE=Debug -DIRRXML_ROOT="$_qm_irr" >/dev/null
cmake --build "$_qm_root/build/host" -j"$jobs"
cmake -S "$_qm_root" -B "$_qm_root/build/win32" -DCMAKE_BUILD_TYPE=MinSizeRel \
  -DCMAKE_TOOLCHAIN_FILE="$_qm_root/cmake/mingw-i686.cmake" -DIRRXML_ROOT="$_qm_irr" >/dev/null
if [ "$QM_WIN_BITS" = 32 ]; then
  cmake --build "$_qm_root/build/win32" -j"$jobs"
else
  cmake --build "$_qm_root/build/win32" --target Updater notifier Toolpeg -j"$jobs"
  cmake -S "$_qm_root" -B "$_qm_root/build/win64" -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$_qm_root/cmake/mingw-x86_64.cmake" -DIRRXML_ROOT="$_qm_irr" >/dev/null
  cmake --build "$_qm_root/build/win64" -j"$jobs"
fi
