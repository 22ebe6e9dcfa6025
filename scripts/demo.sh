#!/usr/bin/env bash
# The main job, shown from a clean state: builds the programs and runs the
# Updater under Wine with a few run modes, then prints its log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/bootstrap.sh"
. "$root/scripts/build.sh" >/dev/null

trap 'winenv_stop' EXIT
. "$root/scripts/winenv.sh"

updater=build/win32/dist/Updater.exe
log="$WINEPREFIX/drive_c/users/$USER/AppData/Local/updater.log"
[ -n "${USER:-}" ] || log="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/updater.log"
rm -f "$log"
for args in "" "-runmode=bogus" "-runmode=CheckUpdate"; do
  echo "\$ wine $updater $args"
  wine "$updater" $args
done
echo
echo "== $log"
cat "$log"
