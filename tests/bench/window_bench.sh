#!/usr/bin/env bash
# The first window of the setup program with a vendor server that answers, is
# absent (nobody listens) or is silent (takes requests, never answers), beside
# the first window of the least Win32 program, warm (Wine already running) and
# cold (Wine started afresh for each run). "First window" is the time from the
# start of the program until a window of it shows and answers a sent message.
# The kinds take turns within each round, so that a slow spell of the machine
# falls on all of them alike.
# Usage: tests/bench/window_bench.sh [BUILD_FOLDER [ROUNDS]]   (ROUNDS >= 5)
# Without a build folder it times the deployment build (build/windows, 32-bit)
# where this kernel runs 32-bit programs, else build/windows-x64.
# The cold runs restart the Wine server of the build folder's prefix: run it
# when no tests of that build folder are running.
# Prints one row per measurement: median, min-max in ms, and the ratio of the
# medians to the empty program's (and, for the silent server, to the absent one).
# Everything runs on one CPU (BENCH_PIN=0: unpinned): a Wine program's every
# request to wineserver costs about twice as much on a virtual machine when the
# two run on different CPUs, and where the scheduler puts them changes from run
# to run; a program that asks more (ours) would gain or lose more than the
# empty one by chance.
set -euo pipefail

if [ "${BENCH_PIN:-1}" != 0 ] && [ -z "${WINDOW_BENCH_PINNED:-}" ] && [ "$(nproc)" -ge 2 ]; then
  WINDOW_BENCH_PINNED=1 exec taskset -c 0 bash "$0" "$@"
fi

here=$(cd "$(dirname "$0")" && pwd)
if [ $# -ge 1 ]; then
  build=$(cd "$1" && pwd)
elif /usr/lib/wine/wine --version >/dev/null 2>&1; then
  build=$(cd "$here/../../build/windows" && pwd)
else
  build=$(cd "$here/../../build/windows-x64" && pwd)
fi
rounds=${2:-5}
[ "$rounds" -ge 5 ] || rounds=5
timer="$build/window_bench/window_timer.exe"
empty="$build/window_bench/empty_window.exe"
for file in "$timer" "$empty" "$build/TessalySetup.exe"; do
  [ -f "$file" ] || { echo "window_bench: $file is missing (build window_timer empty_window TessalySetup)" >&2; exit 2; }
done

# A folder of its own for the program (no "data.cab" or script packages beside
# it) and a vendor server of its own.
work="$build/window_bench/run"
rm -rf "$work"
mkdir -p "$work/setup"
cp "$build/TessalySetup.exe" "$work/setup/TessalySetup.exe"
# The display and the server go again at the end; a display that was up before stays.
display_was_up=false
if [ -f "$build/bench/display.pid" ] && kill -0 "$(cat "$build/bench/display.pid")" 2>/dev/null; then
  display_was_up=true
fi
finish() {
  "$here/vendor" stop "$work" >/dev/null 2>&1 || true
  $display_was_up || "$here/display" stop "$build" >/dev/null 2>&1 || true
}
trap finish EXIT
"$here/vendor" start "$work" >/dev/null
port_of() { sed -n "s/^$1=//p" "$work/bench/vendor.ports"; }
live="http://127.0.0.1:$(port_of http)"
silent="http://127.0.0.1:$(port_of silent)"
absent="http://127.0.0.1:1"

"$here/display" start "$build" >/dev/null
export DISPLAY=$(cat "$build/bench/display")
export WINEPREFIX="$build/bench/wineprefix"
winpath() { echo "Z:${1//\//\\}"; }
program=$(winpath "$work/setup/TessalySetup.exe")
emptyprogram=$(winpath "$empty")

# One run: "spawn ready" as the timer saw them, in ms since 1970.
run_timer() {
  "$here/wine-run" "$timer" "$@" | tr -d '\r' | sed -n 's/^spawn=\([0-9]*\) ready=\([0-9-]*\)$/\1 \2/p'
}
now_ms() { date +%s%3N; }

declare -A samples
sample() {  # kind temperature
  local kind=$1 temperature=$2 args start line spawn ready
  case $kind in
    empty)  args=("$emptyprogram") ;;
    live)   args=("$program" "$live") ;;
    absent) args=("$program" "$absent") ;;
    silent) args=("$program" "$silent") ;;
  esac
  if [ "$temperature" = cold ]; then
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    /usr/lib/wine/wineserver -w 2>/dev/null || true
  fi
  start=$(now_ms)
  line=$(run_timer "${args[@]}" || true)
  spawn=${line% *}
  ready=${line#* }
  if [ -z "$line" ] || [ "$ready" -lt 0 ]; then
    echo "window_bench: no window for $kind ($temperature)" >&2
    return
  fi
  if [ "$temperature" = cold ]; then
    samples[$kind.$temperature]+="$((ready - start)) "
  else
    samples[$kind.$temperature]+="$((ready - spawn)) "
  fi
}

kinds=(empty live absent silent)
run_timer "$emptyprogram" >/dev/null || true   # makes the prefix and starts Wine once
for ((round = 0; round < rounds; round++)); do
  for temperature in warm cold; do
    for ((i = 0; i < ${#kinds[@]}; i++)); do
      sample "${kinds[(i + round) % ${#kinds[@]}]}" "$temperature"
    done
  done
done

median() { tr ' ' '\n' | sed '/^$/d' | sort -n | awk '{v[NR]=$1} END {if (NR==0) print 0; else if (NR%2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'; }
range() { tr ' ' '\n' | sed '/^$/d' | sort -n | awk 'NR==1{min=$1} {max=$1} END {print min "-" max}'; }

echo "first window (ms over $rounds rounds)   median   min-max      ratio"
for temperature in warm cold; do
  base=$(echo "${samples[empty.$temperature]:-}" | median)
  absentmedian=$(echo "${samples[absent.$temperature]:-}" | median)
  for kind in "${kinds[@]}"; do
    values=${samples[$kind.$temperature]:-}
    if [ -z "$values" ]; then
      printf "window %-6s %-6s server  no window within a minute\n" "$temperature" "$kind"
      continue
    fi
    m=$(echo "$values" | median)
    ratio=$(awk -v a="$m" -v b="$base" 'BEGIN {printf (b > 0 ? "%.2fx empty" : "-"), a / b}')
    if [ "$kind" = silent ]; then
      ratio+=$(awk -v a="$m" -v b="$absentmedian" 'BEGIN {printf (b > 0 ? ", %.2fx absent" : ""), a / b}')
    fi
    printf "window %-6s %-6s server  %8s   %-11s  %s\n" "$temperature" "$kind" "$m" "$(echo "$values" | range)" "$ratio"
  done
done
