#!/usr/bin/env bash
# What the Updater costs the machine it runs on, measured under Wine and
# printed as one table. Every figure is measured in the same run as its
# baseline, and every time is the median of several runs (QM_BENCH_RUNS,
# default 7): these machines are shared and noisy, so ratios to a baseline
# say more than the raw times.
#
#   scripts/bench.sh            bootstrap, build what is measured, measure
#
# Rows:
#   size          the deliverables in build/win32/dist (build/win64/dist where
#                 32-bit programs can't run) and the DLLs they import
#   check N       Updater.exe -runmode=checkupdate over N up-to-date user
#                 products against the local update server; baseline: one
#                 curl process making the same N manifest fetches plus one
#                 start of a program that does nothing (the start-up floor)
#   yardstick     the check over 100 products against qm_fetch_yardstick.exe,
#                 a program that makes the same 100 fetches through the
#                 platform's URL calls alone (cache entry removed, blocking
#                 stream read): time and peak memory
#   md5           ComputeOpenFileMd5 on an open 256 MiB file; baseline: md5sum
#   addproduct N  registering a product into a file of N products (in-process)
#   memory        peak resident memory of the check over 100 products; baseline:
#                 the program that does nothing, and the yardstick
# Exit code 0 when everything could be measured (goals met or not), 1 otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs=${QM_BENCH_RUNS:-7}

bash "$root/scripts/bootstrap.sh"
# Where 32-bit programs can't run, what is measured is the 64-bit build of the
# same sources, not what ships.
. "$root/scripts/winbuild.sh"
echo "$QM_WIN_WHY; this measures that build"
if [ "$QM_WIN_BITS" = 32 ]; then toolchain=i686; else toolchain=x86_64; fi
irr=$(ls -d "$root"/build/third_party/irrlicht-*/ | head -n1)
if [ ! -f "$QM_WIN_BUILD/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$QM_WIN_BUILD" -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$toolchain.cmake" -DIRRXML_ROOT="$irr" >/dev/null
fi
cmake --build "$QM_WIN_BUILD" --target Updater notifier Toolpeg qm_bench -j"$(nproc)" >/dev/null

dist=$QM_WIN_BUILD/dist
testbin=$QM_WIN_BUILD/testbin
work=""
server_pid=""
products_file=""
log_file=""
cleanup() {
  set +e
  if [ -n "$server_pid" ]; then
    rm -f "$work/srv/port.txt"   # the server ends when its port file goes
    wait "$server_pid" 2>/dev/null
  fi
  # The user's products file and log as they were before the run.
  if [ -n "$products_file" ]; then
    rm -f "$products_file"
    [ -f "$work/UserProducts.xml.saved" ] && cp -p "$work/UserProducts.xml.saved" "$products_file"
  fi
  if [ -n "$log_file" ]; then
    rm -f "$log_file"
    [ -f "$work/updater.log.saved" ] && cp -p "$work/updater.log.saved" "$log_file"
  fi
  [ -n "$work" ] && rm -rf "$work"
  winenv_stop
}
trap cleanup EXIT
. "$root/scripts/winenv.sh"

work="$WINEPREFIX/drive_c/qmbench"
win_work='C:\qmbench'
rm -rf "$work"
mkdir -p "$work/srv" "$work/products"

# ---- helpers ---------------------------------------------------------------
now_ns() { date +%s%N; }
# Seconds that one run of the command takes.
time_once() {
  local t0 t1
  t0=$(now_ns)
  "$@" >/dev/null 2>&1 || return 1
  t1=$(now_ns)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", (b - a) / 1e9 }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# Median seconds of $runs runs of the command.
time_median() {
  local i
  for i in $(seq 1 "$runs"); do time_once "$@" || { echo "failed: $*" >&2; return 1; }; echo; done | median
}
# Median peak resident memory (KiB) of $runs runs.
rss_median() {
  local i
  for i in $(seq 1 "$runs"); do
    /usr/bin/time -f '%M' -o "$work/rss.txt" "$@" >/dev/null 2>&1 || return 1
    tail -n1 "$work/rss.txt"
  done | median
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0 && a >= 0) printf "%.2f", a / b; else print "-" }'; }
# "met" or "MISSED"; "unclear" when the figure is no number (noise made a
# difference negative).
at_most() {
  case "$1" in
    ''|-|*[!0-9.]*) echo "unclear" ;;
    *) awk -v a="$1" -v b="$2" 'BEGIN { print (a + 0 <= b + 0) ? "met" : "MISSED" }' ;;
  esac
}

rows=()
row() { rows+=("$(printf '%-44s %12s %16s %7s  %-22s %s' "$@")"); }

# ---- size of what ships ------------------------------------------------------
# DLLs that Windows itself carries; anything else would have to ship too.
system_dlls=" advapi32.dll comctl32.dll crypt32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll "
system_dlls+="oleaut32.dll psapi.dll rpcrt4.dll shell32.dll shlwapi.dll urlmon.dll user32.dll "
system_dlls+="version.dll wininet.dll wintrust.dll wtsapi32.dll "
for deliverable in Updater.exe:300 notifier.exe:200 Toolpeg.dll:100; do
  name=${deliverable%%:*}; goal=${deliverable##*:}
  bytes=$(stat -c %s "$dist/$name")
  kib=$(awk -v b="$bytes" 'BEGIN { printf "%.1f", b / 1024 }')
  foreign=""
  for dll in $("$toolchain-w64-mingw32-objdump" -p "$dist/$name" | awk '/DLL Name:/ { print tolower($3) }'); do
    case "$system_dlls" in *" $dll "*) ;; *) foreign="$foreign $dll" ;; esac
  done
  verdict=$(at_most "$kib" "$goal")
  [ -n "$foreign" ] && verdict="MISSED (imports$foreign)"
  row "size of $name (KiB)" "$kib" "$goal" "$(ratio "$kib" "$goal")" "< $goal KiB, system DLLs" "$verdict"
done

# ---- start-up floor ----------------------------------------------------------
wine "$testbin/qm_idle.exe" >/dev/null 2>&1 || true   # first start warms the prefix
idle=$(time_median wine "$testbin/qm_idle.exe")

# ---- check cost --------------------------------------------------------------
user=$(wine cmd /c 'echo %USERNAME%' 2>/dev/null | tr -d '\r')
appdata="$WINEPREFIX/drive_c/users/$user/AppData/Local"
[ -d "$appdata" ] || appdata="$WINEPREFIX/drive_c/users/$user/Local Settings/Application Data"
mkdir -p "$appdata"
products_file="$appdata/UserProducts.xml"
log_file="$appdata/updater.log"
[ -f "$products_file" ] && cp -p "$products_file" "$work/UserProducts.xml.saved"
[ -f "$log_file" ] && cp -p "$log_file" "$work/updater.log.saved"

python3 Updater/engine/tests/server/update_server.py --root "$work/srv" --lifetime 3600 >/dev/null 2>&1 &
server_pid=$!
for _ in $(seq 1 100); do [ -s "$work/srv/port.txt" ] && break; sleep 0.1; done
port=$(cat "$work/srv/port.txt")
base="http://127.0.0.1:$port"

# N products, each installed at version 1.0 and offered at 1.0: all up to date.
write_products() {
  local n=$1 i
  {
    printf "<?xml version='1.0' encoding='UTF-8'?><products>"
    for i in $(seq 1 "$n"); do
      mkdir -p "$work/srv/p$i" "$work/products/p$i/1.0"
      printf "<update intname='p%d' version='1.0' installerurl='%s/p%d/Setup.exe' whatsnewurl='%s/p%d/whatsnew.html'/>" \
        "$i" "$base" "$i" "$base" "$i" > "$work/srv/p$i/update.xml"
      printf "<product intname='p%d' friendlyname='Product %d' updateurl='%s/p%d/update.xml' version='1.0' productdir='%s\\products\\p%d' needadmin='no' uninstall=''></product>" \
        "$i" "$i" "$base" "$i" "$win_work" "$i"
    done
    printf "</products>"
  } > "$products_file"
}
manifest_urls() { local i; for i in $(seq 1 "$1"); do echo "$base/p$i/update.xml"; done; }
curl_fetches() { curl -s --fail $(manifest_urls "$1") >/dev/null; }

declare -A check curl_t
for n in 1 10 100; do
  write_products "$n"
  rm -f "$log_file"
  wine "$dist/Updater.exe" -runmode=checkupdate >/dev/null 2>&1
  fetched=$(grep -c "GET /p[0-9]*/update.xml" "$work/srv/requests.log" 2>/dev/null || true)
  if [ "${fetched:-0}" -lt "$n" ]; then
    echo "the check over $n products fetched ${fetched:-0} manifests" >&2
    exit 1
  fi
  check[$n]=$(time_median wine "$dist/Updater.exe" -runmode=checkupdate)
  curl_t[$n]=$(time_median curl_fetches "$n")
  rm -f "$work/srv/requests.log"
  baseline=$(awk -v a="${curl_t[$n]}" -v b="$idle" 'BEGIN { printf "%.4f", a + b }')
  row "check, $n product(s) (s)" "${check[$n]}" "$baseline" "$(ratio "${check[$n]}" "$baseline")" "-" ""
done
slope1=$(awk -v a="${check[1]}" -v b="${check[10]}" 'BEGIN { printf "%.2f", (b - a) / 9 * 1000 }')
slope2=$(awk -v a="${check[10]}" -v b="${check[100]}" 'BEGIN { printf "%.2f", (b - a) / 90 * 1000 }')
row "check, ms per product 10->100 vs 1->10" "$slope2" "$slope1" "$(ratio "$slope2" "$slope1")" "linear (<= 2)" "$(at_most "$(ratio "$slope2" "$slope1")" 2)"

# ---- the yardstick: the same fetches through urlmon alone ---------------------
write_products 100
yardstick=(wine "$testbin/qm_fetch_yardstick.exe" "$base/p%u/update.xml" 100)
"${yardstick[@]}" >/dev/null 2>&1 || { echo "the yardstick's fetches failed" >&2; exit 1; }
# Timed alternately with the check, so that both meet the same load.
check_y=""; yard_t=""
for _ in $(seq 1 "$runs"); do
  check_y+="$(time_once wine "$dist/Updater.exe" -runmode=checkupdate)"$'\n'
  yard_t+="$(time_once "${yardstick[@]}")"$'\n'
done
check_y=$(printf '%s' "$check_y" | median)
yard_t=$(printf '%s' "$yard_t" | median)
row "check, 100 products vs yardstick (s)" "$check_y" "$yard_t" "$(ratio "$check_y" "$yard_t")" "<= 1.3 x yardstick" "$(at_most "$(ratio "$check_y" "$yard_t")" 1.3)"

# ---- peak memory -------------------------------------------------------------
mem=$(rss_median wine "$dist/Updater.exe" -runmode=checkupdate)
mem_idle=$(rss_median wine "$testbin/qm_idle.exe")
mem_yard=$(rss_median "${yardstick[@]}")

# ---- verification throughput -------------------------------------------------
big="$work/big.bin"
head -c 268435456 /dev/urandom > "$big"
md5sum "$big" >/dev/null   # read once so that both read from the page cache
md5_ref=$(md5sum "$big" | cut -d' ' -f1)
md5sum_t=$(time_median md5sum "$big")
md5_line=$(wine "$testbin/qm_md5_bench.exe" "$win_work\\big.bin" "$runs" 2>/dev/null | tr -d '\r')
md5_ms=$(echo "$md5_line" | awk '{ print $3 }')
md5_digest=$(echo "$md5_line" | awk '{ print $5 }')
if [ "$md5_digest" != "$md5_ref" ]; then
  echo "ComputeOpenFileMd5 gave '$md5_digest', md5sum $md5_ref" >&2
  exit 1
fi
md5_t=$(awk -v m="$md5_ms" 'BEGIN { printf "%.4f", m / 1000 }')
row "md5 of 256 MiB (s)" "$md5_t" "$md5sum_t" "$(ratio "$md5_t" "$md5sum_t")" "<= 1.5 x md5sum" "$(at_most "$(ratio "$md5_t" "$md5sum_t")" 1.5)"
rm -f "$big"

# ---- the store ---------------------------------------------------------------
declare -A store
for n in 10 100 1000; do
  line=$(wine "$testbin/qm_store_bench.exe" "$n" "$runs" 2>/dev/null | tr -d '\r')
  store[$n]=$(echo "$line" | awk '{ print $3 }')
  [ -n "${store[$n]}" ] || { echo "the store timing of $n products failed" >&2; exit 1; }
  goal="-"; verdict=""
  if [ "$n" = 1000 ]; then goal="< 100 ms"; verdict=$(at_most "${store[$n]}" 100); fi
  row "addproduct into $n products (ms)" "${store[$n]}" "-" "-" "$goal" "$verdict"
done
s1=$(awk -v a="${store[10]}" -v b="${store[100]}" 'BEGIN { printf "%.3f", (b - a) / 90 }')
s2=$(awk -v a="${store[100]}" -v b="${store[1000]}" 'BEGIN { printf "%.3f", (b - a) / 900 }')
row "addproduct, ms per product 100->1000 vs 10->100" "$s2" "$s1" "$(ratio "$s2" "$s1")" "linear (<= 2)" "$(at_most "$(ratio "$s2" "$s1")" 2)"

row "peak memory, check of 100 products (KiB)" "$mem" "$mem_idle" "$(ratio "$mem" "$mem_idle")" "-" ""
row "peak memory, check of 100 vs yardstick (KiB)" "$mem" "$mem_yard" "$(ratio "$mem" "$mem_yard")" "<= 1.15 x yardstick" "$(at_most "$(ratio "$mem" "$mem_yard")" 1.15)"

# ---- the table ---------------------------------------------------------------
echo
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(wine --version 2>/dev/null); medians of $runs runs"
echo "Start-up floor (program that does nothing, under Wine): $idle s"
echo
printf '%-44s %12s %16s %7s  %-22s %s\n' "figure" "measured" "baseline" "ratio" "goal" "verdict"
printf '%s\n' "${rows[@]}"
