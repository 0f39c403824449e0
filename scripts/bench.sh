#!/usr/bin/env bash
# Times the install engine beside the native tools and prints one row per kind
# of work: median, min-max, ratio of the medians to the native tool, and peak
# memory. Not part of the test command.
#
#   bash scripts/bench.sh
#
# It builds the windows-x64 release of the headless engine (tests/bench/
# engine_bench.cpp: the install window's own install step, tree copy and
# download job, with a view that draws nothing; 64-bit because this kernel may
# run no 32-bit programs), makes its own packages under a scratch folder (tmpfs
# /dev/shm when it has room, else build/bench-scratch), and runs each row's
# native tool and the engine one after the other, round by round.
#
# The engine's time is what the program measures around the operation, so the
# Wine start-up (about half a second) is left out; native tools are timed from
# start to end. Peak memory is the largest resident set of the timed process
# (GNU time's %M: for the engine that is the Wine process of the program).
#
# Every request of a Wine program is a round trip to wineserver; on a virtual
# machine such a trip costs about twice as much when the two run on different
# CPUs, and where the scheduler puts them changes from run to run (a download
# took 0.25 s or 0.95 s by placement alone). So every row runs the engine and
# its wineserver (which starts with the program and ends after it) on CPU 0,
# and its native tool likewise; the local web servers of the download rows run
# on CPU 1, so the engine's hash thread shares CPU 0 with the transfer, as curl
# shares it with nothing. BENCH_PIN=0 runs everything unpinned.
#
# The "paced" and "dropped" rows download the same file from
# tests/bench/paced_server.py, whose link sends 20 MB a second, unbroken and
# then reset every 32 MiB; curl's row for the broken link asks again with
# "-C -" until the file is whole. Both engine rows check the SHA-256. The
# server logs every answer: the table gives the body bytes it sent as a
# multiple of the file, and below it the broken link's engine time against
# the unbroken one's plus the pauses that the engine waited before it asked
# again, and whether every break was resumed with a range.
#
# Settings: BENCH_ROUNDS (default 5), BENCH_ROWS (names of the rows to run,
# blank-separated; default all: typical large small upgrade copy download
# hashed paced dropped window; "hashed" is the download checked against its
# SHA-256, "window" the timings of the program's first window at the end),
# BENCH_ENGINE (an engine_bench.exe inside another build folder, to time an
# older engine; nothing is built then), BENCH_SCRATCH (the scratch folder),
# BENCH_PIN (default 1).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${BENCH_ROUNDS:-5}
rows=${BENCH_ROWS:-typical large small upgrade copy download hashed paced dropped window}
pin=${BENCH_PIN:-1}

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

# The native tools and the local web server.
missing=()
command -v unzip >/dev/null || missing+=(unzip)
command -v curl >/dev/null || missing+=(curl)
[ -x /usr/bin/time ] || missing+=(time)
[ -x /usr/bin/python3 ] || missing+=(python3)
if [ ${#missing[@]} -gt 0 ]; then
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
python=/usr/bin/python3

if [ -n "${BENCH_ENGINE:-}" ]; then
  engine=$(readlink -f "$BENCH_ENGINE")
else
  cd "$root"
  cmake --preset windows-x64 >/dev/null
  cmake --build --preset windows-x64 --target engine_bench >/dev/null
  engine=$root/build/windows-x64/engine_bench.exe
fi
wine_run=$root/tests/bench/wine-run

# About 3 GB at the most: the packages, one extracted copy and one older copy.
if [ -n "${BENCH_SCRATCH:-}" ]; then
  scratch=$BENCH_SCRATCH
elif [ "$(df -Pk /dev/shm 2>/dev/null | awk 'NR==2 {print $4}')" -gt 4000000 ] 2>/dev/null; then
  scratch=/dev/shm/mrv-bench-$(id -u)
else
  scratch=$root/build/bench-scratch
fi
mkdir -p "$scratch"
packages=$scratch/packages
work=$scratch/work
results=$scratch/results
rm -rf "$work" "$results"
mkdir -p "$packages" "$work" "$results"

echo "bench: engine $engine"
echo "bench: scratch $scratch, $rounds rounds, rows: $rows"

# The packages, made once per scratch folder. Contents are half random, half
# repeated text, so deflate halves them as it does real programs.
"$python" - "$packages" <<'EOF'
import os, random, sys, zipfile
folder = sys.argv[1]
STAMP = "packages v2"
stamp = os.path.join(folder, "stamp")
if os.path.exists(stamp) and open(stamp).read() == STAMP:
    sys.exit(0)
rng = random.Random(8)
pool = rng.randbytes(1 << 20)
text = b"MrvACAD product file, line of text that repeats. " * 1400

def content(size):
    parts, left = [], size
    while left > 0:
        take = min(left, 4096)
        start = rng.randrange(0, len(pool) - take)
        parts.append(pool[start:start + take] if len(parts) % 2 == 0 else text[:take])
        left -= take
    return b"".join(parts)

def write(name, files):
    path = os.path.join(folder, name)
    with zipfile.ZipFile(path + ".part", "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        folders = set()
        for entry, size in files:
            parts = entry.split("/")[:-1]
            for i in range(1, len(parts) + 1):
                sub = "/".join(parts[:i]) + "/"
                if sub not in folders:
                    folders.add(sub)
                    z.writestr(sub, b"")
            z.writestr(entry, content(size))
    os.replace(path + ".part", path)

def sizes(count, total, low):
    weights = [rng.random() ** 3 for _ in range(count)]
    scale = (total - low * count) / sum(weights)
    return [low + int(w * scale) for w in weights]

# A product's folders hold hundreds of files each, which is what makes every
# name lookup of the platform cost.
layout = [("Sys", 600), ("Sys/Fonts", 200), ("Support", 400), ("Support/Location", 100),
          ("lib", 500), ("Data", 200)]
typical = [(f"{top}/file{n:03d}.dll", size) for (top, n), size in zip(
    [(top, n) for top, count in layout for n in range(count)], sizes(2000, 150 << 20, 1024))]
write("typical.zip", typical)
large = [(f"big/part{n:03d}.bin", size) for n, size in enumerate(sizes(300, 600 << 20, 65536))]
write("large.zip", large)
small = [(f"small/{d:02d}/f{n:03d}.txt", 100 + (n * 37) % 1900)
         for d in range(40) for n in range(500)]
write("small.zip", small)
tree = os.path.join(folder, "scripts")
for n in range(500):
    sub = os.path.join(tree, f"Folder{n % 10}", "Deep" if n % 3 == 0 else "")
    os.makedirs(sub, exist_ok=True)
    name = f"script{n:03d}.esf" if n % 50 == 0 else f"script{n:03d}.lsp"
    with open(os.path.join(sub, name), "wb") as f:
        f.write(content(1024 + (n * 613) % 31744))
with open(os.path.join(folder, "download.bin"), "wb") as f:
    for _ in range(256):
        f.write(content(1 << 20))
open(stamp, "w").write(STAMP)
EOF

windows_path() { local p=${1//\//\\}; echo "Z:$p"; }

# Timed runs append "seconds peak_kb" to results/<row>.<tool>.
native() {
  local row=$1; shift
  local start end cpus
  cpus=$(cpus_of "$row")
  start=$(date +%s.%N)
  on_cpus "$cpus" /usr/bin/time -f %M -o "$results/mem" "$@" >/dev/null 2>"$results/err" ||
    { echo "bench: $row: native tool failed: $(cat "$results/err")" >&2; exit 1; }
  end=$(date +%s.%N)
  echo "$(awk "BEGIN {print $end - $start}") $(tail -1 "$results/mem")" >>"$results/$row.native"
}

# The CPU list of a row's runs: empty where the row runs unpinned.
cpus_of() {
  [ "$pin" = 0 ] || [ "$(nproc)" -lt 2 ] || echo 0
}

on_cpus() {
  local cpus=$1; shift
  if [ -n "$cpus" ]; then taskset -c "$cpus" "$@"; else "$@"; fi
}

# Every engine run gets a wineserver of its own, started (with the system
# processes of the prefix) by an untimed first program on the run's CPUs.
fresh_wineserver() {
  local prefix
  prefix=$(dirname "$engine")/bench/wineprefix
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -w 2>/dev/null || true
  on_cpus "$1" "$wine_run" "$engine" >/dev/null 2>&1 || true
}

engine() {
  local row=$1; shift
  local out cpus
  cpus=$(cpus_of "$row")
  fresh_wineserver "$cpus"
  out=$(on_cpus "$cpus" /usr/bin/time -f %M -o "$results/mem" "$wine_run" "$engine" "$@" 2>"$results/err") ||
    { echo "bench: $row: engine failed: $out $(cat "$results/err")" >&2; exit 1; }
  local seconds=${out#*seconds=}
  echo "${seconds%% *} $(tail -1 "$results/mem")" >>"$results/$row.engine"
}

out=$work/out
backup=$work/backup
# The older install that the upgrade meets, and the older script folder that
# the copy overwrites.
if [[ " $rows " == *" upgrade "* ]]; then
  unzip -q "$packages/typical.zip" -d "$work/older"
fi
fresh() { rm -rf "$out" "$backup"; }
# Each tool overwrites the script folder as it left it itself: cp keeps the
# source's folder names, the engine makes them in lower case. Primed with the
# other layout, every engine lookup would first miss the exact name and search
# the folder for one that differs in letter case only.
lower_folders() {
  find "$1" -depth -mindepth 1 -type d | while read -r folder; do
    local name=${folder##*/}
    [ "$name" = "${name,,}" ] || mv "$folder" "${folder%/*}/${name,,}"
  done
}

servers=()
stop_servers() { for server in "${servers[@]}"; do kill "$server" 2>/dev/null || true; done; }
trap stop_servers EXIT
# taskset runs a server in its own process, so that stop_servers ends it.
server_cpus() { [ -z "$(cpus_of download)" ] || echo taskset -c 1; }
if [[ " $rows " == *" download "* || " $rows " == *" hashed "* ]]; then
  port=$((20000 + $$ % 20000))
  $(server_cpus) "$python" -m http.server --bind 127.0.0.1 --directory "$packages" "$port" \
    >/dev/null 2>&1 &
  servers+=($!)
  for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/stamp" && break; sleep 0.1; done
  url=http://127.0.0.1:$port/download.bin
fi
# The paced link: its rate in bytes a second, and the body bytes after which
# the broken one resets each connection. The engine's first pause before it
# asks again (kFirstResumePauseMs, net/resume_rules.h) is the one that every
# break after headway gets.
paced_rate=20000000
paced_drop=$((32 << 20))
first_pause=1
paced_log=$results/paced.log
if [[ " $rows " == *" paced "* || " $rows " == *" dropped "* ]]; then
  rm -f "$work/paced.port"
  $(server_cpus) "$python" "$root/tests/bench/paced_server.py" --directory "$packages" \
    --rate "$paced_rate" --port-file "$work/paced.port" --log "$paced_log" \
    >/dev/null 2>"$results/paced.err" &
  servers+=($!)
  for _ in $(seq 50); do [ -f "$work/paced.port" ] && break; sleep 0.1; done
  [ -f "$work/paced.port" ] ||
    { echo "bench: the paced server did not start: $(cat "$results/paced.err")" >&2; exit 1; }
  paced_url=http://127.0.0.1:$(cat "$work/paced.port")/download.bin
fi
if [[ " $rows " == *" hashed "* || " $rows " == *" paced "* || " $rows " == *" dropped "* ]]; then
  download_hash=$(sha256sum "$packages/download.bin" | cut -d' ' -f1)
fi

# curl's own copy must be the file, or its time means nothing.
check_copy() {
  cmp -s "$work/download.bin" "$packages/download.bin" ||
    { echo "bench: $1: curl's copy differs from the file" >&2; exit 1; }
}
# curl once more with "-C -" after each break: what a user does by hand, here
# bounded so that a server that never finishes ends the bench.
resume_loop='n=0; until curl -s -C - -o "$1" "$2"; do n=$((n + 1)); [ $n -lt 100 ] || exit 1; done'

# The first Wine start of a prefix sets it up; it is not timed.
"$wine_run" "$engine" >/dev/null 2>&1 || true

for round in $(seq "$rounds"); do
  echo "bench: round $round of $rounds"
  for row in $rows; do
    case $row in
      typical|large|small)
        fresh; native "$row" unzip -q "$packages/$row.zip" -d "$out"
        fresh; engine "$row" extract "$(windows_path "$packages/$row.zip")" \
                      "$(windows_path "$out")" "$(windows_path "$backup")\\" ;;
      upgrade)
        fresh; cp -a "$work/older" "$out"
        native "$row" unzip -q -o "$packages/typical.zip" -d "$out"
        fresh; cp -a "$work/older" "$out"
        engine "$row" extract "$(windows_path "$packages/typical.zip")" \
                      "$(windows_path "$out")" "$(windows_path "$backup")\\" ;;
      copy)
        fresh; cp -r "$packages/scripts" "$out"
        native "$row" cp -r "$packages/scripts/." "$out/"
        fresh; cp -r "$packages/scripts" "$out"; lower_folders "$out"
        engine "$row" copy "$(windows_path "$packages/scripts")" "$(windows_path "$out")" ;;
      download)
        rm -f "$work/download.bin"
        native "$row" curl -s -o "$work/download.bin" "$url"
        rm -f "$work/download.bin"
        engine "$row" download "$url" "$(windows_path "$work/download.bin")" ;;
      hashed)
        rm -f "$work/download.bin"
        native "$row" curl -s -o "$work/download.bin" "$url"
        rm -f "$work/download.bin"
        engine "$row" download "$url" "$(windows_path "$work/download.bin")" "$download_hash" ;;
      paced)
        rm -f "$work/download.bin"
        native "$row" curl -s -o "$work/download.bin" "$paced_url?run=$row.native.$round"
        check_copy "$row"; rm -f "$work/download.bin"
        engine "$row" download "$paced_url?run=$row.engine.$round" \
                      "$(windows_path "$work/download.bin")" "$download_hash" ;;
      dropped)
        rm -f "$work/download.bin"
        native "$row" bash -c "$resume_loop" - "$work/download.bin" \
                      "$paced_url?drop=$paced_drop&run=$row.native.$round"
        check_copy "$row"; rm -f "$work/download.bin"
        engine "$row" download "$paced_url?drop=$paced_drop&run=$row.engine.$round" \
                      "$(windows_path "$work/download.bin")" "$download_hash" ;;
      window) ;;
      *) echo "bench: unknown row $row" >&2; exit 2 ;;
    esac
  done
done
fresh

"$python" - "$results" "$paced_log" "$(stat -c %s "$packages/download.bin")" "$first_pause" \
  $rows <<'EOF'
import collections, statistics, sys, urllib.parse
folder, log, size, first_pause, rows = (sys.argv[1], sys.argv[2], int(sys.argv[3]),
                                        float(sys.argv[4]), sys.argv[5:])
titles = {
    "typical": ("typical package (2,000 files, 150 MB) into a new folder", "unzip"),
    "large": ("large package (300 files, 600 MB) into a new folder", "unzip"),
    "small": ("20,000 small files into a new folder", "unzip"),
    "upgrade": ("typical package over an older copy, with backups", "unzip -o"),
    "copy": ("500-file script tree, overwrite all", "cp -r"),
    "download": ("download of 256 MiB from 127.0.0.1", "curl"),
    "hashed": ("the same download, SHA-256 checked", "curl"),
    "paced": ("256 MiB over a 20 MB/s link, SHA-256 checked", "curl"),
    "dropped": ("the same link reset every 32 MiB", "curl -C - loop"),
}
def load(row, tool):
    runs = [line.split() for line in open(f"{folder}/{row}.{tool}")]
    return [float(s) for s, _ in runs], [int(m) for _, m in runs]

# The paced server's answers, run by run ("ROW.TOOL.ROUND"), in the order sent:
# (status, first byte, body bytes sent).
answers = collections.defaultdict(list)
try:
    for line in open(log):
        target, status, first, sent, _ = line.split()
        run = dict(urllib.parse.parse_qsl(urllib.parse.urlsplit(target).query)).get("run")
        answers[run].append((int(status), int(first), int(sent)))
except FileNotFoundError:
    pass
def runs_of(row, tool):
    return [a for run, a in answers.items() if run and run.startswith(f"{row}.{tool}.")]
def sent_multiple(row, tool):
    return [sum(s for _, _, s in run) / size for run in runs_of(row, tool)]
def resumed(run):
    """Every answer after the first a range that goes on where the file stood."""
    have = 0
    for n, (status, first, sent) in enumerate(run):
        if n > 0 and (status != 206 or first != have):
            return False
        have = first + sent
    return have == size
def pauses(run):
    """The engine's waits before its repeated requests: the first pause after a
    break past the furthest byte so far, doubled for each break short of it."""
    total, furthest, made = 0.0, 0, 0
    for status, first, sent in run[:-1]:
        have = first + sent if status == 206 else sent
        if have > furthest:
            furthest, made = have, 0
        made += 1
        total += first_pause * 2 ** (made - 1)
    return total

print()
print("| work | tool | median s | min-max s | ratio | peak MB | sent / file |")
print("|---|---|---|---|---|---|---|")
for row in (row for row in rows if row != "window"):
    title, tool = titles[row]
    nat, natmem = load(row, "native")
    eng, engmem = load(row, "engine")
    base = statistics.median(nat)
    for kind, name, times, mem in (("native", tool, nat, natmem), ("engine", "engine", eng, engmem)):
        sent = sent_multiple(row, kind)
        print(f"| {title} | {name} | {statistics.median(times):.2f} | "
              f"{min(times):.2f}-{max(times):.2f} | {statistics.median(times) / base:.2f}x | "
              f"{max(mem) / 1024:.1f} | {f'{statistics.median(sent):.3f}x' if sent else ''} |")

if "paced" in rows and "dropped" in rows:
    unbroken = statistics.median(load("paced", "engine")[0])
    broken = statistics.median(load("dropped", "engine")[0])
    runs = runs_of("dropped", "engine")
    waited = statistics.median(pauses(run) for run in runs)
    worst = max(sent_multiple("dropped", "engine"))
    print()
    print(f"broken link, engine: {broken:.2f} s against {unbroken:.2f} s unbroken + "
          f"{waited:.1f} s of pauses = {broken / (unbroken + waited):.2f}x (goal at most 1.10x); "
          f"the server sent at most {worst:.3f}x the file (goal at most 1.02x); "
          f"{sum(map(resumed, runs))} of {len(runs)} runs resumed at every break "
          f"({statistics.median(len(run) for run in runs):.0f} requests a run)")
EOF

# The window's own timings, where that bench exists: of the deployment (32-bit)
# program where this kernel runs 32-bit programs, else of the 64-bit one.
if [[ " $rows " == *" window "* ]] && [ -f "$root/tests/bench/window_bench.sh" ]; then
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    window_preset=windows
  else
    window_preset=windows-x64
  fi
  cd "$root"
  cmake --preset "$window_preset" >/dev/null
  cmake --build --preset "$window_preset" --target TessalySetup window_timer empty_window >/dev/null
  bash "$root/tests/bench/window_bench.sh" "$root/build/$window_preset"
fi
