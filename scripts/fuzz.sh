#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz": clang with AddressSanitizer and
# UBSan) and runs each of them for a bounded time.
# Usage: scripts/fuzz.sh [SECONDS]   (per target; 60 unless told; the journal
# parser and the kept download's record, small ones, get half of it)
# Seeds: the test packages of make_packages.py for the archive reader, the
# hostile and ordinary entry names for the path checks, two journals (a whole
# one and one cut off in its last record) for the journal parser, a record of
# a kept download for its parser. What a run
# finds lands in build/fuzz/findings; the corpora grow in build/fuzz/corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
case $seconds in
  ''|*[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 2 ;;
esac

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

build=build/fuzz
seeds=$build/seeds
rm -rf "$seeds"
/usr/bin/python3 tests/fixtures/make_packages.py "$seeds/archive_fuzz"
mkdir -p "$seeds/path_fuzz"
i=0
for name in 'readme.txt' 'docs/sub/readme.txt' 'docs\a.txt' 'C:\Program Files\MrvACAD\' \
            '\\server\share\dir\' '../x' '..\x' 'a/../../x' 'x:stream' 'CON' 'sub/nul.txt' \
            'COM1.txt' '"C:\a b\c.txt"' 'setup.tar.gz'; do
  printf '%s' "$name" > "$seeds/path_fuzz/seed$((i += 1))"
done

mkdir -p "$seeds/journal_fuzz"
/usr/bin/python3 - "$seeds/journal_fuzz" <<'EOF'
import sys, zlib
def record(*fields):
    body = "\t".join(fields).encode("gbk")
    return body + b"\t%08x\r\n" % zlib.crc32(body)
whole = (record("J", "C:\\Program Files\\MrvACAD") + record("D", "C:\\Program Files\\MrvACAD\\Sys")
         + record("A", "C:\\Program Files\\MrvACAD\\Sys\\运.txt")
         + record("R", "C:\\Program Files\\MrvACAD\\readme.txt", "readme.txt"))
open(sys.argv[1] + "/whole", "wb").write(whole)
open(sys.argv[1] + "/cut", "wb").write(whole[:-7])
EOF

mkdir -p "$seeds/kept_record_fuzz"
printf 'MrvTessaly kept download 1\nurl=http://www.morvane.example/download.php?key=11\nhash=%s\nvalidator="pattern-1"\nsize=1000000\nreceived=65536\n' \
  9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08 > "$seeds/kept_record_fuzz/record"

# Each run's own output goes to findings/TARGET.log; only its end is shown, and
# all of it when the fuzzer found a crash, a leak or a hang (a non-zero exit).
status=0
for target in archive_fuzz path_fuzz journal_fuzz kept_record_fuzz; do
  time=$seconds
  if [ "$target" = journal_fuzz ] || [ "$target" = kept_record_fuzz ]; then
    time=$(( (seconds + 1) / 2 ))
  fi
  corpus=$build/corpus/$target
  findings=$build/findings/$target
  log=$build/findings/$target.log
  mkdir -p "$corpus" "$findings"
  echo "== $target: $time s"
  if "$build/$target" -max_total_time="$time" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$findings/" -print_final_stats=1 "$corpus" "$seeds/$target" \
       >"$log" 2>&1; then
    grep -E '^(Done|stat::number_of_executed_units|stat::new_units_added)' "$log" || true
  else
    cat "$log"
    echo "== $target FAILED: the input that did it is in $findings/" >&2
    status=1
  fi
done
exit $status
