#!/usr/bin/env bash
# Fuzzes every parser of untrusted input for a while:
#   scripts/fuzz.sh [seconds per target, default 600] [name filter]
# Each target runs on a scratch copy of its committed corpus; inputs that add
# coverage are merged back into the committed corpus afterwards, and anything
# found (crash, leak, sanitizer report, timeout) is left in build/fuzz/findings/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
filter=${2:-}
"$root/scripts/bootstrap.sh"
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -DQM_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build/fuzz" -j"$(nproc)" >/dev/null

findings="$root/build/fuzz/findings"
mkdir -p "$findings"
status=0
while IFS='|' read -r program corpus; do
  [ -n "$program" ] || continue
  name=$(basename "$program")
  case "$name" in *"$filter"*) ;; *) continue ;; esac
  work="$root/build/fuzz/work/$name"
  rm -rf "$work" && mkdir -p "$work" && cp -r "$corpus"/. "$work"/
  echo "== $name for ${seconds}s"
  if ! "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$findings/$name-" -print_final_stats=1 "$work" 2>"$work.log"; then
    echo "   finding: see $work.log and $findings/"
    status=1
  fi
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ *DONE)' "$work.log" | sed 's/^/   /' || true
  "$program" -merge=1 "$corpus" "$work" >/dev/null 2>&1 || true
done < "$root/build/fuzz/fuzzers.txt"
exit $status
