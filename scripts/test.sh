#!/usr/bin/env bash
# Builds everything and runs every test: the portable modules natively under
# the sanitizers, then the Windows build under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/bootstrap.sh"
. "$root/scripts/build.sh"

CC=clang CXX=clang++ cmake -S "$root" -B build/fuzz -DQM_FUZZ=ON -DQM_FUZZ_SECONDS=10 \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/fuzz -j"$(nproc)" >/dev/null

status=0
echo "== includes: no climbing, no crossing of the libraries' boundaries"
# Every build made above: the deliverables' build/win32, and build/win64 where
# the Windows tests run from it.
builds=(build/host build/win32 build/fuzz)
[ "$QM_WIN_BUILD" = "$root/build/win32" ] || builds+=("$QM_WIN_BUILD")
python3 "$root/scripts/check_includes.py" "${builds[@]}" || status=1
echo "== functions loaded on first use: each call has its stub"
updaters=(build/win32/dist/Updater.exe)
[ "$QM_WIN_BUILD" = "$root/build/win32" ] || updaters+=("$QM_WIN_BUILD/dist/Updater.exe")
python3 "$root/scripts/check_delay_imports.py" "${updaters[@]}" || status=1

trap 'winenv_stop' EXIT
. "$root/scripts/winenv.sh"

echo "== host tests (sanitizers)"
ctest --test-dir build/host --output-on-failure -j2 || status=1
echo "== fuzz targets: corpus replay and a brief run each"
ctest --test-dir build/fuzz --output-on-failure -j2 || status=1
echo "== Windows tests (Wine)"
echo "$QM_WIN_WHY"
ctest --test-dir "$QM_WIN_BUILD" --output-on-failure -j2 || status=1
exit $status
